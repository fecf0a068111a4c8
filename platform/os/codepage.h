#pragma once
// Text that crosses the program's boundary (settings and friends files, the secretariat's
// replies, query text sent to it, names inside archives) is Windows-1252. Inside the
// programs text is UTF-8. These two functions are the only place where the two meet.
#include <string>
#include <string_view>

namespace os {

// Every byte has a character: the five bytes Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, as Windows does.
std::string Cp1252ToUtf8(std::string_view cp1252);

// A character Windows-1252 cannot hold becomes '?'; malformed UTF-8 bytes are taken
// as Windows-1252 bytes of their own, so no input is ever lost or rejected.
std::string Utf8ToCp1252(std::string_view utf8);

}  // namespace os
