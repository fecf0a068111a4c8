// The per-item services of the update bracket: refilling an item from a disk file, removing an
// item, naming temporary files, and the operations that open, fill and close a bracket.
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "ZADirManager.h"
#include "ZAMasks.h"
#include "ZAPlatform.h"
#include "ZAStrFunc.h"
#include "ZAWriteRecords.h"
#include "ZipArchiver.h"

namespace zip {

namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t VersionOem = 0x0014;
constexpr std::uint16_t VersionAnsi = 0x0B14;

std::int32_t DosDateTimeOfTime(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  if (tm.tm_year < 80) return (1 << 21) | (1 << 16);  // the format starts in 1980...
  if (tm.tm_year > 80 + 127) return static_cast<std::int32_t>((0xFF9Fu << 16) | 0xBF7Du);  // ...and ends in 2107
  const std::uint32_t date = static_cast<std::uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  const std::uint32_t time = static_cast<std::uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return static_cast<std::int32_t>((date << 16) | time);
}

bool HasWildcards(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// The entries of a folder, sorted; false when the folder could not be listed whole.
bool ListFolder(const fs::path& folder, std::vector<fs::path>& children) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) children.push_back(it->path());
  std::sort(children.begin(), children.end());
  return !ec;
}

// The stored name made from a disk path, with the backslashes of the disk's own names kept. The
// engine takes "\" for a folder separator, so that a file named "a\b.txt" would pass for "a/b.txt"
// (and beside a real "a/b.txt" one of the two would be lost); kept, the name is one that no other
// item has, and the commit refuses it as a failed item. Walking back from the end of the path,
// each disk name stands for as many parts of the stored name as its backslashes make of it.
std::string KeepDiskBackslashes(const std::string& stored, const std::string& fsPath) {
  if (fsPath.find('\\') == std::string::npos) return stored;
  const bool folder = !stored.empty() && stored.back() == '/';
  const std::string_view plain(stored.data(), stored.size() - (folder ? 1 : 0));
  std::size_t wanted = static_cast<std::size_t>(std::count(plain.begin(), plain.end(), '/')) + 1;
  std::string kept;
  std::size_t end = fsPath.size();
  while (wanted > 0 && end > 0) {
    const std::size_t slash = fsPath.rfind('/', end - 1);
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::string_view name(fsPath.data() + start, end - start);
    if (!name.empty()) {
      std::size_t parts = 0;
      for (std::size_t at = 0; at < name.size();) {
        const std::size_t next = std::min(name.find('\\', at), name.size());
        if (next > at) ++parts;
        at = next + 1;
      }
      kept.insert(0, std::string(name) + (kept.empty() ? "" : "/"));
      wanted -= std::min(parts, wanted);
    }
    if (slash == std::string::npos) break;
    end = slash;
  }
  if (kept.find('\\') == std::string::npos) return stored;
  return folder ? kept + '/' : kept;
}

}  // namespace

// ---- item services --------------------------------------------------------------------------

