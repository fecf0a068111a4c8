#include "ZAVolumeNames.h"

#include <cctype>
#include <cstdio>

#include "ZAFiles.h"
#include "ZAStrFunc.h"

namespace zip {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Numbered(unsigned n, const char* format) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, n);
  return buffer;
}

}  // namespace

bool IsExeFileName(const std::string& name) { return Lower(ExtractFileExt(name)).find(".exe") != std::string::npos; }

std::string MakeVolumeName(const std::string& name, int n, const TZAVolumeNaming& naming, bool tryAlternative,
                           const std::function<bool(const std::string&)>& exists) {
  const std::string path = ExtractFilePath(name);
  std::string ext = ExtractFileExt(name);
  const std::string fileName = ExtractFileName(name);
  const std::string base = fileName.substr(0, fileName.size() - ext.size());
  const unsigned number = static_cast<unsigned>(n + 1);

  if (n == -1) {
    if (naming.Mode == smSplitting && naming.IsSfx) return path + base + (naming.OwnFormat ? ".ZA" : ".zip");
    return name;
  }
  switch (naming.Mode) {
    case smSpanning: {
      if (naming.IsSfx) ext = ".exe";
      const std::string plain = path + base + ext;
      const std::string numbered = path + base + "_" + Numbered(number, "%.3u") + ext;
      const std::string first = naming.AdvancedNaming ? numbered : plain;
      if (tryAlternative && exists && !exists(first)) {
        const std::string other = naming.AdvancedNaming ? plain : numbered;
        if (exists(other)) return other;
      }
      return first;
    }
    case smSplitting:
      if (n == 0 && naming.IsSfx) return path + base + ".exe";
      if (naming.AdvancedNaming) return path + base + "_" + Numbered(number, "%.3u") + ext;
      return path + base + (naming.OwnFormat ? ".F" : ".z") + Numbered(number, "%.2u");
    case smNone:
      break;
  }
  return name;
}

}  // namespace zip
