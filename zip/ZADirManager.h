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
  // Why the directory as loaded cannot be taken for the whole archive, in a few words (empty when
  // nothing was found wrong): it was rebuilt from the local headers, or the end record gives the
  // central directory a size or an offset it does not have.
  std::string DirectoryFault;
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
  void RebuildDirectory();
  bool OffsetsIncludeStub() const;

  // Whether the data of item index overlaps another item's (a directory that points several
  // entries at the same bytes, or an entry whose data runs over the next one's header). Worked out
  // for the whole directory at the first question after a load or a ForgetOverlaps.
  bool ItemDataOverlaps(std::int32_t index);
  void ForgetOverlaps() { FOverlaps.clear(); }
  // Whether the bytes of item index run past the end of the archive's data, as far as the directory
  // tells without reading: a rebuilt entry found cut short, or data too large for the room before
  // the central directory. The item cannot be read whole.
  bool ItemDataIncomplete(std::int32_t index);
  // Why the archive, as the entries of stored describe it, does not hold together (empty when it
  // does): the load's DirectoryFault, or entries that overlap, run past the end of the data or
  // have no local header where the directory says. Nothing may be written over such an archive.
  std::string StructureFault(const TZADirArray& stored);

 private:
  std::uint32_t LocalSignature() const;
  std::string StoredNameToUtf8(std::string bytes, std::uint16_t flags, std::uint16_t madeBy) const;
  bool ForwardScan(std::int64_t start, std::uint32_t signature, std::size_t window, std::int64_t& found);
  // The geometry of a single-file directory is possible for this file.
  bool DirectoryFits(std::int64_t start, std::uint64_t size, std::uint64_t count, std::int64_t endPosition) const;
  // Reads count central headers from the stream's position; the bytes they took, or nothing when
  // one of them is not a central header.
  std::optional<std::uint64_t> ReadItems(std::uint64_t count, bool spanning);
  // The directory cannot be read as the end record describes it: it is rebuilt from the local
  // headers instead (code 44 for a set of volumes), and why is kept in DirectoryFault.
  void RebuildInstead(const std::string& why);
  // Appends the entry whose local header is at position; returns where its bytes end, or -1 when
  // they are not all in the file (the entry is then kept as incomplete).
  std::int64_t AppendRebuiltItem(std::int64_t position, const TLocalHeader& local);
  // The data descriptor that ends the data starting at dataStart (its sizes agree with where it
  // lies); fills the item's CRC and sizes and returns where the descriptor ends, or -1.
  std::int64_t FindDataDescriptor(std::int64_t dataStart, bool zip64, TDirItem& item);
  // Where the bytes of a stored item end in its volume, read from its local header; nothing when
  // no local header is there.
  std::optional<std::uint64_t> StoredItemEnd(const TDirItem& item);
  bool SingleFile() const;

  TZADirHost& FHost;
  // Per item: whether it overlaps another.
  std::vector<bool> FOverlaps;
  // Local header offsets of the rebuilt entries whose bytes are not all in the file, ascending.
  std::vector<std::uint64_t> FIncompleteOffsets;
};

}  // namespace zip
