// Reading all three header generations and writing the newest, on real files.
#include "ByteWriter.h"
#include "DocumentWriter.h"
#include "VirtualDocument.h"

#include "TempFolder.h"
#include "TvdBytes.h"
#include "Var.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

const char kOldest[] = "Mirelda Virtual Document 1.00";
const char kFour[] = "Tavorin Virtual Document 4.00";
const char kNewest[] = "Tavorin Virtual Document x.xx";

class FileFormat : public ::testing::Test {
 protected:
  DocStatus LoadBytes(const Bytes& bytes) {
    WriteFile(m_file, bytes);
    return m_doc.Load(Wide(m_file).c_str());
  }
  Bytes SaveBytes() {
    EXPECT_EQ(m_doc.Save(), DocStatus::Ok);
    return ReadFile(m_file);
  }
  std::string Text(const OLECHAR* block, const OLECHAR* attrib) {
    Var v;
    m_doc.GetValue(block, attrib, &v);
    return Utf8(v);
  }
  size_t AttributeCount() const {
    size_t n = 0;
    for (const auto& b : m_doc.blocks()) n += b.attribs().size();
    return n;
  }

  TempFolder m_scratch;
  std::filesystem::path m_file = m_scratch.Path("doc.tvd");
  VirtualDocument m_doc;
};

// The card of the worked example: 'Card' with Number 42 and Title 'Pump'.
Bytes CardFile() {
  return TvdBytes()
      .Magic(kNewest)
      .U32(2)
      .U32(1)
      .Wide(u"Card")
      .U32(2)
      .Wide(u"Number")
      .U16(3)
      .U32(42)
      .Wide(u"Title")
      .U16(8)
      .Wide(u"Pump")
      .bytes();
}

TEST_F(FileFormat, EmptyDocumentSavesAs38Bytes) {
  m_doc.SetPath(Wide(m_file).c_str());
  const Bytes bytes = SaveBytes();
  EXPECT_EQ(bytes, TvdBytes().Magic(kNewest).U32(2).U32(0).bytes());
  EXPECT_EQ(bytes.size(), 38u);
}

TEST_F(FileFormat, CardSavesAsTheDocumented104Bytes) {
  m_doc.SetPath(Wide(m_file).c_str());
  Var v;
  Var::I4(v, 42);
  m_doc.SetValue(OLESTR("Card"), OLESTR("Number"), &v);
  Var::Text(v, OLESTR("Pump"));
  m_doc.SetValue(OLESTR("Card"), OLESTR("Title"), &v);
  const Bytes bytes = SaveBytes();
  EXPECT_EQ(bytes.size(), 104u);
  EXPECT_EQ(bytes, CardFile());
}

TEST_F(FileFormat, NewestGenerationRoundTripsEveryType) {
  ASSERT_EQ(LoadBytes(TvdBytes()
                          .Magic(kNewest)
                          .U32(2)
                          .U32(1)
                          .Wide(u"B")
                          .U32(4)
                          .Wide(u"i")
                          .U16(3)
                          .U32(0x80000000u)
                          .Wide(u"r")
                          .U16(5)
                          .F64(-0.0)
                          .Wide(u"d")
                          .U16(7)
                          .F64(45000.25)
                          .Wide(u"t")
                          .U16(8)
                          .Wide(u"\u0416\U0001F600")
                          .bytes()),
            DocStatus::Ok);
  EXPECT_EQ(m_doc.formatVersion(), 2);
  const auto& a = m_doc.blocks().front().attribs();
  auto it = a.begin();
  EXPECT_EQ(it->value().vt, VT_I4);
  EXPECT_EQ(it->value().lVal, INT32_MIN);
  ++it;
  EXPECT_EQ(it->value().vt, VT_R8);
  EXPECT_TRUE(std::signbit(it->value().dblVal));
  ++it;
  EXPECT_EQ(it->value().vt, VT_DATE);
  EXPECT_EQ(it->value().date, 45000.25);
  EXPECT_EQ(Text(OLESTR("B"), OLESTR("t")), "\u0416\U0001F600");
  const Bytes original = ReadFile(m_file);
  EXPECT_EQ(SaveBytes(), original);
}

