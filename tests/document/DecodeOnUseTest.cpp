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

// The letters of a name or text of n characters.
std::u16string Letters(size_t n) {
  std::u16string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char16_t>(u'A' + i % 58);
  return s;
}

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

  // The large block of file cannot be decoded while the pool may not
  // grow, however often it is tried, and the small one still can.
  static void FailAndRetry(const Bytes& file);

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

// The decoded attributes of a block take more memory than its records in the
// file, so the pool, which sizes its chunks by what it holds, has no room left
// for those of a block as large as the rest of the file.
Bytes WithLargeBlock(Bytes file, const std::u16string& name) {
  TvdBytes large;
  large.Wide(name).U32(2000);
  for (int a = 0; a < 2000; ++a) large.Wide(u"n" + std::u16string(1, u'a' + a % 26)).U16(3).U32(a);
  file[34] += 1;
  file.insert(file.end(), large.bytes().begin(), large.bytes().end());
  return file;
}

TEST_F(DecodeOnUse, RunningOutOfMemoryLosesNothing) {
  const Bytes file = WithLargeBlock(ThreeBlocks(), u"BlockD");
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
  for (const OLECHAR* block :
       {OLESTR("BlockA"), OLESTR("BlockB"), OLESTR("BlockC"), OLESTR("BlockD")}) {
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

// A block too large for the memory left, and a small one that fits in it;
// in both versions of the format that have types, the newest decoding in
// place and the other copying names and texts into the pool.
TEST_F(DecodeOnUse, AFailedDecodeGivesBackWhatItTook) {
  for (int version : {1, 2}) {
    SCOPED_TRACE(version);
    TvdBytes image;
    image.Magic("Tavorin Virtual Document x.xx").U32(version).U32(2);
    auto text = [&](const std::u16string& t) -> TvdBytes& {
      return version == 2 ? image.Wide(t) : image.Narrow(std::string(t.begin(), t.end()));
    };
    text(u"Big").U32(1001);
    for (int a = 0; a < 1000; ++a) text(u"n" + std::u16string(1, u'a' + a % 26)).U16(3).U32(a);
    text(u"namexxxxxx").U16(8);
    text(std::u16string(20, u'x'));
    text(u"Small").U32(1);
    text(u"n").U16(3).U32(7);
    FailAndRetry(image.bytes());
  }
}

void DecodeOnUse::FailAndRetry(const Bytes& file) {
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
  doc.GetValue(OLESTR("Big"), OLESTR("nc"), &out);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 2);
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

namespace {

// Where each field of a file starts, so that a cut can be told where it falls.
struct Field {
  size_t start;
  size_t end;
  size_t faultAt;  // where a read that breaks off inside it fails
  size_t wholeBlocks;
};

// Four blocks of every kind of attribute, the fields noted as they are laid
// out. The second block's records have the shapes of the first's, the
// third's names are of other lengths, and the fourth's are as long as the
// third's but of other types, so that a check that guesses a record's shape
// from the block before meets a guess that holds, one that fails at the
// name and one that fails at the tag. Each field notes how many blocks lie
// whole before it.
Bytes EveryField(int version, std::vector<Field>& fields) {
  TvdBytes image;
  image.Magic("Tavorin Virtual Document x.xx").U32(version).U32(4);
  size_t whole = 0;
  auto fixed = [&](size_t size, auto write) {
    const size_t start = image.bytes().size();
    write();
    fields.push_back({start, start + size, start, whole});
  };
  auto text = [&](const std::u16string& t) {
    fixed(4, [&] { image.U32(static_cast<uint32_t>(t.size())); });
    const size_t start = image.bytes().size();
    for (char16_t c : t) version == 2 ? image.U16(c) : image.Raw({static_cast<uint8_t>(c)});
    if (!t.empty()) fields.push_back({start, image.bytes().size(), start, whole});
  };
  struct Plan {
    std::u16string names[4];
    const char* types;  // Number, Real, teXt, Date
  };
  const Plan plans[] = {{{u"i", u"r", u"x", u"d"}, "NRXD"},
                        {{u"I", u"R", u"X", u"D"}, "NRXD"},
                        {{u"ii", u"rrr", u"", u"dddd"}, "NRXD"},
                        {{u"xx", u"iii", u"", u"rrrr"}, "XNDR"}};
  for (const Plan& plan : plans) {
    text(u"Block");
    fixed(4, [&] { image.U32(4); });
    for (int i = 0; i < 4; ++i) {
      text(plan.names[i]);
      switch (plan.types[i]) {
        case 'N':
          fixed(2, [&] { image.U16(3); });
          fixed(4, [&] { image.U32(42); });
          break;
        case 'R':
          fixed(2, [&] { image.U16(5); });
          fixed(8, [&] { image.F64(0.5); });
          break;
        case 'X':
          fixed(2, [&] { image.U16(8); });
          text(u"text");
          break;
        default: fixed(2, [&] { image.U16(7); }); fixed(8, [&] { image.F64(45000); });
      }
    }
    ++whole;
  }
  return image.bytes();
}

}  // namespace

// A file cut anywhere in a block fails at the field that breaks off: at the
// start of a number, a tag or a length, at the first character of a string;
// the blocks before it stay whole.
TEST_F(DecodeOnUse, ACutFailsAtTheFieldItBreaks) {
  for (int version : {1, 2}) {
    SCOPED_TRACE(version);
    std::vector<Field> fields;
    const Bytes full = EveryField(version, fields);
    for (const Field& field : fields) {
      for (size_t cut = field.start; cut < field.end; ++cut) {
        SCOPED_TRACE(cut);
        VirtualDocument doc;
        ASSERT_EQ(doc.Read(full.data(), cut), DocStatus::BadFormat);
        EXPECT_EQ(doc.faultOffset(), field.faultAt);
        ASSERT_EQ(doc.blocks().size(), field.wholeBlocks);
        for (const auto& block : doc.blocks()) EXPECT_EQ(block.attribs().size(), 4u);
      }
    }
    VirtualDocument doc;
    ASSERT_EQ(doc.Read(full.data(), full.size()), DocStatus::Ok);
    ASSERT_EQ(doc.blocks().size(), 4u);
    const auto& last = doc.blocks().back().attribs().back();
    EXPECT_EQ(std::u16string(last.name.begin(), last.name.end()), u"rrrr");
    std::vector<VARTYPE> types;
    for (const auto& a : doc.blocks().back().attribs()) types.push_back(a.value().vt);
    EXPECT_EQ(types, (std::vector<VARTYPE>{VT_BSTR, VT_I4, VT_DATE, VT_R8}));
  }
}

// Names and texts of every length up to a few characters, with and without a
// zero in them, so that they lie at every alignment the file gives: each
// decodes to the whole, terminated string, and each text to a BSTR that
// everything reading a BSTR reads.
// Names and texts short and long, around the 32 characters that are
// searched for a zero together and the sizes a short field moves in, with a
// zero inside, first or last.
TEST_F(DecodeOnUse, NamesAndTextsAreWholeWhereverTheyLie) {
  std::vector<std::u16string> strings;
  for (size_t n : {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65}) {
    const std::u16string s = Letters(n);
    strings.push_back(s);
    if (n > 1) strings.push_back(s.substr(0, n / 2) + u'\0' + s.substr(n / 2 + 1));
    if (n > 4) strings.push_back(s.substr(0, n - 1) + u'\0');
    if (n == 33 || n == 65) strings.push_back(u'\0' + s.substr(1));
  }
  TvdBytes image;
  image.Magic("Tavorin Virtual Document x.xx").U32(2).U32(1);
  image.Wide(u"Block").U32(static_cast<uint32_t>(strings.size() * strings.size()));
  for (const std::u16string& name : strings)
    for (const std::u16string& text : strings) image.Wide(name).U16(8).Wide(text);
  Bytes file = image.bytes();  // read borrowed: nothing lies after the last text
  VirtualDocument doc;
  ASSERT_EQ(doc.ReadBorrowed(file.data(), file.size()), DocStatus::Ok);
  auto upToZero = [](const std::u16string& s) {
    const std::u16string kept = s.substr(0, s.find(u'\0'));
    return Utf8(WString(kept.begin(), kept.end()));
  };
  auto a = doc.blocks().front().attribs().begin();
  for (const std::u16string& name : strings) {
    for (const std::u16string& text : strings) {
      SCOPED_TRACE(upToZero(name) + " " + upToZero(text));
      EXPECT_EQ(Utf8(a->name), upToZero(name));
      EXPECT_EQ(a->name.c_str()[a->name.size()], 0);
      const VARIANT& v = a->value();
      ASSERT_EQ(v.vt, VT_BSTR);
      EXPECT_EQ(Utf8(v), upToZero(text));
      EXPECT_EQ(SysStringLen(v.bstrVal),
                text.find(u'\0') == std::u16string::npos ? text.size() : text.find(u'\0'));
      EXPECT_EQ(v.bstrVal[SysStringLen(v.bstrVal)], 0);
      Var copy;
      ASSERT_EQ(VariantCopy(copy.put(), const_cast<VARIANT*>(&v)), S_OK);
      EXPECT_EQ(Utf8(copy), upToZero(text));
      ++a;
    }
  }
}

// A text decoded in place puts its zero over the start of the record after
// it, once that record's name length has been read, and the block's last
// record writes nothing past the block. Texts before every kind of record
// and at the end of blocks, decoded last block first, come out whole, and a
// block left stored between them saves as it was read.
TEST_F(DecodeOnUse, ATextsZeroStaysInItsBlock) {
  TvdBytes image;
  image.Magic("Tavorin Virtual Document x.xx").U32(2).U32(3);
  for (int b = 0; b < 3; ++b) {
    image.Wide(u"Block" + std::u16string(1, u'A' + b)).U32(9);
    for (uint16_t tag : {3, 5, 7, 8}) {
      image.Wide(u"before").U16(8).Wide(u"text before");
      image.Wide(u"after").U16(tag);
      if (tag == 3)
        image.U32(42);
      else if (tag == 8)
        image.Wide(u"text after");
      else
        image.F64(0.5);
    }
    image.Wide(u"last").U16(8).Wide(u"last text");
  }
  const Bytes pristine = image.bytes();
  Bytes file = pristine;  // read borrowed: nothing lies after the last text
  VirtualDocument doc;
  ASSERT_EQ(doc.ReadBorrowed(file.data(), file.size()), DocStatus::Ok);
  const auto& blocks = doc.blocks();
  for (auto block : {std::next(blocks.begin(), 2), blocks.begin()}) {
    SCOPED_TRACE(Utf8(block->name));
    std::vector<std::string> seen;
    for (const auto& a : block->attribs()) {
      EXPECT_EQ(a.name.c_str()[a.name.size()], 0);
      const VARIANT& v = a.value();
      std::string value = v.vt == VT_BSTR ? Utf8(v) : std::to_string(v.vt);
      if (v.vt == VT_BSTR) {
        EXPECT_EQ(v.bstrVal[SysStringLen(v.bstrVal)], 0);
      }
      seen.push_back(Utf8(a.name) + "=" + value);
    }
    const std::vector<std::string> expected = {
        "before=text before", "after=3", "before=text before", "after=5",
        "before=text before", "after=7", "before=text before", "after=text after",
        "last=last text"};
    EXPECT_EQ(seen, expected);
  }
  VirtualDocument reference;
  ASSERT_EQ(reference.Read(pristine.data(), pristine.size()), DocStatus::Ok);
  EXPECT_EQ(SaveCopy(doc), SaveCopy(reference));
}

// A name before a value of fixed size stays where it lies: names of every
// length up to two of the pieces it is searched in, with a zero at every
// place or none, before each kind of fixed value, in a file that ends with
// the last value (read borrowed, so that nothing lies after it). Each name
// is whole and terminated, and each value is what was stored, so nothing
// was read or written past its record.
TEST_F(DecodeOnUse, NamesBeforeFixedValuesAreWholeWhereverTheyLie) {
  std::vector<std::u16string> names;
  for (size_t n = 0; n <= 65; ++n) {
    const std::u16string s = Letters(n);
    names.push_back(s);
    for (size_t zero = 0; zero < n; ++zero)
      names.push_back(s.substr(0, zero) + u'\0' + s.substr(zero + 1));
  }
  const uint16_t tags[] = {3, 5, 7};
  TvdBytes image;
  image.Magic("Tavorin Virtual Document x.xx").U32(2).U32(1);
  image.Wide(u"Block").U32(static_cast<uint32_t>(names.size() * std::size(tags)));
  int32_t k = 0;
  for (const std::u16string& name : names) {
    for (uint16_t tag : tags) {
      image.Wide(name).U16(tag);
      if (tag == 3)
        image.U32(static_cast<uint32_t>(-1000 - k));
      else
        image.F64(k + 0.5);
      ++k;
    }
  }
  Bytes file = image.bytes();
  VirtualDocument doc;
  ASSERT_EQ(doc.ReadBorrowed(file.data(), file.size()), DocStatus::Ok);
  auto a = doc.blocks().front().attribs().begin();
  k = 0;
  for (const std::u16string& name : names) {
    const std::u16string kept = name.substr(0, name.find(u'\0'));
    for (uint16_t tag : tags) {
      SCOPED_TRACE(Utf8(WString(kept.begin(), kept.end())) + " " + std::to_string(tag));
      EXPECT_EQ(a->name, WString(kept.begin(), kept.end()));
      EXPECT_EQ(a->name.c_str()[a->name.size()], 0);
      const VARIANT& v = a->value();
      ASSERT_EQ(v.vt, tag);
      if (tag == 3)
        EXPECT_EQ(v.lVal, -1000 - k);
      else
        EXPECT_EQ(v.dblVal, k + 0.5);
      ++a;
      ++k;
    }
  }
  EXPECT_EQ(a, doc.blocks().front().attribs().end());
}

// A record that ends the file, read borrowed from bytes of exactly its size,
// so that a sanitizer build sees any read past them: names and texts of
// every length up to two of the pieces they are searched in, with a zero at
// every place or none. Near its end a block is searched from its last 64
// bytes, and a block shorter than that one character at a time.
TEST_F(DecodeOnUse, ALastRecordIsReadNoFurtherThanTheFile) {
  for (size_t n = 0; n <= 65; ++n) {
    for (size_t zero = 0; zero <= n; ++zero) {
      std::u16string s = Letters(n);
      if (zero < n) s[zero] = 0;
      const std::u16string kept = s.substr(0, zero);
      for (uint16_t tag : {3, 5, 8}) {
        SCOPED_TRACE(std::to_string(n) + " " + std::to_string(zero) + " " + std::to_string(tag));
        TvdBytes image;
        image.Magic("Tavorin Virtual Document x.xx").U32(2).U32(1).Wide(u"Block").U32(1);
        image.Wide(s).U16(tag);
        if (tag == 3)
          image.U32(7);
        else if (tag == 5)
          image.F64(0.5);
        else
          image.Wide(s);
        Bytes file = image.bytes();
        VirtualDocument doc;
        ASSERT_EQ(doc.ReadBorrowed(file.data(), file.size()), DocStatus::Ok);
        const auto& a = *doc.blocks().front().attribs().begin();
        EXPECT_EQ(a.name, WString(kept.begin(), kept.end()));
        ASSERT_EQ(a.value().vt, tag);
        if (tag == 8) {
          EXPECT_EQ(Utf8(a.value()), Utf8(WString(kept.begin(), kept.end())));
        }
      }
    }
  }
}

// Attributes added to a decoded block follow its own, in order, in runs of
// their own; none that was handed out ever moves or changes.
TEST_F(DecodeOnUse, AddedAttributesFollowTheDecodedOnesAndNeverMove) {
  const Bytes file = ThreeBlocks();
  VirtualDocument doc;
  ASSERT_EQ(doc.Read(file.data(), file.size()), DocStatus::Ok);
  VirtualDocument::Block& block = *doc.FindBlock(OLESTR("BlockA"));
  const VirtualDocument::Block::Attrib* first = block.FindAttrib(OLESTR("Attributea"));
  ASSERT_NE(first, nullptr);
  std::vector<const VirtualDocument::Block::Attrib*> added;
  for (int32_t i = 0; i < 3000; ++i) {
    const WString name = Wide("Added" + std::to_string(i));
    added.push_back(&block.AppendAttrib(name.c_str()));
    Var v;
    v.vt = VT_I4;
    v.lVal = i;
    block.AppendAttrib(name.c_str());  // a second of the same name, never found
    ASSERT_TRUE(doc.SetValue(OLESTR("BlockA"), name.c_str(), &v));
  }
  ASSERT_EQ(block.attribs().size(), 40u + 2 * 3000);
  EXPECT_EQ(&block.attribs().front(), first);
  EXPECT_EQ(Utf8(block.attribs().back().name), "Added2999");
  EXPECT_EQ(first->value().lVal, 0);
  auto a = block.attribs().begin();
  for (int i = 0; i < 40; ++i) ++a;
  for (int32_t i = 0; i < 3000; ++i) {
    ASSERT_EQ(&*a, added[i]);
    EXPECT_EQ(a->value().lVal, i);
    EXPECT_EQ(Utf8(a->name), "Added" + std::to_string(i));
    ++a;
    EXPECT_EQ(a->value().vt, VT_EMPTY);
    ++a;
  }
  EXPECT_EQ(a, block.attribs().end());
  EXPECT_EQ(block.FindAttrib(OLESTR("Added1234")), added[1234]);
}