namespace {

// Refills an item from a disk file (fsPath) whose engine name is path; names are made relative
// to baseDir.
void FillFromDisk(TZABaseArchiver& a, TDirItem& item, const std::string& path, const std::string& fsPath,
                  const std::string& baseDir, bool useFileData, std::int16_t compressionMethod) {
  // The name it is stored under; a path that gives none leaves the item alone.
  std::string stored = MakeStoredFileName(path, baseDir, a.Options().StorePath);
  if (stored.empty()) return;
  struct stat st {};
  const bool exists = ::stat(fsPath.c_str(), &st) == 0;
  const bool isDir = exists && S_ISDIR(st.st_mode);
  // Its time and attributes, taken from the disk only when asked to.
  std::int32_t dateTime;
  std::uint32_t attributes = faArchive;
  std::uint32_t unixMode = 0;
  if (useFileData) {
    dateTime = DosDateTimeOfTime(exists ? st.st_mtime : std::time(nullptr));
    if (exists) {
      attributes = isDir ? faDirectory : faArchive;
      if (!(st.st_mode & S_IWUSR)) attributes |= faReadOnly;
      unixMode = st.st_mode & 0xFFFF;
    }
    if (isDir && stored.back() != '/') stored += '/';
  } else {
    dateTime = DosDateTimeOfTime(std::time(nullptr));
  }
  // What the commit needs to store it.
  item.Name = stored;
  item.IsNew = true;
  item.Password = a.Password;
  item.SourceFileName = path;
  item.SourcePath = fsPath;
  item.CompressionMode = isDir ? 0 : a.CompressionMode();
  // The record's fields as a new entry has them until the commit compresses its data.
  item.Signature = CentralHeaderSignature;
  item.VersionNeeded = a.Options().OEMFileNames ? VersionOem : VersionAnsi;
  // A Unix file keeps its mode in the high half of the attributes, which a Unix host marks.
  item.VersionMadeBy = unixMode != 0 ? static_cast<std::uint16_t>((HostUnix << 8) | (item.VersionNeeded & 0xFF))
                                     : item.VersionNeeded;
  item.Flags = a.Password.empty() ? 0 : FlagEncrypted;
  item.Method = static_cast<std::uint16_t>(compressionMethod < 0 ? 0 : compressionMethod);
  item.ModTime = static_cast<std::uint16_t>(dateTime & 0xFFFF);
  item.ModDate = static_cast<std::uint16_t>(static_cast<std::uint32_t>(dateTime) >> 16);
  item.Crc32 = 0xFFFFFFFFu;
  item.CompressedSize = 0;
  item.UncompressedSize = 0;
  item.NameLength = static_cast<std::uint16_t>(std::min<std::size_t>(stored.size(), 0xFFFF));
  item.ExtraLength = 0;
  item.CommentLength = 0;
  item.DiskNumberStart = 0;
  item.InternalAttributes = 0;
  item.ExternalAttributes = attributes | (unixMode << 16);
  item.LocalHeaderOffset = 0;
  // A folder has no data to compress or encrypt.
  if (isDir) {
    item.Method = 0;
    item.Crc32 = 0;
    item.Flags = 2;
  }
  // The engine's own block format has its own signature and version.
  if (!a.FZipFormat) {
    item.Signature = OwnCentralHeaderSignature;
    item.VersionNeeded = 0x4114;
  }
}

}  // namespace

void TZABaseArchiver::FillItemFromFile(std::int32_t Index, const std::string& Path, bool UseFileData) {
  TDirItem& item = FDirManager->CentralDir.ItemRef(Index);
  const std::string oldName = item.Name;
  FillFromDisk(*this, item, Path, platform::ToFileSystemPath(Path), platform::GetCurrentDir(), UseFileData,
               FCompressionMethod);
  NoteItemRenamed(Index, oldName);
}

TDirItem& TZABaseArchiver::ReplaceItemFromFile(std::int32_t Index, const std::string& Path) {
  if (!FDirManager || Index < 0 || Index >= FDirManager->CentralDir.GetCount()) {
    throw EZAException(zaerr::ChangeIndexOutOfBounds, this);
  }
  if (!InUpdate()) throw EZAException(zaerr::ChangeOutsideUpdate, this);
  FillItemFromFile(Index, Path, true);
  TDirItem& item = FDirManager->CentralDir.ItemRef(Index);
  item.Operation = poUpdate;
  return item;
}

void TZABaseArchiver::DeleteDirItem(std::int32_t Index) {
  if (!FDirManager || Index < 0 || Index >= FDirManager->CentralDir.GetCount()) {
    throw EZAException(zaerr::DeleteIndexOutOfBounds, this);
  }
  if (!InUpdate()) throw EZAException(zaerr::DeleteOutsideUpdate, this);
  const std::string name = FDirManager->CentralDir.ItemRef(Index).Name;
  FDirManager->CentralDir.RemoveItem(Index);
  FNameIndex.Removed(FDirManager->CentralDir, Index, name);
}

std::string TZABaseArchiver::MakeTempFileName() {
  const std::string dir = TempDir.empty() ? platform::GetTempPath() : TempDir;
  std::string name = platform::CreateTempFile(dir, "FC");
  if (name.empty()) throw EZAException(zaerr::CannotCreateTempFile, this, {dir});
  return name;
}

// ---- the steps of the processing loop that change items -------------------------------------