// Doubles are copied as bits: a signalling NaN must not come back quiet, as
// it would after a trip through an x87 register.
TEST_F(FileFormat, DoublesKeepEveryBitIncludingNaNPayloads) {
  Bytes bytes = TvdBytes()
                    .Magic(kNewest)
                    .U32(2)
                    .U32(1)
                    .Wide(u"B")
                    .U32(2)
                    .Wide(u"r")
                    .U16(5)
                    .F64(0)
                    .Wide(u"d")
                    .U16(7)
                    .F64(0)
                    .bytes();
  const uint8_t snan[8] = {0x23, 0x01, 0, 0, 0, 0, 0xF0, 0x7F};  // 7FF0000000000123
  const uint8_t negSnan[8] = {0x01, 0, 0, 0, 0, 0, 0xF4, 0xFF};  // FFF4000000000001
  std::memcpy(&bytes[38 + 6 + 4 + 6 + 2], snan, 8);
  std::memcpy(&bytes[bytes.size() - 8], negSnan, 8);
  ASSERT_EQ(LoadBytes(bytes), DocStatus::Ok);
  EXPECT_EQ(SaveBytes(), bytes);
}

TEST_F(FileFormat, OldestGenerationsHoldUntaggedAnsiText) {
  for (const char* magic : {kOldest, kFour}) {
    SCOPED_TRACE(magic);
    ASSERT_EQ(LoadBytes(TvdBytes()
                            .Magic(magic)
                            .U32(1)
                            .Narrow("Card")
                            .U32(1)
                            .Narrow("Title")
                            .Narrow("Caf\xE9 \x80")
                            .bytes()),
              DocStatus::Ok);
    EXPECT_EQ(m_doc.formatVersion(), 0);
    EXPECT_EQ(Text(OLESTR("Card"), OLESTR("Title")), "Caf\u00E9 \u20AC");
    // Saving converts to the newest generation with tag 8.
    EXPECT_EQ(SaveBytes(), TvdBytes()
                               .Magic(kNewest)
                               .U32(2)
                               .U32(1)
                               .Wide(u"Card")
                               .U32(1)
                               .Wide(u"Title")
                               .U16(8)
                               .Wide(u"Caf\u00E9 \u20AC")
                               .bytes());
  }
}

TEST_F(FileFormat, VersionOneHasTaggedValuesAndAnsiStrings) {
  ASSERT_EQ(LoadBytes(TvdBytes()
                          .Magic(kNewest)
                          .U32(1)
                          .U32(1)
                          .Narrow("B")
                          .U32(2)
                          .Narrow("n")
                          .U16(3)
                          .U32(7)
                          .Narrow("t")
                          .U16(8)
                          .Narrow("\xFC")
                          .bytes()),
            DocStatus::Ok);
  EXPECT_EQ(m_doc.formatVersion(), 1);
  Var v;
  m_doc.GetValue(OLESTR("B"), OLESTR("n"), &v);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 7);
  EXPECT_EQ(Text(OLESTR("B"), OLESTR("t")), "\u00FC");
}

TEST_F(FileFormat, UnknownTagsAndFlagBitsReadAsText) {
  ASSERT_EQ(LoadBytes(TvdBytes()
                          .Magic(kNewest)
                          .U32(2)
                          .U32(1)
                          .Wide(u"B")
                          .U32(2)
                          .Wide(u"bool")
                          .U16(11)
                          .Wide(u"True")
                          .Wide(u"byref")
                          .U16(0x4003)
                          .Wide(u"42")
                          .bytes()),
            DocStatus::Ok);
  EXPECT_EQ(Text(OLESTR("B"), OLESTR("bool")), "True");
  EXPECT_EQ(Text(OLESTR("B"), OLESTR("byref")), "42");
}

