// Indexed lookup gives exactly the answers of a scan with the platform's
// comparison: on Windows (under Wine) the locale-aware one, which ignores
// soft hyphens and treats hyphens and apostrophes specially.
#include "ByteWriter.h"
#include "DocumentWriter.h"
#include "NameMatch.h"
#include "VirtualDocument.h"

#include "Var.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Names meant to trip a key that is finer or coarser than the comparison.
std::vector<WString> TrickyNames() {
  std::vector<WString> names = {
      OLESTR("coop"),
      OLESTR("co-op"),
      OLESTR("co'op"),
      OLESTR("CO-OP"),
      OLESTR("co--op"),
      OLESTR("-coop"),
      OLESTR("coop-"),
      OLESTR("it's"),
      OLESTR("its"),
      OLESTR("it\u2019s"),
      OLESTR("a\u00ADb"),
      OLESTR("ab"),
      OLESTR("a\u2010b"),
      OLESTR("a b"),
      OLESTR("ab "),
      OLESTR(""),
      OLESTR("-"),
      OLESTR("'"),
      OLESTR("\u00C9tat"),
      OLESTR("\u00E9TAT"),
      OLESTR("e\u0301tat"),
      OLESTR("etat"),
      OLESTR("\u0416\u03A3"),
      OLESTR("\u0436\u03C3"),
      OLESTR("\u0436\u03C2"),
      OLESTR("stra\u00DFe"),
      OLESTR("STRASSE"),
      OLESTR("\uFB01"),
      OLESTR("fi"),
      OLESTR("\u0131"),
      OLESTR("I"),
      OLESTR("\u0130"),
      OLESTR("\uFF21"),
      OLESTR("a"),
      OLESTR("\u00E6"),
      OLESTR("ae"),
      OLESTR("Part No"),
      OLESTR("PartNo"),
      OLESTR("Part-No"),
      OLESTR("part no"),
      OLESTR("\U0001F600"),
      OLESTR("\U0001F601"),
      OLESTR("1"),
      OLESTR("\u0661"),
  };
  const OLECHAR lone[] = {0xD800, 'x', 0};
  names.push_back(lone);
  // Short names over a small alphabet of the same kinds of characters.
  const OLECHAR alphabet[] = OLESTR("aAbB-'\u00E9\u00C9 \u2019\u00AD");
  const size_t letters = sizeof alphabet / sizeof alphabet[0] - 1;
  uint32_t seed = 12345;
  for (int i = 0; i < 400; ++i) {
    WString name;
    seed = seed * 1103515245 + 12345;
    for (uint32_t n = (seed >> 16) % 6; n > 0; --n) {
      seed = seed * 1103515245 + 12345;
      name += alphabet[(seed >> 16) % letters];
    }
    names.push_back(name);
  }
  return names;
}

TEST(NameKey, TwoNamesShareAKeyExactlyWhenTheComparisonCallsThemEqual) {
  const std::vector<WString> names = TrickyNames();
  std::vector<std::string> keys(names.size());
  for (size_t i = 0; i < names.size(); ++i) ASSERT_TRUE(NameKey(names[i].c_str(), keys[i]));
  int equalPairs = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    for (size_t j = 0; j < names.size(); ++j) {
      const bool equal = NamesEqual(names[i].c_str(), names[j].c_str());
      equalPairs += equal && i != j;
      ASSERT_EQ(keys[i] == keys[j], equal) << Utf8(names[i]) << " / " << Utf8(names[j]);
    }
  }
  EXPECT_GT(equalPairs, static_cast<int>(names.size()));  // the set really has look-alikes
}

class IndexedLookup : public ::testing::Test {
 protected:
  // What a plain scan in list order finds: the first attribute whose name
  // the comparison calls equal.
  static const VirtualDocument::Block::Attrib* Scan(const VirtualDocument::Block& block,
                                                    const OLECHAR* name) {
    for (const auto& a : block.attribs())
      if (NamesEqual(a.name.c_str(), name)) return &a;
    return nullptr;
  }
  void ExpectSameAsScan(VirtualDocument::Block& block, const std::vector<WString>& names) {
    for (const WString& name : names)
      ASSERT_EQ(block.FindAttrib(name.c_str()), Scan(block, name.c_str())) << Utf8(name);
  }
  VirtualDocument m_doc;
};

