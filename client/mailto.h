#pragma once
// The "mailto:" links the client hands to the desktop's mail program.
#include <string>

namespace client {

// "mailto:" followed by the address with every character that would end the address part
// or add a field of its own ("?", "&", "#", "%", "=", blanks, controls, non-ASCII) written
// as %XX (RFC 6068); "@" and the characters an address may hold stay as they are.
std::string MailtoUrl(const std::string& address);

}  // namespace client
