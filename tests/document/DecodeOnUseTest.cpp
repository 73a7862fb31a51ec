// A loaded document decodes a block's attributes when they are first used.
// Nothing about that may show: not in the values, not in a save, not when
// memory runs out halfway through a block.
#include "DocumentPool.h"
#include "DocumentReader.h"
#include "VirtualDocument.h"

#include "TempFolder.h"
#include "TvdBytes.h"
#include "Var.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>
#include <new>

namespace {

// Three blocks of mixed values, one name and one text holding a zero.
Bytes ThreeBlocks() {
  TvdBytes image;
  image.Magic("Tavorin Virtual Document x.xx").U32(2).U32(3);
  for (int b = 0; b < 3; ++b) {
    image.Wide(u"Block" + std::u16string(1, u'A' + b)).U32(40);
    for (int a = 0; a < 40; ++a) {
      image.Wide(u"Attribute" + std::u16string(a % 26 + 1, u'a' + a % 26));
      if (a % 3 == 0)
        image.U16(3).U32(a * 1000 + b);
      else if (a % 3 == 1)
        image.U16(5).F64(a / 7.0);
      else
        image.U16(8).Wide(a == 5 ? std::u16string(u"cut\0here", 8)
                                 : u"text " + std::u16string(a, u'x'));
    }
  }
  return image.bytes();
}

class DecodeOnUse : public ::testing::Test {
 protected:
  void TearDown() override { DocumentPool::SetLimitForTesting(SIZE_MAX); }

  // The file the document saves to, after a save.
  Bytes SaveCopy(VirtualDocument& doc) {
    doc.SetPath(Wide(m_scratch.Path("saved.tvd")).c_str());
    EXPECT_EQ(doc.Save(), DocStatus::Ok);
    return ReadFile(m_scratch.Path("saved.tvd"));
  }

  TempFolder m_scratch;
};

TEST_F(DecodeOnUse, UntouchedAndTouchedBlocksSaveAlike) {
  const Bytes file = ThreeBlocks();
  VirtualDocument whole, touched;
  ASSERT_EQ(whole.Read(file.data(), file.size()), DocStatus::Ok);
  for (const auto& block : whole.blocks()) EXPECT_EQ(block.attribs().size(), 40u);
  ASSERT_EQ(touched.Read(file.data(), file.size()), DocStatus::Ok);
  Var out;
  // Only the middle block; its text with a zero in it is cut there, as
  // every stored string is.
  touched.GetValue(OLESTR("BlockB"), OLESTR("Attributeffffff"), &out);
  EXPECT_EQ(Utf8(out), "cut");
  EXPECT_EQ(SysStringLen(out.bstrVal), 3u);

  EXPECT_EQ(SaveCopy(touched), SaveCopy(whole));
}

TEST_F(DecodeOnUse, RunningOutOfMemoryLosesNothing) {
  const Bytes file = ThreeBlocks();
  VirtualDocument reference;
  ASSERT_EQ(reference.Read(file.data(), file.size()), DocStatus::Ok);
  const Bytes expected = SaveCopy(reference);

  VirtualDocument doc;
  ASSERT_EQ(doc.Read(file.data(), file.size()), DocStatus::Ok);
  DocumentPool::SetLimitForTesting(0);  // no chunk beyond those taken
  Var out;
  Var value;
  Var::I4(value, 7);
  const OLECHAR* failed = nullptr;
  // Some of these fit in the chunk already taken; one of them must not.
  for (const OLECHAR* block : {OLESTR("BlockA"), OLESTR("BlockB"), OLESTR("BlockC")}) {
    try {
      doc.GetValue(block, OLESTR("Attributea"), &out);
    } catch (const std::bad_alloc&) {
      if (!failed) failed = block;
    }
  }
  ASSERT_TRUE(failed);
  // A change to that block fails the same way, before anything is added.
  EXPECT_THROW(doc.SetValue(failed, OLESTR("Attributea"), &value), std::bad_alloc);
  EXPECT_THROW(doc.SetValue(failed, OLESTR("New"), &value), std::bad_alloc);
  DocumentPool::SetLimitForTesting(SIZE_MAX);

  EXPECT_EQ(SaveCopy(doc), expected);
  doc.GetValue(OLESTR("BlockC"), OLESTR("Attributea"), &out);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 2);
}

// One attribute as text, for comparing walks.
std::string Describe(const VirtualDocument::Block::Attrib& a) {
  const VARIANT& v = a.value();
  std::string value = v.vt == VT_BSTR ? Utf8(v)
                      : v.vt == VT_I4 ? std::to_string(v.lVal)
                                      : std::to_string(v.dblVal);
  return Utf8(a.name) + " " + std::to_string(v.vt) + " " + value;
}

