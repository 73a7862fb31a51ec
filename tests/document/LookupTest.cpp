// How blocks and attributes are found: exact names first, then the '*' forms.
#include "VirtualDocument.h"

#include "Var.h"

#include <gtest/gtest.h>

namespace {

class Lookup : public ::testing::Test {
 protected:
  // Adds attributes to block "B" in order, each holding its index.
  void Add(std::initializer_list<const OLECHAR*> names) {
    VirtualDocument::Block* block = m_doc.FindBlock(OLESTR("B"));
    if (!block) block = &m_doc.AppendBlock(OLESTR("B"));
    for (const OLECHAR* name : names) {
      VARIANT index;
      VariantInit(&index);
      Var::I4(index, static_cast<LONG>(block->attribs().size()));
      block->AppendAttrib(name).Take(index);
    }
  }
  // The index of the attribute the pattern finds, or -1.
  int Find(const OLECHAR* pattern) {
    VirtualDocument::Block* block = m_doc.FindBlock(OLESTR("B"));
    auto* a = block ? block->FindAttrib(pattern) : nullptr;
    return a ? a->value().lVal : -1;
  }
  VirtualDocument m_doc;
};

TEST_F(Lookup, ExactNamesIgnoreCase) {
  Add({OLESTR("Title"), OLESTR("Number"), OLESTR("\u00C9tat"), OLESTR("\u0416")});
  EXPECT_EQ(Find(OLESTR("NUMBER")), 1);
  EXPECT_EQ(Find(OLESTR("\u00E9TAT")), 2);
  EXPECT_EQ(Find(OLESTR("\u0436")), 3);
  EXPECT_EQ(Find(OLESTR("Numbe")), -1);
  EXPECT_EQ(Find(OLESTR("")), -1);
  EXPECT_EQ(Find(nullptr), -1);
}

TEST_F(Lookup, LoneStarFindsFirstAttributeUnlessOneIsNamedStar) {
  EXPECT_EQ(Find(OLESTR("*")), -1);  // no block yet
  m_doc.AppendBlock(OLESTR("B"));
  EXPECT_EQ(Find(OLESTR("*")), -1);  // a block with no attributes
  Add({OLESTR("Title"), OLESTR("Number")});
  EXPECT_EQ(Find(OLESTR("*")), 0);
  EXPECT_EQ(Find(OLESTR("**")), 0);
  Add({OLESTR("*")});
  EXPECT_EQ(Find(OLESTR("*")), 2);
}

TEST_F(Lookup, WildcardForms) {
  Add({OLESTR("Revision"), OLESTR("date of issue"), OLESTR("Part No")});
  EXPECT_EQ(Find(OLESTR("Date*")), 1);      // begins with, any case
  EXPECT_EQ(Find(OLESTR("*no")), 2);        // ends with, any case
  EXPECT_EQ(Find(OLESTR("*rev*")), 0);      // contains
  EXPECT_EQ(Find(OLESTR("*ISSUE*")), 1);    // contains lower-cases both sides
  EXPECT_EQ(Find(OLESTR("*Revision")), 0);  // ends with: a name no longer than the pattern
  EXPECT_EQ(Find(OLESTR("x*")), -1);
  EXPECT_EQ(Find(OLESTR("*x")), -1);
}

TEST_F(Lookup, StarsAroundNamesAreStrippedForWildcards) {
  Add({OLESTR("*Title*"), OLESTR("*Title")});
  EXPECT_EQ(Find(OLESTR("Tit*")), 0);
  EXPECT_EQ(Find(OLESTR("*Title")), 1);  // the exact pass comes first
  EXPECT_EQ(Find(OLESTR("*TITLE")), 1);
}

TEST_F(Lookup, InnerStarsAreLiteral) {
  Add({OLESTR("ab"), OLESTR("xa*by")});
  EXPECT_EQ(Find(OLESTR("*a*b*")), 1);
  EXPECT_EQ(Find(OLESTR("a*b")), -1);  // no star at either end: exact only
}

TEST_F(Lookup, BlockNamesHaveNoWildcards) {
  m_doc.AppendBlock(OLESTR("Card"));
  EXPECT_EQ(m_doc.FindBlock(OLESTR("C*")), nullptr);
  EXPECT_NE(m_doc.FindBlock(OLESTR("CARD")), nullptr);
  EXPECT_EQ(m_doc.FindBlock(nullptr), nullptr);
  m_doc.AppendBlock(nullptr);
  EXPECT_NE(m_doc.FindBlock(nullptr), nullptr);  // null is the empty name
}

TEST_F(Lookup, DuplicatesResolveToTheFirst) {
  Add({OLESTR("Title"), OLESTR("Title")});
  m_doc.AppendBlock(OLESTR("B"));
  EXPECT_EQ(Find(OLESTR("title")), 0);
  EXPECT_EQ(&m_doc.blocks().front(), m_doc.FindBlock(OLESTR("b")));
}

class Values : public ::testing::Test {
 protected:
  VirtualDocument m_doc;
  Var m_in, m_out;
};

TEST_F(Values, GetOfAbsentBlockOrAttributeEmptiesTheCallersValue) {
  Var::Text(m_out, OLESTR("stale"));
  m_doc.GetValue(OLESTR("Card"), OLESTR("Title"), &m_out);
  EXPECT_EQ(m_out.vt, VT_EMPTY);
  m_doc.AppendBlock(OLESTR("Card"));
  Var::I4(m_out, 7);
  m_doc.GetValue(OLESTR("Card"), OLESTR("Title"), &m_out);
  EXPECT_EQ(m_out.vt, VT_EMPTY);
}

TEST_F(Values, SetCreatesBlockAndAttributeAtTheTail) {
  m_doc.AppendBlock(OLESTR("First"));
  Var::Text(m_in, OLESTR("Pump"));
  m_doc.SetValue(OLESTR("Card"), OLESTR("Title"), &m_in);
  m_doc.SetValue(OLESTR("Card"), OLESTR("*x"), &m_in);  // a pattern that matches nothing
  ASSERT_EQ(m_doc.blocks().size(), 2u);
  const auto& card = m_doc.blocks().back();
  EXPECT_EQ(Utf8(card.name), "Card");
  ASSERT_EQ(card.attribs().size(), 2u);
  EXPECT_EQ(Utf8(card.attribs().back().name), "*x");
}

TEST_F(Values, SetThroughAPatternOverwritesTheFirstMatch) {
  Var::I4(m_in, 1);
  m_doc.SetValue(OLESTR("Card"), OLESTR("Part No"), &m_in);
  m_doc.SetValue(OLESTR("Card"), OLESTR("Old No"), &m_in);
  Var::I4(m_in, 2);
  m_doc.SetValue(OLESTR("CARD"), OLESTR("*no"), &m_in);
  m_doc.GetValue(OLESTR("Card"), OLESTR("Part No"), &m_out);
  EXPECT_EQ(m_out.lVal, 2);
  m_doc.GetValue(OLESTR("Card"), OLESTR("Old No"), &m_out);
  EXPECT_EQ(m_out.lVal, 1);
  EXPECT_EQ(m_doc.blocks().front().attribs().size(), 2u);
}

TEST_F(Values, ValuesAreDeepCopiesBothWays) {
  Var::Text(m_in, OLESTR("Pump"));
  m_doc.SetValue(OLESTR("Card"), OLESTR("Title"), &m_in);
  m_in.bstrVal[0] = 'J';  // the document kept its own copy
  m_doc.GetValue(OLESTR("Card"), OLESTR("Title"), &m_out);
  EXPECT_EQ(Utf8(m_out), "Pump");
  EXPECT_NE(m_out.bstrVal, m_doc.blocks().front().attribs().front().value().bstrVal);
  m_out.bstrVal[0] = 'L';
  Var again;
  m_doc.GetValue(OLESTR("Card"), OLESTR("Title"), &again);
  EXPECT_EQ(Utf8(again), "Pump");
}

// A by-reference value is stored as what it points to, never as a pointer
// into the caller's memory.
TEST_F(Values, ByReferenceValuesAreStoredByValue) {
  LONG number = 42;
  m_in.vt = VT_I4 | VT_BYREF;
  m_in.byref = &number;
  m_doc.SetValue(OLESTR("Card"), OLESTR("Number"), &m_in);
  BSTR text = SysAllocString(OLESTR("Pump"));
  m_in.vt = VT_BSTR | VT_BYREF;
  m_in.byref = &text;
  m_doc.SetValue(OLESTR("Card"), OLESTR("Title"), &m_in);
  m_in.vt = VT_EMPTY;
  number = 7;
  SysFreeString(text);
  m_doc.GetValue(OLESTR("Card"), OLESTR("Number"), &m_out);
  EXPECT_EQ(m_out.vt, VT_I4);
  EXPECT_EQ(m_out.lVal, 42);
  m_doc.GetValue(OLESTR("Card"), OLESTR("Title"), &m_out);
  EXPECT_EQ(Utf8(m_out), "Pump");
}

TEST_F(Values, ValuesThatCannotBeCopiedAreRefusedAndCreateNothing) {
  m_in.vt = VT_I4 | VT_BYREF;
  m_in.byref = nullptr;
  EXPECT_FALSE(m_doc.SetValue(OLESTR("Card"), OLESTR("Number"), &m_in));
  m_in.vt = 0x00FF;
  EXPECT_FALSE(m_doc.SetValue(OLESTR("Card"), OLESTR("Number"), &m_in));
  m_in.vt = VT_EMPTY;
  EXPECT_TRUE(m_doc.blocks().empty());
  Var::I4(m_in, 1);
  ASSERT_TRUE(m_doc.SetValue(OLESTR("Card"), OLESTR("Number"), &m_in));
  m_in.vt = VT_I4 | VT_BYREF;
  m_in.byref = nullptr;
  EXPECT_FALSE(m_doc.SetValue(OLESTR("Card"), OLESTR("Number"), &m_in));
  m_in.vt = VT_EMPTY;
  m_doc.GetValue(OLESTR("Card"), OLESTR("Number"), &m_out);
  EXPECT_EQ(m_out.lVal, 1);  // the stored value is untouched
}

TEST_F(Values, AReferenceToAVariantStoresTheVariantsValue) {
  Var inner;
  Var::Text(inner, OLESTR("Pump"));
  m_in.vt = VT_VARIANT | VT_BYREF;
  m_in.byref = &inner;
  EXPECT_TRUE(m_doc.SetValue(OLESTR("Card"), OLESTR("Title"), &m_in));
  m_in.vt = VT_EMPTY;
  m_doc.GetValue(OLESTR("Card"), OLESTR("Title"), &m_out);
  EXPECT_EQ(Utf8(m_out), "Pump");
  EXPECT_NE(m_out.bstrVal, inner.bstrVal);
}

TEST_F(Values, ClearEmptiesTheDocumentAndItsPath) {
  m_doc.SetPath(OLESTR("x.tvd"));
  Var::I4(m_in, 1);
  m_doc.SetValue(OLESTR("Card"), OLESTR("N"), &m_in);
  m_doc.Clear();
  EXPECT_TRUE(m_doc.blocks().empty());
  EXPECT_TRUE(m_doc.path().empty());
}

}  // namespace
