// The volume layer of the archiver, writing side: blank volumes of a new set, the volume-aware
// write and copy, and the self-extractor stub at the start of a new archive.
#include <algorithm>
#include <vector>

#include "ZADirManager.h"
#include "ZAPlatform.h"
#include "ZAStrFunc.h"
#include "ZipArchiver.h"

namespace zip {

namespace {

constexpr std::size_t CopyBufferSize = 1000000;
constexpr std::int64_t MinimumVolumeFree = 65536;

}  // namespace

void TZABaseArchiver::RequestBlankVolume(const TZAVolumeNumberInfo& Info) {
  // A limit of -1 fills the disk: only a removable disk may be filled.
  const std::int64_t required = SpanningOptions().GetVolumeSize(Info);
  if (required == -1 && !IsRemovableDrive(FileName)) throw EZAException(zaerr::SplitNeedsVolumeSize, this);
  // The volume written so far is closed.
  FArchiveStream.reset();
  if (FDirManager) FDirManager->ArchiveStream = nullptr;
  // A blank disk (or file name) is asked for until one has the room the volume needs.
  std::string name;
  for (;;) {
    name = FileName;
    bool cancel = false;
    DoRequestBlankVolume(Info.VolumeNumber, name, cancel);
    if (cancel) throw EZAException(zaerr::VolumeRequestCancelled, this);
    const std::int64_t free = GetVolumeFreeSpace(name);
    if (free > MinimumVolumeFree && (required <= 0 || free >= required)) break;
    DoDiskFull(Info.VolumeNumber, name, cancel);
    if (cancel) throw EZAException(zaerr::VolumeRequestCancelled, this);
  }
  // The new volume is opened (disks carry no labels on this platform).
  OpenArchiveStream(name);
  FVolumeNumberInfo.VolumeNumber = Info.VolumeNumber;
  FVolumeNumberInfo.VolumeKind = Info.VolumeKind;
  FWrittenVolumes.push_back(name);
  if (FDirManager) FDirManager->ArchiveStream = FArchiveStream.get();
}

std::int64_t TZABaseArchiver::WriteToVolumes(const void* Buffer, std::size_t Count, TZAStream* TempStream,
                                             std::int64_t Reserve, TZAVolumeNumberInfo& Info, TZAStream*& Stream) {
  const auto* bytes = static_cast<const std::uint8_t*>(Buffer);
  // A single file takes everything at once.
  if (SpanningMode() == smNone) return static_cast<std::int64_t>(Stream->Write(bytes, Count));
  // A set: as much as the volume holds, then the next volume, until all is written.
  std::size_t written = 0;
  while (written < Count) {
    const std::int64_t tempSize = TempStream ? TempStream->Size() : 0;
    std::int64_t free = GetVolumeFreeSpace(FVolumeFileName) - tempSize;
    const std::int64_t limit = SpanningOptions().GetVolumeSize(Info);
    const std::int64_t room = limit - Stream->Size() - tempSize;
    if (limit != -1) free = std::min(free, room);
    if (free < 0) break;
    const std::int64_t remaining = static_cast<std::int64_t>(Count - written);
    const bool emptyVolume = Stream->Size() == 0 && tempSize == 0;
    if (Reserve == -1 || Reserve + remaining <= free) {
      const std::size_t n = static_cast<std::size_t>(std::min(free, remaining));
      if (n > 0) {
        TZAStream& target = TempStream ? *TempStream : *Stream;
        const std::size_t w = target.Write(bytes + written, n);
        written += w;
        // A write that falls short is a failure of the medium, not a full volume.
        if (w < n) break;
      }
    } else if (emptyVolume) {
      // Not even an empty volume can hold this piece with what must follow it.
      break;
    }
    if (written < Count) {
      // The volume is full: what gathered in memory goes to it, then the next one comes.
      if (TempStream && TempStream->Size() > 0) {
        TempStream->Seek(0);
        std::vector<std::uint8_t> pending(static_cast<std::size_t>(TempStream->Size()));
        TempStream->ReadBuffer(pending.data(), pending.size());
        if (Stream->Write(pending.data(), pending.size()) != pending.size()) break;
        TempStream->SetSize(0);
        TempStream->Seek(0);
      }
      Stream->Flush();
      Info.SetNumber(Info.VolumeNumber + 1);
      RequestVolume(Info);
      Stream = FArchiveStream.get();
    }
  }
  return static_cast<std::int64_t>(written);
}

void TZABaseArchiver::WriteToVolumesOrFail(const void* Buffer, std::size_t Count, TZAStream* TempStream,
                                           std::int64_t Reserve, TZAVolumeNumberInfo& Info, TZAStream*& Stream) {
  if (WriteToVolumes(Buffer, Count, TempStream, Reserve, Info, Stream) < static_cast<std::int64_t>(Count)) {
    throw WriteFailure(TempStream && TempStream->LastWriteError() != 0 ? *TempStream : *Stream);
  }
}

void TZABaseArchiver::CopyToVolumes(TZAStream& Source, TZAStream*& Stream, bool ShowProgress, TZAStream* TempStream,
                                    std::int64_t Reserve, std::int64_t Count, bool& Cancel,
                                    TZAVolumeNumberInfo& Info) {
  const std::int64_t total = Count == -1 ? Source.Size() - Source.Position() : Count;
  // No larger than the copy: a set of many small entries copies each of them twice.
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::clamp<std::int64_t>(total, 1, CopyBufferSize)));
  if (ShowProgress) {
    DoCopyTempFileProgress(0.0, ppStart, Cancel);
    if (Cancel) return;
  }
  // The copy in pieces of the buffer's size, each reported (a cancel stops it).
  std::int64_t done = 0;
  while (done < total) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(CopyBufferSize, total - done));
    std::size_t got = 0;
    while (got < want) {
      const std::size_t n = Source.Read(buffer.data() + got, want - got);
      if (n == 0) break;
      got += n;
    }
    // A source that ends early cannot give what was asked.
    if (got < want) throw EZAException(zaerr::ShortWrite, this);
    WriteToVolumesOrFail(buffer.data(), got, TempStream, Reserve, Info, Stream);
    done += static_cast<std::int64_t>(got);
    if (ShowProgress) {
      DoCopyTempFileProgress(static_cast<double>(done) / static_cast<double>(total) * 100.0, ppProcess, Cancel);
      if (Cancel) break;
    }
  }
  if (ShowProgress) {
    bool cancel = Cancel;
    DoCopyTempFileProgress(100.0, ppEnd, cancel);
    Cancel = Cancel || cancel;
  }
}

void TZABaseArchiver::WriteSfxStub() {
  TZAFileStream stub(platform::ToFileSystemPath(SFXStub), fmOpenReadDenyNone);
  const std::int64_t size = stub.Size();
  // In a set, the stub must fit on the first volume.
  if (SpanningMode() != smNone) {
    TZAVolumeNumberInfo first;
    first.SetNumber(0);
    first.SetFirst(true);
    const std::int64_t limit = SpanningOptions().GetVolumeSize(first);
    if (limit > 0 && size > limit) throw EZAException(zaerr::SfxStubTooLarge, this);
  }
  // The stub is the archive's first bytes.
  TZAStream& archive = *FDirManager->ArchiveStream;
  archive.SetSize(0);
  archive.Seek(0);
  std::vector<std::uint8_t> buffer(CopyBufferSize);
  for (std::int64_t done = 0; done < size;) {
    const std::size_t n = stub.Read(buffer.data(), buffer.size());
    if (n == 0) throw EZAException(zaerr::ShortWrite, this);
    if (archive.Write(buffer.data(), n) != n) throw WriteFailure(archive);
    done += static_cast<std::int64_t>(n);
  }
  FDirManager->SfxStubSize = size;
}

}  // namespace zip
