#pragma once
// The archiver's built-in dialogs: confirmation boxes and the password box of the form
// framework. Texts are UTF-8, here as in the framework.
#include <initializer_list>
#include <string>
#include <string_view>

namespace zip {

enum class TZAButton { Yes, No, NoToAll, YesToAll, OK, Cancel, Abort, Retry, Ignore };
// The button that closed the box; None when it was closed otherwise.
enum class TZADialogResult { None, Yes, No, NoToAll, YesToAll, OK, Cancel, Abort, Retry, Ignore };

// A confirmation box (question icon) with the given buttons.
TZADialogResult ZAConfirmDlg(std::string_view text, std::initializer_list<TZAButton> buttons);
// The framework's input box; true when closed with OK, value then holds the typed text.
bool ZAInputQuery(std::string_view caption, std::string_view prompt, std::string& value);

}  // namespace zip
