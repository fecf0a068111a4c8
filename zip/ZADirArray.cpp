#include "ZADirArray.h"

#include <algorithm>
#include <utility>

#include "ZAExcept.h"
#include "ZAStream.h"

namespace zip {

namespace {

std::uint16_t Get16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t Get32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::optional<std::uint16_t> TExtraField::ReadU16(std::size_t offset) const {
  if (offset > Data.size() || Data.size() - offset < 2) return std::nullopt;
  return Get16(Data, offset);
}

std::optional<std::uint32_t> TExtraField::ReadU32(std::size_t offset) const {
  if (offset > Data.size() || Data.size() - offset < 4) return std::nullopt;
  return Get32(Data, offset);
}

std::optional<std::uint64_t> TExtraField::ReadU64(std::size_t offset) const {
  if (offset > Data.size() || Data.size() - offset < 8) return std::nullopt;
  return static_cast<std::uint64_t>(Get32(Data, offset)) |
         (static_cast<std::uint64_t>(Get32(Data, offset + 4)) << 32);
}

std::vector<TExtraField> ParseExtraFields(std::span<const std::uint8_t> area, bool* ok) {
  std::vector<TExtraField> fields;
  std::size_t pos = 0;
  bool wellFormed = true;
  while (pos < area.size()) {
    if (area.size() - pos < 4) {
      wellFormed = false;
      break;
    }
    TExtraField f;
    f.Tag = Get16(area, pos);
    f.Size = Get16(area, pos + 2);
    pos += 4;
    if (area.size() - pos < f.Size) {
      wellFormed = false;
      break;
    }
    f.Data.assign(area.begin() + static_cast<std::ptrdiff_t>(pos),
                  area.begin() + static_cast<std::ptrdiff_t>(pos + f.Size));
    pos += f.Size;
    fields.push_back(std::move(f));
  }
  if (ok) *ok = wellFormed;
  return fields;
}

std::vector<std::uint8_t> SerializeExtraFields(const std::vector<TExtraField>& fields) {
  std::vector<std::uint8_t> out;
  for (const TExtraField& f : fields) {
    std::uint8_t head[4];
    Put16(head, f.Tag);
    Put16(head + 2, static_cast<std::uint16_t>(f.Data.size()));
    out.insert(out.end(), head, head + 4);
    out.insert(out.end(), f.Data.begin(), f.Data.end());
  }
  return out;
}

void DropTimeExtraFields(std::vector<TExtraField>& fields) {
  std::erase_if(fields, [](const TExtraField& f) { return f.Tag == 0x5455 || f.Tag == 0x000A || f.Tag == 0x5855; });
}

bool TDirItem::LoadCentralHeader(std::span<const std::uint8_t> b) {
  if (b.size() < CentralHeaderSize) return false;
  Signature = Get32(b, 0);
  VersionMadeBy = Get16(b, 4);
  VersionNeeded = Get16(b, 6);
  Flags = Get16(b, 8);
  Method = Get16(b, 10);
  ModTime = Get16(b, 12);
  ModDate = Get16(b, 14);
  Crc32 = Get32(b, 16);
  CompressedSize = Get32(b, 20);
  UncompressedSize = Get32(b, 24);
  NameLength = Get16(b, 28);
  ExtraLength = Get16(b, 30);
  CommentLength = Get16(b, 32);
  DiskNumberStart = Get16(b, 34);
  InternalAttributes = Get16(b, 36);
  ExternalAttributes = Get32(b, 38);
  LocalHeaderOffset = Get32(b, 42);
  return true;
}

std::array<std::uint8_t, CentralHeaderSize> TDirItem::StoreCentralHeader() const {
  std::array<std::uint8_t, CentralHeaderSize> b{};
  Put32(&b[0], Signature);
  Put16(&b[4], VersionMadeBy);
  Put16(&b[6], VersionNeeded);
  Put16(&b[8], Flags);
  Put16(&b[10], Method);
  Put16(&b[12], ModTime);
  Put16(&b[14], ModDate);
  Put32(&b[16], Crc32);
  Put32(&b[20], CompressedSize);
  Put32(&b[24], UncompressedSize);
  Put16(&b[28], NameLength);
  Put16(&b[30], ExtraLength);
  Put16(&b[32], CommentLength);
  Put16(&b[34], DiskNumberStart);
  Put16(&b[36], InternalAttributes);
  Put32(&b[38], ExternalAttributes);
  Put32(&b[42], LocalHeaderOffset);
  return b;
}

std::uint64_t TDirItem::GetUncompressedSize() const {
  return UncompressedSize == 0xFFFFFFFFu ? UncompressedSize64 : UncompressedSize;
}
std::uint64_t TDirItem::GetCompressedSize() const {
  return CompressedSize == 0xFFFFFFFFu ? CompressedSize64 : CompressedSize;
}
std::uint64_t TDirItem::GetLocalHeaderOffset() const {
  return LocalHeaderOffset == 0xFFFFFFFFu ? LocalHeaderOffset64 : LocalHeaderOffset;
}
std::uint32_t TDirItem::GetDiskNumberStart() const {
  return DiskNumberStart == 0xFFFFu ? DiskNumberStart64 : DiskNumberStart;
}

TZADirArray::~TZADirArray() { Clear(); }

void TZADirArray::CheckIndex(std::int32_t index, int code) const {
  if (index < 0 || index >= FCount) throw EZAException(code, nullptr);
}

void TZADirArray::GetItem(std::int32_t index, TDirItem& out) const {
  CheckIndex(index, zaerr::DirArrayGetItem);
  out = FItems[static_cast<std::size_t>(index)];
}

TDirItem TZADirArray::GetItem(std::int32_t index) const {
  TDirItem out;
  GetItem(index, out);
  return out;
}

TDirItem& TZADirArray::ItemRef(std::int32_t index) {
  CheckIndex(index, zaerr::DirArrayItemRef);
  return FItems[static_cast<std::size_t>(index)];
}

const TDirItem& TZADirArray::ItemRef(std::int32_t index) const {
  CheckIndex(index, zaerr::DirArrayItemRef);
  return FItems[static_cast<std::size_t>(index)];
}

void TZADirArray::SetItem(std::int32_t index, const TDirItem& item) {
  CheckIndex(index, zaerr::DirArraySetItem);
  // The record's vectors are values: the slot ends up with its own copy of every block.
  FItems[static_cast<std::size_t>(index)] = item;
}

void TZADirArray::SetCount(std::int32_t count) {
  if (count < 0) count = 0;
  if (count > FCapacity) {
    std::int32_t step = std::min(FGrowStep * 2, FMaxGrowStep);
    std::int32_t capacity = FCapacity + step > count ? FCapacity + step : count;
    FItems.resize(static_cast<std::size_t>(capacity));  // new slots start empty
    FGrowStep = step;
    FCapacity = capacity;
  } else if (count == 0) {
    std::vector<TDirItem>().swap(FItems);
    FCapacity = 0;
  }
  FCount = count;
}

void TZADirArray::Clear() {
  for (std::int32_t i = 0; i < FCount; ++i) {
    FItems[static_cast<std::size_t>(i)].ExtraFields.clear();
    FItems[static_cast<std::size_t>(i)].ExtraFields.shrink_to_fit();
  }
  FCount = 0;
}

void TZADirArray::CopyFrom(const TZADirArray& source) {
  if (&source == this) return;
  Clear();
  SetCount(source.GetCount());
  for (std::int32_t i = 0; i < source.GetCount(); ++i) SetItem(i, source.GetItem(i));
}

void TZADirArray::RemoveItem(std::int32_t index) {
  CheckIndex(index, zaerr::DirArrayRemoveItem);
  auto at = FItems.begin() + index;
  at->SourceStream.reset();  // an owned stream goes with it; another owner keeps its own
  at->ExtraFields.clear();
  std::move(at + 1, FItems.begin() + FCount, at);
  FItems[static_cast<std::size_t>(FCount - 1)] = TDirItem{};
  SetCount(FCount - 1);
}

void TZADirArray::ClearSelection() {
  for (std::int32_t i = 0; i < FCount; ++i) FItems[static_cast<std::size_t>(i)].Selected = false;
}

}  // namespace zip
