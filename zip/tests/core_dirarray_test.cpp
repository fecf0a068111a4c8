// The directory array: growth, index errors, independent extra fields, removal.
#include <gtest/gtest.h>

#include <random>

#include "ZADirArray.h"
#include "ZAExcept.h"
#include "ZAStream.h"

namespace zip {
namespace {

TExtraField Field(std::uint16_t tag, std::vector<std::uint8_t> data) {
  TExtraField f;
  f.Tag = tag;
  f.Size = static_cast<std::uint16_t>(data.size());
  f.Data = std::move(data);
  return f;
}

int CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EZAException& e) {
    return e.NativeError;
  }
  return 0;
}

TEST(TZADirArray, GrowsByADoublingStepWithACeiling) {
  TZADirArray a;
  EXPECT_EQ(a.GetCount(), 0);
  EXPECT_EQ(a.Capacity(), 0);
  EXPECT_EQ(a.GrowStep(), 500);
  EXPECT_EQ(a.MaxGrowStep(), 10000);
  // Entry number -> capacity after adding it one at a time.
  const std::pair<int, int> steps[] = {{1, 1000},     {1000, 1000},   {1001, 3000},
                                       {3000, 3000},  {3001, 7000},   {7001, 15000},
                                       {15001, 25000}, {25001, 35000}};
  int count = 0;
  for (auto [entry, capacity] : steps) {
    while (count < entry) a.SetCount(++count);
    EXPECT_EQ(a.Capacity(), capacity) << "after entry " << entry;
  }
  // A jump past the next step takes exactly what is asked.
  TZADirArray b;
  b.SetCount(5000);
  EXPECT_EQ(b.Capacity(), 5000);
}

TEST(TZADirArray, ShrinkKeepsSlotsAndZeroReleasesThem) {
  TZADirArray a;
  a.SetCount(3);
  a.ItemRef(2).Name = "kept.txt";
  a.ItemRef(2).ExtraFields.push_back(Field(0x5455, {1, 2, 3}));
  a.SetCount(1);
  EXPECT_EQ(a.Capacity(), 1000);
  a.SetCount(3);  // within the capacity: the slot comes back as it was
  EXPECT_EQ(a.ItemRef(2).Name, "kept.txt");
  ASSERT_EQ(a.ItemRef(2).ExtraFields.size(), 1u);
  a.SetCount(1500);  // a growth: the new slots start empty
  EXPECT_TRUE(a.ItemRef(1200).Name.empty());
  EXPECT_FALSE(a.ItemRef(1200).IsNew);
  EXPECT_EQ(a.ItemRef(1200).SourceStream, nullptr);
  a.SetCount(0);
  EXPECT_EQ(a.Capacity(), 0);
  a.SetCount(3);
  EXPECT_TRUE(a.ItemRef(2).Name.empty());
  EXPECT_TRUE(a.ItemRef(2).ExtraFields.empty());
}

TEST(TZADirArray, IndexErrors) {
  TZADirArray empty;
  TZADirArray two;
  two.SetCount(2);
  TDirItem r;
  for (TZADirArray* a : {&empty, &two}) {
    for (int index : {-1, a->GetCount()}) {
      SCOPED_TRACE(index);
      EXPECT_EQ(CodeOf([&] { a->SetItem(index, r); }), 1);
      EXPECT_EQ(CodeOf([&] { a->GetItem(index, r); }), 2);
      EXPECT_EQ(CodeOf([&] { a->ItemRef(index); }), 3);
      EXPECT_EQ(CodeOf([&] { a->RemoveItem(index); }), 4);
    }
  }
  EXPECT_EQ(two.GetCount(), 2);  // nothing changed by a refused call
  try {
    empty.ItemRef(0);
  } catch (const EZAException& e) {
    EXPECT_EQ(e.Message(), "Index out of bounds - Native error: 00003");
  }
}

