#include "ZAExcept.h"

#include <cstdio>

#include "ZAConst.h"
#include "ZipArchiver.h"

namespace zip {

namespace {

std::string_view TextOf(std::int32_t index) {
  if (index < 0 || index >= ZAMessageCount) return {};
  return ZAMessages[static_cast<std::size_t>(index)];
}

std::string NativeNumber(int code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%5d", code);
  std::string number = buf;
  for (char& c : number)
    if (c == ' ') c = '0';
  return number;
}

std::string Compose(int code, std::string_view componentName, std::string text) {
  if (!componentName.empty())
    text = ZAFormat("%s: %s", {std::string(componentName), std::move(text)});
  return text + " - Native error: " + NativeNumber(code);
}

std::string NameOf(const TZABaseArchiver* archiver) {
  return archiver ? archiver->Name() : std::string();
}

}  // namespace

std::string ZAFormat(std::string_view format, std::initializer_list<TZAFormatArg> args) {
  std::string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      out += c;
      continue;
    }
    std::size_t j = i + 1;
    if (j < format.size() && format[j] == '%') {
      out += '%';
      i = j;
      continue;
    }
    int width = 0;
    while (j < format.size() && format[j] >= '0' && format[j] <= '9' && width < 1000)
      width = width * 10 + (format[j++] - '0');
    if (j >= format.size() || (format[j] != 's' && format[j] != 'd') || next == args.end()) {
      out += c;  // not a directive we fill: keep it as text
      continue;
    }
    std::string piece;
    if (format[j] == 's' && std::holds_alternative<std::string>(*next)) {
      piece = std::get<std::string>(*next);
    } else if (format[j] == 'd' && std::holds_alternative<std::int64_t>(*next)) {
      piece = std::to_string(std::get<std::int64_t>(*next));
    } else {
      out += c;
      continue;
    }
    ++next;
    if (piece.size() < static_cast<std::size_t>(width))
      piece.insert(0, static_cast<std::size_t>(width) - piece.size(), ' ');
    out += piece;
    i = j;
  }
  return out;
}

std::int32_t EZAException::MessageIndexOf(int code) {
  for (const TZACodeEntry& e : ZACodes)
    if (e.Code == code) return e.MessageIndex;
  return 0;
}

std::string EZAException::BuildMessage(int code, std::string_view componentName) {
  return Compose(code, componentName, std::string(TextOf(MessageIndexOf(code))));
}

std::string EZAException::BuildMessage(int code, std::string_view componentName,
                                       std::initializer_list<TZAFormatArg> args) {
  return Compose(code, componentName, ZAFormat(TextOf(MessageIndexOf(code)), args));
}

EZAException::EZAException(int code, std::string message)
    : forms::Exception(message), ErrorCode(MessageIndexOf(code)), NativeError(code),
      FMessage(std::move(message)) {}

EZAException::EZAException(int code, const TZABaseArchiver* archiver)
    : EZAException(code, BuildMessage(code, NameOf(archiver))) {}

EZAException::EZAException(int code, const TZABaseArchiver* archiver,
                           std::initializer_list<TZAFormatArg> args)
    : EZAException(code, BuildMessage(code, NameOf(archiver), args)) {}

}  // namespace zip