TEST_F(DecodeOnUse, AWalkSeesWhatDecodingGives) {
  Bytes file = ThreeBlocks();
  // A fourth block whose text is larger than a chunk.
  TvdBytes big;
  big.Wide(u"BlockD").U32(2).Wide(u"long").U16(8).Wide(std::u16string(20000, u'l'));
  big.Wide(u"after").U16(3).U32(5);
  file[34] = 4;
  file.insert(file.end(), big.bytes().begin(), big.bytes().end());
  VirtualDocument walked, decoded;
  ASSERT_EQ(walked.Read(file.data(), file.size()), DocStatus::Ok);
  ASSERT_EQ(decoded.Read(file.data(), file.size()), DocStatus::Ok);
  // The second block is decoded before the walk, the others are not.
  EXPECT_EQ(DocumentReader::AttribCount(*std::next(walked.blocks().begin())), 40u);
  std::next(walked.blocks().begin())->attribs();
  auto w = walked.blocks().begin();
  for (const auto& block : decoded.blocks()) {
    std::vector<std::string> seen, expected;
    DocumentReader::ForEachAttrib(
        *w, [&](const VirtualDocument::Block::Attrib& a) { seen.push_back(Describe(a)); });
    for (const auto& a : block.attribs()) expected.push_back(Describe(a));
    EXPECT_EQ(seen, expected) << Utf8(block.name);
    EXPECT_EQ(DocumentReader::AttribCount(*w), expected.size());
    ++w;
  }
  EXPECT_EQ(SaveCopy(walked), SaveCopy(decoded));
}

// A block too large for the memory left, and a small one that fits in it.
TEST_F(DecodeOnUse, AFailedDecodeGivesBackWhatItTook) {
  TvdBytes image;
  image.Magic("Tavorin Virtual Document x.xx").U32(2).U32(2);
  image.Wide(u"Big").U32(50);
  for (int a = 0; a < 50; ++a)
    image.Wide(u"name" + std::u16string(6, u'a' + a % 26)).U16(8).Wide(std::u16string(20, u'x'));
  image.Wide(u"Small").U32(1).Wide(u"n").U16(3).U32(7);
  const Bytes file = image.bytes();
  VirtualDocument doc;
  ASSERT_EQ(doc.Read(file.data(), file.size()), DocStatus::Ok);
  DocumentPool::SetLimitForTesting(0);  // no chunk beyond those taken
  Var out;
  // Each retry fails the same way and takes nothing for good: what is left
  // of the chunk still holds the small block.
  for (int retry = 0; retry < 5; ++retry)
    EXPECT_THROW(doc.GetValue(OLESTR("Big"), OLESTR("nameaaaaaa"), &out), std::bad_alloc);
  doc.GetValue(OLESTR("Small"), OLESTR("n"), &out);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 7);
  DocumentPool::SetLimitForTesting(SIZE_MAX);
  doc.GetValue(OLESTR("Big"), OLESTR("namexxxxxx"), &out);
  EXPECT_EQ(Utf8(out), std::string(20, 'x'));
}

TEST_F(DecodeOnUse, RewindFreesTheChunksTakenSinceTheMark) {
  DocumentPool pool;
  pool.Allocate(100, 1);
  const DocumentPool::Mark mark = pool.Where();
  const size_t before = pool.taken();
  void* first = pool.Allocate(16, 8);
  pool.Allocate(3 * 1024 * 1024, 1);  // a chunk of its own
  pool.Allocate(20000, 1);            // a new regular chunk
  EXPECT_GT(pool.taken(), before);
  pool.Rewind(mark);
  EXPECT_EQ(pool.taken(), before);
  EXPECT_EQ(pool.Allocate(16, 8), first);
}

TEST_F(DecodeOnUse, PooledNamesAreCutAtZeroAndTerminated) {
  DocumentPool pool;
  const OLECHAR text[] = {'a', 'b', 0, 'c'};
  const PooledString cut = pool.Copy(text, 4);
  EXPECT_EQ(cut.size(), 2u);
  EXPECT_EQ(cut.c_str()[2], 0);
  const PooledString empty = pool.Copy(text, 0);
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(empty.c_str()[0], 0);
  // A large piece gets a chunk of its own, and what follows still fits.
  void* large = pool.Allocate(3 * 1024 * 1024, 1);
  std::memset(large, 0xAB, 3 * 1024 * 1024);
  BSTR t = pool.StartText(3);
  std::memcpy(t, OLESTR("xyz"), 3 * sizeof(OLECHAR));
  DocumentPool::FinishText(t, 3);
  EXPECT_EQ(SysStringLen(t), 3u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(t) % alignof(uint32_t), 0u);
  Var copy;
  copy.vt = VT_BSTR;
  copy.bstrVal = SysAllocStringLen(t, SysStringLen(t));  // reads it as any BSTR
  EXPECT_EQ(Utf8(copy), "xyz");
}

TEST_F(DecodeOnUse, EmptyBytesAreAnEmptyDocument) {
  VirtualDocument doc;
  EXPECT_EQ(doc.Read(nullptr, 0), DocStatus::Ok);
  EXPECT_TRUE(doc.blocks().empty());
}

}  // namespace
