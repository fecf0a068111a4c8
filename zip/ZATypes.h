#pragma once
// The engine's enumerations. Their value names are the ones stored in form files.
#include <cstdint>

namespace zip {

enum TZACompressionLevel : std::uint8_t { clNone, clFastest, clNormal, clMax };
enum TZASpanningMode : std::uint8_t { smNone, smSpanning, smSplitting };
enum TZAVolumeSize : std::uint8_t {
  vsAutoDetect, vsCustom, vs1_44MB, vs100MB, vs200MB, vs250MB, vs600MB, vs650MB, vs700MB, vs4700MB
};
enum TZip64Mode : std::uint8_t { zmDisabled, zmAuto, zmAlways };
enum TZAStorePathMode : std::uint8_t { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum TZAFileShareMode : std::uint8_t {
  smShareCompat, smShareExclusive, smShareDenyWrite, smShareDenyRead, smShareDenyNone
};
enum TZAOverwriteMode : std::uint8_t { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
enum TZAProcessOperation : std::uint8_t {
  poAdd, poMove, poDelete, poUpdate, poExtract, poTest, poRename, poChangeAttr, poChangeComment,
  poMakeSFX
};
enum TZAProgressPhase : std::uint8_t { ppStart, ppProcess, ppEnd };
enum TZAAction : std::uint8_t { fxaRetry, fxaIgnore, fxaAbort };

// Windows file attribute bits as the engine stores and filters them.
inline constexpr std::uint32_t faReadOnly = 0x01;
inline constexpr std::uint32_t faHidden = 0x02;
inline constexpr std::uint32_t faSysFile = 0x04;
inline constexpr std::uint32_t faVolumeID = 0x08;
inline constexpr std::uint32_t faDirectory = 0x10;
inline constexpr std::uint32_t faArchive = 0x20;
inline constexpr std::uint32_t faNormal = 0x80;
inline constexpr std::uint32_t faCompressed = 0x800;
inline constexpr std::uint32_t faNotContentIndexed = 0x2000;

}  // namespace zip
