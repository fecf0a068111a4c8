#pragma once
// Names of the files of a split or spanned archive.
#include <functional>
#include <string>

#include "ZATypes.h"

namespace zip {

struct TZAVolumeNaming {
  TZASpanningMode Mode = smNone;
  bool AdvancedNaming = true;
  bool IsSfx = false;      // the archive counts as self-extracting
  bool OwnFormat = false;  // the engine's own block format (".F" and ".ZA" instead of ".Z" and ".ZIP")
};

// The name of volume n (0-based; -1 names the last volume) of the archive named name. With
// tryAlternative, a spanned name that does not exist gives way to the other naming form when that
// one exists. exists tells whether a file exists.
std::string MakeVolumeName(const std::string& name, int n, const TZAVolumeNaming& naming, bool tryAlternative,
                           const std::function<bool(const std::string&)>& exists);

// The lower-cased extension of name contains ".exe".
bool IsExeFileName(const std::string& name);

}  // namespace zip