TEST_F(FileFormat, StringsStopAtTheirFirstZeroButConsumeTheirLength) {
  ASSERT_EQ(LoadBytes(TvdBytes()
                          .Magic(kNewest)
                          .U32(2)
                          .U32(1)
                          .Wide(std::u16string(u"Ca\0rd", 5))
                          .U32(1)
                          .Wide(u"t")
                          .U16(8)
                          .Wide(std::u16string(u"a\0b", 3))
                          .bytes()),
            DocStatus::Ok);
  EXPECT_EQ(Utf8(m_doc.blocks().front().name), "Ca");
  EXPECT_EQ(Text(OLESTR("Ca"), OLESTR("t")), "a");
  Var v;
  m_doc.GetValue(OLESTR("Ca"), OLESTR("t"), &v);
  EXPECT_EQ(SysStringLen(v.bstrVal), 1u);
}

TEST_F(FileFormat, EmptyStringsStayNonNullText) {
  ASSERT_EQ(
      LoadBytes(
          TvdBytes().Magic(kNewest).U32(2).U32(1).Wide(u"").U32(1).Wide(u"").U16(8).U32(0).bytes()),
      DocStatus::Ok);
  Var v;
  m_doc.GetValue(OLESTR(""), OLESTR(""), &v);
  ASSERT_EQ(v.vt, VT_BSTR);
  EXPECT_NE(v.bstrVal, nullptr);
  EXPECT_EQ(SysStringLen(v.bstrVal), 0u);
}

TEST_F(FileFormat, DuplicateNamesAllSurviveARoundTrip) {
  const Bytes bytes = TvdBytes()
                          .Magic(kNewest)
                          .U32(2)
                          .U32(2)
                          .Wide(u"B")
                          .U32(2)
                          .Wide(u"T")
                          .U16(3)
                          .U32(1)
                          .Wide(u"T")
                          .U16(3)
                          .U32(2)
                          .Wide(u"B")
                          .U32(0)
                          .bytes();
  ASSERT_EQ(LoadBytes(bytes), DocStatus::Ok);
  EXPECT_EQ(m_doc.blocks().size(), 2u);
  EXPECT_EQ(SaveBytes(), bytes);
}

TEST_F(FileFormat, ZeroFileIsAnEmptyDocument) {
  EXPECT_EQ(LoadBytes({}), DocStatus::Ok);
  EXPECT_TRUE(m_doc.blocks().empty());
  EXPECT_EQ(Utf8(m_doc.path()), Utf8(Wide(m_file)));
}

TEST_F(FileFormat, BlockCountZeroIgnoresTrailingBytes) {
  EXPECT_EQ(LoadBytes(TvdBytes().Magic(kNewest).U32(2).U32(0).Raw({1, 2, 3}).bytes()),
            DocStatus::Ok);
  EXPECT_TRUE(m_doc.blocks().empty());
}

TEST_F(FileFormat, HeadersThatDoNotMatchExactly) {
  Bytes noZero = TvdBytes().Magic(kNewest).U32(2).U32(0).bytes();
  noZero[29] = ' ';
  Bytes lowerCase = TvdBytes().Magic("tavorin Virtual Document x.xx").U32(2).U32(0).bytes();
  for (const Bytes& bytes : {noZero, lowerCase, Bytes(29, 'T'), Bytes{0}}) {
    EXPECT_EQ(LoadBytes(bytes), DocStatus::BadFormat);
    EXPECT_EQ(m_doc.faultOffset(), 0u);
  }
  for (uint32_t version : {0u, 3u, 0xFFFFFFFFu}) {
    EXPECT_EQ(LoadBytes(TvdBytes().Magic(kNewest).U32(version).U32(0).bytes()),
              DocStatus::BadFormat);
    EXPECT_EQ(m_doc.faultOffset(), 30u);
  }
  EXPECT_EQ(LoadBytes(TvdBytes().Magic(kNewest).U16(2).bytes()), DocStatus::BadFormat);
}

