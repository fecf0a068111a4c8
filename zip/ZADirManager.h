#pragma once
// The engine's view of one open archive's directory: end records, Zip64 records, the central
// directory, the archive comment and the self-extractor stub in front of the first entry.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZADirArray.h"
#include "ZAOptions.h"
#include "ZARecords.h"
#include "ZAStream.h"
#include "ZATypes.h"

namespace zip {

// What the manager needs of its archiver.
class TZADirHost {
 public:
  virtual ~TZADirHost() = default;
  virtual bool ZipFormat() const = 0;            // the zip signatures (else the engine's own ones)
  virtual TZASpanningMode Spanning() const = 0;
  virtual bool OemFileNames() const = 0;
  virtual bool OpenDamaged() const = 0;
  // Makes the archive stream the stream of the volume that info names and returns it.
  virtual TZAStream& SwitchToVolume(const TZAVolumeNumberInfo& info) = 0;
  // The archive's own stream (volume switches leave any other stream alone).
  virtual TZAStream* ArchiveStream() = 0;
  // The volume information the load fills (first and last volume of the set).
  virtual TZAVolumeNumberInfo& VolumeInfo() = 0;
};

class TZADirManager {
 public:
  TZADirManager(TZAStream* stream, TZADirHost& host, bool creating);
  TZADirManager(const TZADirManager&) = delete;
  TZADirManager& operator=(const TZADirManager&) = delete;

  TZAStream* ArchiveStream = nullptr;
  bool Creating = false;
  bool IsCustomStream = false;
  TZADirArray BackupDir;
  TZADirArray CentralDir;
  std::string Comment;
  TZip64Locator Zip64Locator;
  TZip64EndRecord Zip64EndRecord;
  TEndRecord EndRecord;
  std::int64_t SfxStubSize = 0;
  bool IsZip64 = false;
  std::int64_t CentralDirStart = 0;
  // The load rebuilt the directory from the local headers.
  bool Rebuilt = false;
  // Volumes of the set as the end records give them (0 for a single file).
  std::int32_t FirstVolume = 0;
  std::int32_t LastVolume = 0;

  void LoadCentralDirectory();
  bool FindEndOfCentralDir(TEndRecord& record, std::int64_t& position, std::uint32_t signature);
  void ResetEndRecord();
  void DetectSfxStubSize(std::int64_t endPosition);
  bool LocateEndOfCentralDir();
  void AdjustOffsetsForStub();
  void SwitchToVolume(const TZAVolumeNumberInfo& info);

  // Supporting steps; each leaves the stream where it found it.
  bool CheckLocalHeader(std::int64_t position);
  bool FindPattern(std::int64_t start, const std::uint8_t* pattern, std::size_t length, std::int64_t& found);
  std::int64_t FindLocalHeader(std::int64_t start);
  bool FindDataDescriptor(std::int64_t start, TDataDescriptor& descriptor);
  void RebuildDirectory();
  bool OffsetsIncludeStub() const;

  // Whether the data of item index overlaps another item's (a directory that points several
  // entries at the same bytes): the bytes the item has before the other one begins. Worked out for
  // the whole directory at the first question after a load or a ForgetOverlaps.
  std::optional<std::uint64_t> ItemDataOverlap(std::int32_t index);
  void ForgetOverlaps() { FOverlaps.clear(); }

 private:
  std::uint32_t LocalSignature() const;
  std::string StoredNameToUtf8(std::string bytes, std::uint16_t flags, std::uint16_t madeBy) const;
  bool ForwardScan(std::int64_t start, std::uint32_t signature, std::size_t window, std::int64_t& found);
  // The geometry of a single-file directory is possible for this file.
  bool DirectoryFits(std::int64_t start, std::uint64_t size, std::uint64_t count, std::int64_t endPosition) const;
  void ReadItems(std::uint64_t count, bool spanning);

  TZADirHost& FHost;
  // Per item: nothing, or the room before the item it overlaps.
  std::vector<std::optional<std::uint64_t>> FOverlaps;
};

}  // namespace zip