TEST(TZADirArray, SetItemAndCopyFromMakeIndependentCopies) {
  TZADirArray a;
  a.SetCount(2);
  TDirItem r;
  r.Name = "a.txt";
  r.ExtraFields.push_back(Field(1, {9, 9, 9, 9, 9, 9, 9, 9}));
  a.SetItem(1, r);
  r.ExtraFields.clear();  // the caller drops its blocks: the entry keeps its own
  ASSERT_EQ(a.ItemRef(1).ExtraFields.size(), 1u);
  EXPECT_EQ(a.ItemRef(1).ExtraFields[0].Data.size(), 8u);

  TZADirArray b;
  b.CopyFrom(a);
  a.ItemRef(1).ExtraFields[0].Data[0] = 0;
  EXPECT_EQ(b.ItemRef(1).ExtraFields[0].Data[0], 9);
  EXPECT_EQ(b.ItemRef(1).Name, "a.txt");

  TZADirArray none;
  b.CopyFrom(none);
  EXPECT_EQ(b.GetCount(), 0);
}

TEST(TZADirArray, RemoveItemMovesLaterEntriesDown) {
  TZADirArray a;
  a.SetCount(3);
  auto owned = std::make_shared<TZAMemoryStream>();
  auto foreign = std::make_shared<TZAMemoryStream>(std::vector<std::uint8_t>{1, 2, 3});
  for (int i = 0; i < 3; ++i) {
    a.ItemRef(i).Name = "item" + std::to_string(i);
    a.ItemRef(i).ExtraFields.push_back(Field(static_cast<std::uint16_t>(i), {static_cast<std::uint8_t>(i)}));
  }
  a.ItemRef(0).SourceStream = owned;
  a.ItemRef(0).OwnsSourceStream = true;
  a.ItemRef(1).SourceStream = foreign;
  std::weak_ptr<TZAStream> ownedAlive = owned;
  owned.reset();

  a.RemoveItem(0);
  EXPECT_TRUE(ownedAlive.expired());  // the owned stream went with its entry
  ASSERT_EQ(a.GetCount(), 2);
  EXPECT_EQ(a.ItemRef(0).Name, "item1");
  EXPECT_EQ(a.ItemRef(1).Name, "item2");
  EXPECT_EQ(a.ItemRef(1).ExtraFields.at(0).Tag, 2);

  a.RemoveItem(0);
  EXPECT_EQ(foreign->Size(), 3);  // someone else's stream stays usable
  EXPECT_EQ(a.ItemRef(0).Name, "item2");
  a.RemoveItem(0);
  EXPECT_EQ(a.GetCount(), 0);
}

TEST(TZADirArray, ClearSelectionAndClear) {
  TZADirArray a;
  a.SetCount(2);
  a.ItemRef(0).Selected = true;
  a.ItemRef(1).Selected = true;
  a.ItemRef(1).Name = "x";
  a.ClearSelection();
  EXPECT_FALSE(a.ItemRef(0).Selected);
  EXPECT_FALSE(a.ItemRef(1).Selected);
  a.ItemRef(1).ExtraFields.push_back(Field(1, {}));
  a.Clear();
  EXPECT_EQ(a.GetCount(), 0);
  EXPECT_EQ(a.Capacity(), 1000);
  a.SetCount(2);
  EXPECT_EQ(a.ItemRef(1).Name, "x");  // strings stay, extra fields go
  EXPECT_TRUE(a.ItemRef(1).ExtraFields.empty());
}

