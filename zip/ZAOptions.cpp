#include "ZAOptions.h"

namespace zip {

void TZAOptions::Assign(const TZAOptions& source) {
  StorePath = source.StorePath;
  Recurse = source.Recurse;
  OverwriteMode = source.OverwriteMode;
  CreateDirs = source.CreateDirs;
  ReplaceReadOnly = source.ReplaceReadOnly;
  SetAttributes = source.SetAttributes;
  SearchAttr = source.SearchAttr;
  FlushBuffers = source.FlushBuffers;
  OEMFileNames = source.OEMFileNames;
}

void TZASpanningOptions::SetCustomVolumeSize(std::int64_t value) {
  FCustomVolumeSize = value < 65536 ? 65536 : value;
}

void TZASpanningOptions::Assign(const TZASpanningOptions& source) {
  AdvancedNaming = source.AdvancedNaming;
  FirstVolumeSize = source.FirstVolumeSize;
  VolumeSize = source.VolumeSize;
  FCustomVolumeSize = source.FCustomVolumeSize;
}

std::int64_t TZASpanningOptions::GetVolumeSize(const TZAVolumeNumberInfo& info) const {
  if (info.IsFirst() && FirstVolumeSize > 0) return FirstVolumeSize;
  switch (VolumeSize) {
    case vsAutoDetect: return -1;
    case vsCustom: return FCustomVolumeSize;
    case vs1_44MB: return 1457664;
    case vs100MB: return 104857600;
    case vs200MB: return 209715200;
    case vs250MB: return 262144000;
    case vs600MB: return 629145600;
    case vs650MB: return 681574400;
    case vs700MB: return 734003200;
    case vs4700MB: return 4928307200LL;
  }
  return -1;
}

void TZAVolumeNumberInfo::Reset() {
  VolumeKind = TZAVolumeKind::vkUnset;
  VolumeNumber = -1;
  LastVolumeNumber = -1;
}

bool TZAVolumeNumberInfo::IsFirst() const { return VolumeNumber == 0; }

void TZAVolumeNumberInfo::SetFirst(bool flag) {
  if (!flag) return;
  VolumeNumber = 0;
  VolumeKind = TZAVolumeKind::vkFirst;
}

bool TZAVolumeNumberInfo::IsLast() const {
  if (LastVolumeNumber == -1) return VolumeKind == TZAVolumeKind::vkLast;
  return VolumeNumber == LastVolumeNumber;
}

void TZAVolumeNumberInfo::SetLast(bool flag) {
  if (!flag) return;
  VolumeNumber = LastVolumeNumber;
  VolumeKind = TZAVolumeKind::vkLast;
}

void TZAVolumeNumberInfo::SetNumber(std::int32_t n) {
  VolumeKind = TZAVolumeKind::vkNumbered;
  VolumeNumber = n;
}

bool TZAVolumeNumberInfo::SameVolume(const TZAVolumeNumberInfo& other) const {
  if (IsLast()) return other.IsLast();
  if (IsFirst()) return other.IsFirst();
  if (VolumeNumber < 0) return VolumeKind == other.VolumeKind;
  return VolumeNumber == other.VolumeNumber;
}

}  // namespace zip