void TZABaseArchiver::UpdateItem(std::int32_t Index, const std::string& FileName, const std::string& BaseFolder) {
  const TDirItem& item = FDirManager->CentralDir.ItemRef(Index);
  if (item.ExternalAttributes & faDirectory) return;
  const std::string source = ExpandFileNameIn(FileName, BaseFolder);
  const std::string fsSource = platform::ToFileSystemPath(source);
  struct stat st {};
  if (::stat(fsSource.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (!Options().ReplaceReadOnly && (item.ExternalAttributes & faReadOnly)) return;
  const std::int32_t itemTime = static_cast<std::int32_t>((static_cast<std::uint32_t>(item.ModDate) << 16) | item.ModTime);
  const std::int32_t fileTime = DosDateTimeOfTime(st.st_mtime);
  bool replace = false;
  switch (Options().OverwriteMode) {
    case omPrompt: {
      std::string dest = FileName;
      replace = true;
      DoConfirmOverwrite(source, dest, replace);
      break;
    }
    case omAlways: replace = true; break;
    case omNever: replace = false; break;
    case omIfNewer: replace = fileTime > itemTime; break;
    case omIfOlder: replace = fileTime < itemTime; break;
  }
  if (!replace) return;
  TDirItem& target = ReplaceItemFromFile(Index, source);
  // The stored name is made against the base folder, as the item was found there.
  const std::string oldName = target.Name;
  FillFromDisk(*this, target, source, fsSource, BaseFolder, true, FCompressionMethod);
  target.Operation = poUpdate;
  NoteItemRenamed(Index, oldName);
}

void TZABaseArchiver::DeleteItem(std::int32_t Index) { DeleteDirItem(Index); }

// ---- the update bracket and the operations that fill it -------------------------------------

namespace {

bool IsOwnFile(const std::vector<TZAFileId>& own, const struct stat& st) {
  return std::any_of(own.begin(), own.end(),
                     [&](const TZAFileId& id) { return id.Device == st.st_dev && id.Inode == st.st_ino; });
}

}  // namespace

void TZABaseArchiver::BeginUpdate() {
  CheckOpen();
  if (FUpdateCount == 0) {
    // A set of volumes is written once, when it is created.
    if (SpanningMode() != smNone && (FFileOpenMode != ZAFileModeCreate || FDirectoryWritten)) {
      throw EZAException(zaerr::MultiVolumeModification, this);
    }
    if (!InMemory() && FFileOpenMode != ZAFileModeCreate && FFileOpenMode != fmOpenReadWriteDenyWrite) {
      throw EZAException(zaerr::ReadOnlyArchive, this);
    }
    // Each entry knows its own stored entry from now on, whatever happens to its name.
    for (std::int32_t i = 0; i < FDirManager->CentralDir.GetCount(); ++i) FDirManager->CentralDir.ItemRef(i).StoredIndex = i;
    FDirManager->BackupDir.CopyFrom(FDirManager->CentralDir);
    FNameIndex.Forget();
  }
  ++FUpdateCount;
}

void TZABaseArchiver::EndUpdate() {
  if (FUpdateCount <= 0) return;
  if (--FUpdateCount > 0) return;
  FUpdateCount = 1;
  CommitUpdate();
}

void TZABaseArchiver::FillUpdate(const std::function<void()>& fill) {
  const bool own = !InUpdate();
  if (own) BeginUpdate();
  try {
    fill();
  } catch (const std::exception& e) {
    const auto* z = dynamic_cast<const EZAException*>(&e);
    CancelUpdate(z ? z->NativeError : 0, e.what());
    throw;
  }
  if (own && InUpdate()) EndUpdate();
}

void TZABaseArchiver::CancelUpdate(std::int32_t ErrorCode, const std::string& Message) {
  if (!InUpdate()) return;
  FUpdateCount = 0;
  FUnlistedFolders.clear();
  RestoreDirectoryFromBackup();
  FLastCommit = TZACommitResult{};
  FLastCommit.State = TZACommitState::Cancelled;
  FLastCommit.ErrorCode = ErrorCode;
  FLastCommit.Message = Message;
}

void TZABaseArchiver::RestoreDirectoryFromBackup() {
  if (FDirManager) FDirManager->CentralDir.CopyFrom(FDirManager->BackupDir);
  FNameIndex.Forget();
}

std::int32_t TZABaseArchiver::PutDirItem(std::int32_t Index, const TDirItem& Item) {
  TZADirArray& dir = FDirManager->CentralDir;
  if (Index < 0) {
    Index = dir.GetCount();
    dir.SetCount(Index + 1);
    dir.SetItem(Index, Item);
    FNameIndex.Added(dir, Index);
    return Index;
  }
  const std::string oldName = dir.ItemRef(Index).Name;
  dir.SetItem(Index, Item);
  NoteItemRenamed(Index, oldName);
  return Index;
}

void TZABaseArchiver::NoteItemRenamed(std::int32_t Index, const std::string& OldName) {
  FNameIndex.Renamed(FDirManager->CentralDir, Index, OldName);
}

std::int32_t TZABaseArchiver::FindItemByName(const std::string& Name) {
  return FNameIndex.Find(FDirManager->CentralDir, Name);
}

namespace {

void CheckNameLength(const TZABaseArchiver& a, const std::string& name) {
  if (name.size() > MaxStoredNameLength) throw EZAException(zaerr::FieldTooLong, &a, {name});
}

}  // namespace

std::vector<TZAFileId> TZABaseArchiver::OwnFileIds() {
  std::vector<TZAFileId> ids;
  if (InMemory()) return ids;
  const auto add = [&](const std::string& name) {
    struct stat st {};
    if (!name.empty() && ::stat(platform::ToFileSystemPath(name).c_str(), &st) == 0) {
      ids.push_back({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
    }
  };
  if (const auto* file = dynamic_cast<const TZAFileStream*>(FArchiveStream.get())) {
    struct stat st {};
    if (::fstat(file->Handle(), &st) == 0) {
      ids.push_back({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
    }
  }
  add(FileName);
  add(FVolumeFileName);
  for (const std::string& volume : FWrittenVolumes) add(volume);
  // The volumes a set has, or will have, under its names.
  if (SpanningMode() != smNone) {
    for (int n = -1; n < 0xFFFF; ++n) {
      std::string name = FileName;
      MakeVolumeFileName(name, n, false);
      if (n >= 0 && !platform::FileExists(name)) break;
      add(name);
    }
  }
  return ids;
}

void TZABaseArchiver::AddDiskFiles(const std::string& FileMask, TZAProcessOperation Operation) {
  CheckOpen();
  FillUpdate([&] { GatherDiskFiles(FileMask, Operation); });
}

void TZABaseArchiver::GatherDiskFiles(const std::string& FileMask, TZAProcessOperation Operation) {
  const std::string base = ExcludeTrailingBackslash(ResolvePath(BaseDir, ""));
  const std::string full = ExpandFileNameIn(FileMask, BaseDirWithBackslash(base));
  TZADirArray& dir = FDirManager->CentralDir;
  const std::vector<TZAFileId> own = OwnFileIds();

  // missing: a path named without wildcards that does not exist; it is added all the same, so
  // that the commit reports it as a failed item.
  const auto addOne = [&](const fs::path& fsPath, bool missing = false) {
    if (!missing) {
      // Only files and folders: a pipe or a device would block or never end.
      std::error_code statError;
      const auto status = fs::status(fsPath, statError);
      if (!fs::is_regular_file(status) && !fs::is_directory(status)) return;
      // Never the archive itself, nor one of its volumes, whatever name leads to it.
      struct stat st {};
      if (::stat(fsPath.c_str(), &st) == 0 && IsOwnFile(own, st)) return;
    }
    const std::string path = platform::FromFileSystemPath(fsPath.string());
    TDirItem probe;
    FillFromDisk(*this, probe, path, fsPath.string(), base, true, FCompressionMethod);
    if (probe.Name.empty()) return;
    probe.Name = KeepDiskBackslashes(probe.Name, fsPath.string());
    CheckNameLength(*this, probe.Name);
    probe.Operation = Operation;
    // A name the archive holds already is refilled in place; added over a stored item, it is a
    // freshen (a failure keeps the old data).
    const std::int32_t index = FindItemByName(probe.Name);
    if (index >= 0) {
      const TDirItem& item = dir.ItemRef(index);
      if (!item.IsNew && Operation == poAdd) probe.Operation = poUpdate;
      probe.Comment = item.Comment;
      probe.CommentLength = item.CommentLength;
      probe.ExtraFields = item.ExtraFields;
      probe.StoredIndex = item.StoredIndex;
    }
    PutDirItem(index, probe);
    FUnlistedFolders.erase(fsPath.string());
  };
  // A folder whose files cannot all be listed is a failed item: stored, it would pass for a folder
  // with nothing (or less) in it.
  const auto unlisted = [&](const fs::path& folder) {
    addOne(folder);
    FUnlistedFolders.insert(folder.string());
  };
  std::function<void(const fs::path&)> addTree = [&](const fs::path& folder) {
    std::error_code ec;
    std::vector<fs::path> children;
    if (!ListFolder(folder, children)) unlisted(folder);
    for (const fs::path& child : children) {
      addOne(child);
      if (Options().Recurse && fs::is_directory(child, ec) && !fs::is_symlink(child, ec)) addTree(child);
    }
  };

  const std::string fsFull = platform::ToFileSystemPath(full);
  std::error_code ec;
  const fs::path target(fsFull);
  const std::string pattern = platform::FromFileSystemPath(target.filename().string());
  if (!HasWildcards(pattern)) {
    if (fs::is_directory(target, ec)) {
      addOne(target);
      addTree(target);
    } else if (fs::exists(target, ec)) {
      addOne(target);
    } else {
      addOne(target, true);
    }
  } else {
    std::function<void(const fs::path&)> walk = [&](const fs::path& folder) {
      std::vector<fs::path> children;
      if (!ListFolder(folder, children)) unlisted(folder);
      for (const fs::path& child : children) {
        const bool isDir = fs::is_directory(child, ec) && !fs::is_symlink(child, ec);
        if (NameMatchesMask(platform::FromFileSystemPath(child.filename().string()), pattern)) {
          addOne(child);
          if (isDir && Options().Recurse) addTree(child);
        } else if (isDir && Options().Recurse) {
          walk(child);
        }
      }
    };
    walk(target.parent_path());
  }
}

void TZABaseArchiver::AddFiles(const std::string& FileMask) { AddDiskFiles(FileMask, poAdd); }

void TZABaseArchiver::MoveFiles(const std::string& FileMask) { AddDiskFiles(FileMask, poMove); }

void TZABaseArchiver::AddFromStream(const std::string& StoredName, std::shared_ptr<TZAStream> Stream,
                                    std::uint32_t Attributes, std::int32_t DosDateTime) {
  CheckOpen();
  std::string name = ToSlashes(StoredName);
  while (!name.empty() && name.front() == '/') name.erase(0, 1);
  if (name.empty()) return;
  FillUpdate([&] { PutStreamItem(name, std::move(Stream), Attributes, DosDateTime); });
}

void TZABaseArchiver::PutStreamItem(const std::string& name, std::shared_ptr<TZAStream> Stream,
                                    std::uint32_t Attributes, std::int32_t DosDateTime) {
  CheckNameLength(*this, name);
  const bool folder = (Attributes & faDirectory) != 0;
  // A folder is stored with a "/" at the end: the item of that name is the one it refills (never
  // a second one beside it), else an item of the name as given.
  const std::string stored = folder && name.back() != '/' ? name + '/' : name;
  std::int32_t index = FindItemByName(stored);
  if (index < 0 && stored != name) index = FindItemByName(name);
  const TDirItem item = index >= 0 ? FDirManager->CentralDir.GetItem(index) : TDirItem{};
  const std::int32_t when = DosDateTime != 0 ? DosDateTime : DosDateTimeOfTime(std::time(nullptr));
  TDirItem fresh;
  fresh.Name = stored;
  fresh.StoredIndex = item.StoredIndex;
  fresh.Comment = item.Comment;
  fresh.CommentLength = item.CommentLength;
  fresh.IsNew = true;
  fresh.Operation = poAdd;
  fresh.Password = Password;
  fresh.SourceFileName = name;
  fresh.SourceStream = Stream;
  fresh.SourceStreamStart = Stream ? Stream->Position() : 0;
  fresh.CompressionMode = (Attributes & faDirectory) ? 0 : CompressionMode();
  fresh.Signature = CentralHeaderSignature;
  fresh.VersionNeeded = fresh.VersionMadeBy = Options().OEMFileNames ? VersionOem : VersionAnsi;
  fresh.Flags = Password.empty() ? 0 : FlagEncrypted;
  fresh.Method = static_cast<std::uint16_t>(FCompressionMethod < 0 ? 0 : FCompressionMethod);
  fresh.ModTime = static_cast<std::uint16_t>(when & 0xFFFF);
  fresh.ModDate = static_cast<std::uint16_t>(static_cast<std::uint32_t>(when) >> 16);
  fresh.Crc32 = 0xFFFFFFFFu;
  fresh.ExternalAttributes = Attributes;
  if (folder) {
    fresh.Method = 0;
    fresh.Crc32 = 0;
    fresh.Flags = 0;
    fresh.SourceStream.reset();
  }
  PutDirItem(index, fresh);
}

namespace {
// A name given by the caller as the archive keeps names: parts separated by one "/", without "."
// parts and without a "/" in front, so that "sub//a.txt" or "./sub/a.txt" is "sub/a.txt".
std::string PlainItemName(const std::string& name) {
  std::string out;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find('/', start), name.size());
    const std::string_view part(name.data() + start, end - start);
    if (!part.empty() && part != ".") {
      out.append(part);
      if (end < name.size()) out += '/';
    }
    start = end + 1;
  }
  return out;
}

// A new name that a reader can place below the folder it extracts to: no ".." part (which climbs
// out of it), no ":" (a drive or a stream) and no zero byte (where a reader ends the name).
bool IsPlaceableName(const std::string& name) {
  if (name.find_first_of(std::string_view(":\0", 2)) != std::string::npos) return false;
  for (std::size_t start = 0; start <= name.size();) {
    const std::size_t end = std::min(name.find('/', start), name.size());
    if (std::string_view(name.data() + start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}
}  // namespace

void TZABaseArchiver::RenameItem(const std::string& OldName, const std::string& NewName) {
  CheckOpen();
  FillUpdate([&] { RenameOneItem(OldName, NewName); });
}

void TZABaseArchiver::RenameOneItem(const std::string& OldName, const std::string& NewName) {
  const std::string from = ToSlashes(OldName);
  std::string to = PlainItemName(ToSlashes(NewName));
  CheckNameLength(*this, to);
  TZADirArray& dir = FDirManager->CentralDir;
  const std::int32_t index = FindItemByName(from);
  if (index < 0 || to.empty()) throw EZAException(zaerr::RenameItemNotFound, this, {OldName});
  if (!IsPlaceableName(to)) throw EZAException(zaerr::RenameFailed, this, {OldName, NewName});
  if (dir.ItemRef(index).Name.back() == '/' && to.back() != '/') to += '/';
  // Every item must come out in a place of its own. Refused: a name the archive holds (the item's
  // own excepted); the other kind of the name (a folder of a file's name, a file of a folder's);
  // a name below a file ("a/b.txt/n.txt" beside the file "a/b.txt"); and a file's name where the
  // archive has a folder without an entry of its own ("a" beside "a/b.txt").
  const auto taken = [&](const std::string& name) {
    const std::int32_t other = FindItemByName(name);
    return other >= 0 && other != index;
  };
  const bool folder = to.back() == '/';
  bool refused = taken(to) || taken(folder ? to.substr(0, to.size() - 1) : to + '/');
  for (std::size_t slash = to.find('/'); !refused && slash != std::string::npos && slash + 1 < to.size(); slash = to.find('/', slash + 1)) {
    refused = taken(to.substr(0, slash));
  }
  if (!folder && !refused) refused = FNameIndex.AnyOtherWithPrefix(dir, to + '/', index);
  if (refused) throw EZAException(zaerr::RenameTargetExists, this, {OldName, NewName});
  TDirItem& item = dir.ItemRef(index);
  const std::string oldName = item.Name;
  if (!item.IsNew) {
    item.Name2 = item.Name;
    item.IsNew = true;
    item.Operation = poRename;
  }
  item.Name = to;
  NoteItemRenamed(index, oldName);
}

void TZABaseArchiver::DeleteFiles(const std::string& FileMask, std::int32_t SearchAttr) {
  ProcessMatchingInBracket(FileMask, SearchAttr, poDelete);
}

void TZABaseArchiver::UpdateFiles(const std::string& FileMask, std::int32_t SearchAttr) {
  ProcessMatchingInBracket(FileMask, SearchAttr, poUpdate);
}

void TZABaseArchiver::ProcessMatchingInBracket(const std::string& FileMask, std::int32_t SearchAttr,
                                               TZAProcessOperation Operation) {
  CheckOpen();
  FillUpdate([&] {
    SelectMatchingItems(FileMask, SearchAttr, "");
    ProcessFiles(Operation);
  });
}

void TZABaseArchiver::TestFiles(const std::string& FileMask, std::int32_t SearchAttr) {
  CheckOpen();
  CheckNotInUpdate();
  SelectMatchingItems(FileMask, SearchAttr, "");
  ProcessFiles(poTest);
}

}  // namespace zip
