#include "mail_program.h"

#include <cctype>

#include "forms/strings.h"
#include "os/environment.h"
#include "secretariat/extrait_champ.h"

namespace client {

using secretariat::ExtraitChamp;

namespace {

// Every occurrence of `pattern` in `text`, found without regard to case, replaced by `value`.
std::string ReplaceAllIgnoringCase(const std::string& text, const std::string& pattern, const std::string& value) {
  if (pattern.empty() || pattern.size() > text.size()) return text;
  const std::string upperText = forms::AnsiUpperCase(text);
  const std::string upperPattern = forms::AnsiUpperCase(pattern);
  // Upper case may change the length of non-ASCII text: then compare byte by byte in ASCII.
  const bool aligned = upperText.size() == text.size() && upperPattern.size() == pattern.size();
  const auto at = [&](std::size_t pos) {
    if (aligned) return upperText.compare(pos, pattern.size(), upperPattern) == 0;
    for (std::size_t k = 0; k < pattern.size(); ++k) {
      const auto a = static_cast<unsigned char>(text[pos + k]), b = static_cast<unsigned char>(pattern[k]);
      if (std::toupper(a) != std::toupper(b)) return false;
    }
    return true;
  };
  std::string result;
  std::size_t pos = 0;
  while (pos + pattern.size() <= text.size()) {
    if (at(pos)) {
      result += value;
      pos += pattern.size();
    } else {
      result += text[pos++];
    }
  }
  result.append(text, pos, std::string::npos);
  return result;
}

// Step 3.2: the first %NAME% of the command, wherever it stands, replaced by its value.
std::string ExpandFirstVariable(const std::string& command, const Environment& environment) {
  const std::string name = ExtraitChamp(command + "%", '%', 3);
  return ReplaceAllIgnoringCase(command, "%" + name + "%", environment(name));
}

}  // namespace

std::string LireVarEnv(const std::string& name) {
  if (name.empty()) return {};
  return os::GetEnvironmentVariable(name).value_or("");
}

MailProgramCommand MailProgram(const std::string& mailtoCommand, const std::string& clientCommand,
                               const Environment& environment) {
  // 2. A client command that says it does not exist is none.
  std::string client = clientCommand.find("existe pas") != std::string::npos ? std::string() : clientCommand;

  // 3. The default mail client, its variables expanded (two at most).
  if (!client.empty()) {
    if (client.find('%') != std::string::npos) client = ExpandFirstVariable(client, environment);
    if (client.find('%') != std::string::npos) client = ExpandFirstVariable(client, environment);
    return {client, ""};
  }

  // 4. The mailto command: "\"%NAME%\\path\" arguments".
  const std::string path = ExtraitChamp(mailtoCommand + "\"", '"', 3);
  const std::string arguments = ExtraitChamp(mailtoCommand + "\"", '"', 4);
  if (!path.empty() && path[0] != '%') return {path, arguments};
  const std::string variable = ExtraitChamp(mailtoCommand + "%", '%', 3);
  const std::string value = environment(variable);
  const std::string rest = ExtraitChamp(path + "%", '%', 4);
  std::string parameters = arguments;
  struct Rule {
    const char* word;
    const char* parameters;
  };
  static constexpr Rule kRules[] = {
      {"Outlook Express", "/Outlook Express"}, {"Windows Mail", ""},          {"Eudora", ""},
      {"Thunderbird", "/Messenger"},           {"Mozilla", "/mail"},          {"Netscape Messenger", "/Messenger"},
      {"Microsoft Outlook", "Outlook:Inbox /recycle"},
  };
  for (const Rule& rule : kRules)
    if (rest.find(rule.word) != std::string::npos) parameters = rule.parameters;
  const std::string file = value + rest;
  return {file, file.empty() ? std::string() : parameters};
}

}  // namespace client
