#pragma once
// A dialog service for tests: it records every box that was asked for and answers from a
// script, without showing anything. It puts itself in place for its lifetime.
//
//     forms::ScriptedDialogs dialogs;
//     dialogs.AnswerMessage(forms::mrNo);
//     form.Close();
//     EXPECT_EQ(dialogs.Messages().at(0).Text, "Voulez-vous quitter ...");
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "forms/dialogs.h"

namespace forms {

class ScriptedDialogs : public DialogService {
 public:
  ScriptedDialogs();
  ~ScriptedDialogs() override;

  // Answers, taken in order by the boxes of their kind.
  void AnswerMessage(TModalResult result) { messageAnswers_.push_back(result); }
  void AnswerInput(bool ok, std::string text = {}) { inputAnswers_.push_back({ok, std::move(text)}); }
  void AnswerOpenFile(std::optional<std::string> fileName) { fileAnswers_.push_back(std::move(fileName)); }
  // Called for every message box before the script is looked at; a non-empty result
  // answers it. Lets a test act while a box is "up".
  std::function<std::optional<TModalResult>(const MessageRequest&)> OnMessage;

  // Without a scripted answer a message box gets the result of its first button, an input
  // box is cancelled and the open-file dialog is cancelled.
  const std::vector<MessageRequest>& Messages() const { return messages_; }
  const std::vector<InputRequest>& Inputs() const { return inputs_; }
  const std::vector<OpenFileRequest>& OpenFiles() const { return openFiles_; }
  void ClearRecords();

  TModalResult Message(const MessageRequest& request) override;
  bool Input(const InputRequest& request, std::string& value) override;
  bool OpenFile(const OpenFileRequest& request, std::string& fileName) override;

 private:
  struct InputAnswer {
    bool ok;
    std::string text;
  };
  std::deque<TModalResult> messageAnswers_;
  std::deque<InputAnswer> inputAnswers_;
  std::deque<std::optional<std::string>> fileAnswers_;
  std::vector<MessageRequest> messages_;
  std::vector<InputRequest> inputs_;
  std::vector<OpenFileRequest> openFiles_;
  ScopedDialogService use_;
};

}  // namespace forms