// Every proper prefix of a real file fails cleanly, keeping exactly the
// blocks that were complete before the cut.
TEST_F(FileFormat, EveryTruncationIsBadFormatWithCompleteBlocksKept) {
  const Bytes full = TvdBytes()
                         .Magic(kNewest)
                         .U32(2)
                         .U32(3)
                         .Wide(u"One")
                         .U32(1)
                         .Wide(u"a")
                         .U16(3)
                         .U32(1)
                         .Wide(u"Two")
                         .U32(1)
                         .Wide(u"b")
                         .U16(5)
                         .F64(2.5)
                         .Wide(u"Three")
                         .U32(2)
                         .Wide(u"c")
                         .U16(7)
                         .F64(1)
                         .Wide(u"d")
                         .U16(8)
                         .Wide(u"text")
                         .bytes();
  const size_t endOfOne = 38 + 10 + 4 + 6 + 6;
  const size_t endOfTwo = endOfOne + 10 + 4 + 6 + 10;
  for (size_t cut = 1; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    ASSERT_EQ(LoadBytes(Bytes(full.begin(), full.begin() + cut)), DocStatus::BadFormat);
    const size_t expected = cut >= endOfTwo ? 2 : cut >= endOfOne ? 1 : 0;
    EXPECT_EQ(m_doc.blocks().size(), expected);
    EXPECT_LE(m_doc.faultOffset(), cut);
  }
  EXPECT_EQ(LoadBytes(full), DocStatus::Ok);
  EXPECT_EQ(AttributeCount(), 4u);
}

TEST_F(FileFormat, HugeLengthsAndCountsFailWithoutAllocating) {
  const auto header = TvdBytes().Magic(kNewest).U32(2);
  for (uint32_t length : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 5u}) {
    SCOPED_TRACE(length);
    EXPECT_EQ(LoadBytes(TvdBytes(header).U32(1).U32(length).Raw({'a', 0, 'b', 0}).bytes()),
              DocStatus::BadFormat);
    EXPECT_EQ(m_doc.faultOffset(), 42u);  // where the characters would start
    EXPECT_EQ(
        LoadBytes(TvdBytes(header).U32(1).Wide(u"B").U32(1).Wide(u"a").U16(8).U32(length).bytes()),
        DocStatus::BadFormat);
  }
  EXPECT_EQ(LoadBytes(TvdBytes(header).U32(0xFFFFFFFFu).Wide(u"B").U32(0xFFFFFFFFu).bytes()),
            DocStatus::BadFormat);
  EXPECT_EQ(m_doc.blocks().size(), 0u);
  EXPECT_EQ(LoadBytes(TvdBytes().Magic(kOldest).U32(1).U32(0xFFFFFFFFu).bytes()),
            DocStatus::BadFormat);
}

TEST_F(FileFormat, LoadingAgainStartsFromAnEmptyDocument) {
  ASSERT_EQ(LoadBytes(CardFile()), DocStatus::Ok);
  ASSERT_EQ(LoadBytes(TvdBytes().Magic(kNewest).U32(2).U32(0).bytes()), DocStatus::Ok);
  EXPECT_TRUE(m_doc.blocks().empty());
}

TEST_F(FileFormat, LoadFailsToOpenMissingFilesFoldersAndNullPaths) {
  const WString missing = Wide(m_scratch.Path("missing.tvd"));
  EXPECT_EQ(m_doc.Load(missing.c_str()), DocStatus::CannotOpen);
  EXPECT_EQ(m_doc.path(), missing);  // kept even so
  EXPECT_EQ(m_doc.Load(Wide(m_scratch.Path("")).c_str()), DocStatus::CannotOpen);
  EXPECT_EQ(m_doc.Load(nullptr), DocStatus::CannotOpen);
  EXPECT_EQ(m_doc.Save(), DocStatus::CannotOpen);  // no path to write to
}

