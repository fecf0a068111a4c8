#pragma once
// The archiver's option objects and the small record that says which volume is meant.
#include <cstdint>

#include "ZATypes.h"

namespace zip {

class TZAOptions {
 public:
  bool Recurse = true;
  TZAStorePathMode StorePath = spRelativePath;
  TZAFileShareMode ShareMode = smShareDenyNone;
  TZAOverwriteMode OverwriteMode = omAlways;
  bool CreateDirs = true;
  bool ReplaceReadOnly = true;
  bool SetAttributes = true;
  std::int32_t SearchAttr = 10431;  // 0x28BF
  bool FlushBuffers = true;
  bool OEMFileNames = true;

  // Copies every option but ShareMode, which the destination keeps.
  void Assign(const TZAOptions& source);
};

class TZAVolumeNumberInfo;

class TZASpanningOptions {
 public:
  bool AdvancedNaming = true;
  std::int64_t FirstVolumeSize = 0;
  TZAVolumeSize VolumeSize = vsAutoDetect;

  std::int64_t CustomVolumeSize() const { return FCustomVolumeSize; }
  // Any value below 65536 is stored as 65536.
  void SetCustomVolumeSize(std::int64_t value);

  // Copies all four values; CustomVolumeSize as it stands, without the setter's minimum.
  void Assign(const TZASpanningOptions& source);

  // Size limit of the volume the info names; -1 (all bits set) for vsAutoDetect.
  std::int64_t GetVolumeSize(const TZAVolumeNumberInfo& info) const;

 private:
  std::int64_t FCustomVolumeSize = 0;
};

enum class TZAVolumeKind : std::uint8_t { vkFirst = 0, vkLast = 1, vkNumbered = 2, vkUnset = 3 };

class TZAVolumeNumberInfo {
 public:
  TZAVolumeNumberInfo() { Reset(); }

  std::int32_t VolumeNumber = -1;
  TZAVolumeKind VolumeKind = TZAVolumeKind::vkUnset;
  std::int32_t LastVolumeNumber = -1;

  void Reset();
  bool IsFirst() const;
  void SetFirst(bool flag);
  bool IsLast() const;
  void SetLast(bool flag);
  void SetNumber(std::int32_t n);
  bool SameVolume(const TZAVolumeNumberInfo& other) const;
};

}  // namespace zip
