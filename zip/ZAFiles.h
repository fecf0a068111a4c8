#pragma once
// File look-ups of the read path that the platform layer does not offer.
#include <optional>
#include <string>

namespace zip {

// The engine name of an existing file: name itself when it exists, else the one file in its folder
// whose name differs from it only in letter case (volume files are ".z01" for some tools and ".Z01"
// for others). Nothing when neither exists. Folders do not count.
std::optional<std::string> FindFileNoCase(const std::string& name);
bool FileExistsNoCase(const std::string& name);

// The extension of a name's file-name part, with its dot ("" when it has none).
std::string ExtractFileExt(const std::string& name);

}  // namespace zip