TEST_F(IndexedLookup, FindsWhatAScanFindsAndFollowsAppends) {
  const std::vector<WString> names = TrickyNames();
  VirtualDocument::Block& block = m_doc.AppendBlock(OLESTR("B"));
  // Half the names first (the index is made at the first lookup), then the
  // rest one at a time, each new one looked up at once: a name equal to an
  // earlier one must keep finding the earlier one.
  const size_t half = names.size() / 2;
  for (size_t i = 0; i < half; ++i) block.AppendAttrib(names[i].c_str());
  ExpectSameAsScan(block, names);
  for (size_t i = half; i < names.size(); ++i) {
    VirtualDocument::Block::Attrib& added = block.AppendAttrib(names[i].c_str());
    const VirtualDocument::Block::Attrib* expected = Scan(block, names[i].c_str());
    ASSERT_EQ(block.FindAttrib(names[i].c_str()), expected) << Utf8(names[i]);
    ASSERT_TRUE(expected == &added || NamesEqual(expected->name.c_str(), names[i].c_str()));
  }
  ExpectSameAsScan(block, names);
}

TEST_F(IndexedLookup, SetValueOfANewNameIsFoundByTheNextGet) {
  Var in, out;
  Var::I4(in, 1);
  m_doc.SetValue(OLESTR("Card"), OLESTR("Title"), &in);
  m_doc.GetValue(OLESTR("Card"), OLESTR("Number"), &out);  // makes both indexes
  EXPECT_EQ(out.vt, VT_EMPTY);
  Var::I4(in, 2);
  m_doc.SetValue(OLESTR("Card"), OLESTR("Number"), &in);
  Var::I4(in, 3);
  m_doc.SetValue(OLESTR("Sheet"), OLESTR("Number"), &in);
  m_doc.GetValue(OLESTR("CARD"), OLESTR("number"), &out);
  EXPECT_EQ(out.lVal, 2);
  m_doc.GetValue(OLESTR("sheet"), OLESTR("NUMBER"), &out);
  EXPECT_EQ(out.lVal, 3);
}

TEST_F(IndexedLookup, BlocksFollowAppendsAndClear) {
  const std::vector<WString> names = TrickyNames();
  for (size_t i = 0; i < names.size(); ++i) {
    m_doc.AppendBlock(names[i].c_str());
    if (i % 7 == 0) m_doc.FindBlock(names[i].c_str());  // the index follows each change
  }
  for (const WString& name : names) {
    const VirtualDocument::Block* expected = nullptr;
    for (const auto& b : m_doc.blocks())
      if (NamesEqual(b.name.c_str(), name.c_str())) {
        expected = &b;
        break;
      }
    ASSERT_EQ(m_doc.FindBlock(name.c_str()), expected) << Utf8(name);
  }
  m_doc.Clear();
  EXPECT_EQ(m_doc.FindBlock(names[0].c_str()), nullptr);
  VirtualDocument::Block& again = m_doc.AppendBlock(names[0].c_str());
  EXPECT_EQ(m_doc.FindBlock(names[0].c_str()), &again);
}

// A loaded block decodes its attributes at the first lookup; a reload
// replaces every block, and the index must not keep the old ones.
TEST_F(IndexedLookup, ReadingAFileAgainStartsAFreshIndex) {
  const std::vector<WString> names = TrickyNames();
  VirtualDocument source;
  VirtualDocument::Block& block = source.AppendBlock(OLESTR("B"));
  for (size_t i = 0; i < 60; ++i) {
    Var value;
    Var::I4(value, static_cast<LONG>(i));
    block.AppendAttrib(names[i].c_str()).Take(value);
  }
  ByteWriter bytes;
  ASSERT_EQ(DocumentWriter::WriteBody(source, bytes), DocStatus::Ok);
  ASSERT_EQ(m_doc.Read(bytes.data(), bytes.size()), DocStatus::Ok);
  ExpectSameAsScan(*m_doc.FindBlock(OLESTR("b")), names);
  ASSERT_EQ(m_doc.Read(bytes.data(), bytes.size()), DocStatus::Ok);
  VirtualDocument::Block* reread = m_doc.FindBlock(OLESTR("B"));
  ASSERT_EQ(reread, &m_doc.blocks().front());
  ExpectSameAsScan(*reread, names);
  Var out;
  m_doc.GetValue(OLESTR("B"), OLESTR("CO-OP"), &out);
  EXPECT_EQ(out.lVal, Scan(*reread, OLESTR("CO-OP"))->value().lVal);
}

}  // namespace