TEST(TDirItem, CentralHeaderRoundTripAndShortInput) {
  std::vector<std::uint8_t> bytes(46);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i + 1);
  TDirItem d;
  ASSERT_TRUE(d.LoadCentralHeader(bytes));
  EXPECT_EQ(d.Signature, 0x04030201u);
  EXPECT_EQ(d.LocalHeaderOffset, 0x2E2D2C2Bu);
  auto stored = d.StoreCentralHeader();
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), bytes.begin()));
  TDirItem e;
  EXPECT_FALSE(e.LoadCentralHeader(std::span<const std::uint8_t>(bytes).first(45)));
  EXPECT_EQ(e.Signature, 0u);

  d.CompressedSize = 0xFFFFFFFFu;
  d.CompressedSize64 = 5'000'000'000ULL;
  d.DiskNumberStart = 0xFFFF;
  d.DiskNumberStart64 = 70000;
  EXPECT_EQ(d.GetCompressedSize(), 5'000'000'000ULL);
  EXPECT_EQ(d.GetDiskNumberStart(), 70000u);
  d.UncompressedSize = 7;
  d.UncompressedSize64 = 99;
  EXPECT_EQ(d.GetUncompressedSize(), 7u);  // the 32-bit field holds the value
}

TEST(ExtraFields, ParsingNeverReadsPastTheArea) {
  struct Case {
    std::vector<std::uint8_t> Area;
    std::size_t Blocks;
    bool Ok;
  };
  const Case cases[] = {
      {{}, 0, true},
      {{0x01, 0x00, 0x02, 0x00, 0xAA, 0xBB}, 1, true},
      {{0x01, 0x00, 0x02, 0x00, 0xAA, 0xBB, 0x0A, 0x00, 0x00, 0x00}, 2, true},  // empty block
      {{0x01, 0x00, 0x08, 0x00, 0xAA}, 0, false},                  // size runs past the end
      {{0x01, 0x00, 0x01, 0x00, 0xAA, 0x07}, 1, false},            // a stray byte after a block
      {{0x01}, 0, false},
      {{0x01, 0x00, 0xFF, 0xFF}, 0, false},
  };
  for (const Case& c : cases) {
    bool ok = !c.Ok;
    auto blocks = ParseExtraFields(c.Area, &ok);
    EXPECT_EQ(blocks.size(), c.Blocks);
    EXPECT_EQ(ok, c.Ok);
  }
  auto blocks = ParseExtraFields(std::vector<std::uint8_t>{0x01, 0x00, 0x0C, 0x00, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0});
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].ReadU64(0), 1u);
  EXPECT_EQ(blocks[0].ReadU32(8), 2u);
  EXPECT_EQ(blocks[0].ReadU64(8), std::nullopt);  // only four bytes are left
  EXPECT_EQ(blocks[0].ReadU16(11), std::nullopt);
  EXPECT_EQ(blocks[0].ReadU16(1000), std::nullopt);
  EXPECT_EQ(blocks[0].ReadU32(SIZE_MAX - 1), std::nullopt);
  EXPECT_EQ(SerializeExtraFields(blocks),
            (std::vector<std::uint8_t>{0x01, 0x00, 0x0C, 0x00, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0}));
}

TEST(ExtraFields, RandomAreasStayInsideTheirBounds) {
  // Whatever the bytes, the blocks found add up to no more than the area, and reading any
  // offset of a block is answered without leaving its data.
  std::mt19937 rng(1234);
  for (int round = 0; round < 20000; ++round) {
    std::vector<std::uint8_t> area(rng() % 40);
    for (auto& b : area) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() % 8 : rng());
    bool ok = false;
    auto blocks = ParseExtraFields(area, &ok);
    std::size_t used = 0;
    for (const TExtraField& f : blocks) {
      EXPECT_EQ(f.Data.size(), f.Size);
      used += 4 + f.Size;
      for (std::size_t at = 0; at < 12; ++at) {
        EXPECT_EQ(f.ReadU16(at).has_value(), at + 2 <= f.Data.size());
        EXPECT_EQ(f.ReadU64(at).has_value(), at + 8 <= f.Data.size());
      }
    }
    ASSERT_LE(used, area.size());
    EXPECT_EQ(ok, used == area.size());
  }
}

}  // namespace
}  // namespace zip