// Values without a stored type go out as their text form, tag 8.
TEST_F(FileFormat, OtherTypesAreStoredAsText) {
  m_doc.SetPath(Wide(m_file).c_str());
  Var v;
  v.vt = VT_I2;
  v.iVal = -5;
  m_doc.SetValue(OLESTR("B"), OLESTR("i2"), &v);
  VariantClear(&v);
  v.vt = VT_BOOL;
  v.boolVal = VARIANT_TRUE;
  m_doc.SetValue(OLESTR("B"), OLESTR("bool"), &v);
  VariantClear(&v);
  m_doc.SetValue(OLESTR("B"), OLESTR("empty"), &v);
  v.vt = VT_BSTR;
  v.bstrVal = nullptr;
  m_doc.SetValue(OLESTR("B"), OLESTR("null"), &v);
  v.vt = VT_EMPTY;
  EXPECT_EQ(SaveBytes(), TvdBytes()
                             .Magic(kNewest)
                             .U32(2)
                             .U32(1)
                             .Wide(u"B")
                             .U32(4)
                             .Wide(u"i2")
                             .U16(8)
                             .Wide(u"-5")
                             .Wide(u"bool")
                             .U16(8)
                             .Wide(u"-1")
                             .Wide(u"empty")
                             .U16(8)
                             .U32(0)
                             .Wide(u"null")
                             .U16(8)
                             .U32(0)
                             .bytes());
  ASSERT_EQ(m_doc.Load(Wide(m_file).c_str()), DocStatus::Ok);
  Var back;
  m_doc.GetValue(OLESTR("B"), OLESTR("empty"), &back);
  EXPECT_EQ(back.vt, VT_BSTR);
}

// A save measures the document first and lays it out into exactly that much
// memory, whatever the values: decoded from a file or not, texts with a zero
// in them or none at all, and values that go out as their text form.
TEST_F(FileFormat, TheLayoutFillsExactlyTheRoomMeasuredForIt) {
  ASSERT_EQ(LoadBytes(CardFile()), DocStatus::Ok);
  Var v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(OLESTR("cut\0here"), 8);
  m_doc.SetValue(OLESTR("More"), OLESTR("zero inside"), &v);
  VariantClear(&v);
  v.vt = VT_BSTR;
  v.bstrVal = nullptr;
  m_doc.SetValue(OLESTR("More"), OLESTR("null"), &v);
  v.vt = VT_BOOL;
  v.boolVal = VARIANT_FALSE;
  m_doc.SetValue(OLESTR("More"), OLESTR("bool"), &v);
  Var::R8(v, 0.25);
  m_doc.SetValue(OLESTR("More"), OLESTR("r8"), &v);
  m_doc.AppendBlock(OLESTR("Empty"));
  for (bool cardDecoded : {false, true}) {
    if (cardDecoded) m_doc.blocks().front().attribs();
    ByteWriter out;
    ASSERT_EQ(DocumentWriter::WriteBody(m_doc, out), DocStatus::Ok);
    EXPECT_EQ(out.size(), out.capacity());
    VirtualDocument back;
    ASSERT_EQ(back.Read(out.data(), out.size()), DocStatus::Ok);
    Var text;
    back.GetValue(OLESTR("More"), OLESTR("zero inside"), &text);
    EXPECT_EQ(Utf8(text), "cut");
    back.GetValue(OLESTR("More"), OLESTR("bool"), &text);
    EXPECT_EQ(Utf8(text), "0");
    EXPECT_EQ(back.blocks().size(), 3u);
  }
}

// Beyond the room reserved, the buffer grows and keeps what it holds.
TEST(ByteWriter, GrowsPastWhatWasReserved) {
  ByteWriter out;
  out.Reserve(3);
  out.WriteU16LE(0x0201);
  for (uint32_t i = 0; i < 1000; ++i) out.WriteU32LE(i);
  ASSERT_EQ(out.size(), 4002u);
  EXPECT_GE(out.capacity(), out.size());
  EXPECT_EQ(out.data()[0], 1);
  EXPECT_EQ(out.data()[1], 2);
  for (uint32_t i = 0; i < 1000; ++i) {
    uint32_t v;
    std::memcpy(&v, out.data() + 2 + 4 * i, 4);
    ASSERT_EQ(v, i);  // little-endian, as the format
  }
}

}  // namespace
