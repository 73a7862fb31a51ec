// How blocks and attributes are found: exact names first, then the '*' forms.
#include "VirtualDocument.h"

#include "Var.h"

#include <gtest/gtest.h>

namespace {

class Lookup : public ::testing::Test {
 protected:
  // Adds attributes to block "B" in order, each holding its index.
  void Add(std::initializer_list<const OLECHAR*> names) {
    VirtualDocument::Block* block = doc_.FindBlock(OLESTR("B"));
    if (!block) block = &doc_.AppendBlock(OLESTR("B"));
    for (const OLECHAR* name : names) {
      VARIANT index;
      VariantInit(&index);
      Var::I4(index, static_cast<LONG>(block->attribs().size()));
      block->AppendAttrib(name).Take(index);
    }
  }
  // The index of the attribute the pattern finds, or -1.
  int Find(const OLECHAR* pattern) {
    VirtualDocument::Block* block = doc_.FindBlock(OLESTR("B"));
    auto* a = block ? block->FindAttrib(pattern) : nullptr;
    return a ? a->value().lVal : -1;
  }
  VirtualDocument doc_;
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
  doc_.AppendBlock(OLESTR("B"));
  EXPECT_EQ(Find(OLESTR("*")), -1);  // a block with no attributes
  Add({OLESTR("Title"), OLESTR("Number")});
  EXPECT_EQ(Find(OLESTR("*")), 0);
  EXPECT_EQ(Find(OLESTR("**")), 0);
  Add({OLESTR("*")});
  EXPECT_EQ(Find(OLESTR("*")), 2);
}

TEST_F(Lookup, WildcardForms) {
  Add({OLESTR("Revision"), OLESTR("date of issue"), OLESTR("Part No")});
  EXPECT_EQ(Find(OLESTR("Date*")), 1);   // begins with, any case
  EXPECT_EQ(Find(OLESTR("*no")), 2);     // ends with, any case
  EXPECT_EQ(Find(OLESTR("*rev*")), 0);   // contains
  EXPECT_EQ(Find(OLESTR("*ISSUE*")), 1); // contains lower-cases both sides
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
  doc_.AppendBlock(OLESTR("Card"));
  EXPECT_EQ(doc_.FindBlock(OLESTR("C*")), nullptr);
  EXPECT_NE(doc_.FindBlock(OLESTR("CARD")), nullptr);
  EXPECT_EQ(doc_.FindBlock(nullptr), nullptr);
  doc_.AppendBlock(nullptr);
  EXPECT_NE(doc_.FindBlock(nullptr), nullptr);  // null is the empty name
}

TEST_F(Lookup, DuplicatesResolveToTheFirst) {
  Add({OLESTR("Title"), OLESTR("Title")});
  doc_.AppendBlock(OLESTR("B"));
  EXPECT_EQ(Find(OLESTR("title")), 0);
  EXPECT_EQ(&doc_.blocks().front(), doc_.FindBlock(OLESTR("b")));
}

class Values : public ::testing::Test {
 protected:
  VirtualDocument doc_;
  Var in_, out_;
};

TEST_F(Values, GetOfAbsentBlockOrAttributeEmptiesTheCallersValue) {
  Var::Text(out_, OLESTR("stale"));
  doc_.GetValue(OLESTR("Card"), OLESTR("Title"), &out_);
  EXPECT_EQ(out_.vt, VT_EMPTY);
  doc_.AppendBlock(OLESTR("Card"));
  Var::I4(out_, 7);
  doc_.GetValue(OLESTR("Card"), OLESTR("Title"), &out_);
  EXPECT_EQ(out_.vt, VT_EMPTY);
}

TEST_F(Values, SetCreatesBlockAndAttributeAtTheTail) {
  doc_.AppendBlock(OLESTR("First"));
  Var::Text(in_, OLESTR("Pump"));
  doc_.SetValue(OLESTR("Card"), OLESTR("Title"), &in_);
  doc_.SetValue(OLESTR("Card"), OLESTR("*x"), &in_);  // a pattern that matches nothing
  ASSERT_EQ(doc_.blocks().size(), 2u);
  const auto& card = doc_.blocks().back();
  EXPECT_EQ(Utf8(card.name), "Card");
  ASSERT_EQ(card.attribs().size(), 2u);
  EXPECT_EQ(Utf8(card.attribs().back().name), "*x");
}

TEST_F(Values, SetThroughAPatternOverwritesTheFirstMatch) {
  Var::I4(in_, 1);
  doc_.SetValue(OLESTR("Card"), OLESTR("Part No"), &in_);
  doc_.SetValue(OLESTR("Card"), OLESTR("Old No"), &in_);
  Var::I4(in_, 2);
  doc_.SetValue(OLESTR("CARD"), OLESTR("*no"), &in_);
  doc_.GetValue(OLESTR("Card"), OLESTR("Part No"), &out_);
  EXPECT_EQ(out_.lVal, 2);
  doc_.GetValue(OLESTR("Card"), OLESTR("Old No"), &out_);
  EXPECT_EQ(out_.lVal, 1);
  EXPECT_EQ(doc_.blocks().front().attribs().size(), 2u);
}

TEST_F(Values, ValuesAreDeepCopiesBothWays) {
  Var::Text(in_, OLESTR("Pump"));
  doc_.SetValue(OLESTR("Card"), OLESTR("Title"), &in_);
  in_.bstrVal[0] = 'J';  // the document kept its own copy
  doc_.GetValue(OLESTR("Card"), OLESTR("Title"), &out_);
  EXPECT_EQ(Utf8(out_), "Pump");
  EXPECT_NE(out_.bstrVal, doc_.blocks().front().attribs().front().value().bstrVal);
  out_.bstrVal[0] = 'L';
  Var again;
  doc_.GetValue(OLESTR("Card"), OLESTR("Title"), &again);
  EXPECT_EQ(Utf8(again), "Pump");
}

// A by-reference value is stored as what it points to, never as a pointer
// into the caller's memory.
TEST_F(Values, ByReferenceValuesAreStoredByValue) {
  LONG number = 42;
  in_.vt = VT_I4 | VT_BYREF;
  in_.byref = &number;
  doc_.SetValue(OLESTR("Card"), OLESTR("Number"), &in_);
  BSTR text = SysAllocString(OLESTR("Pump"));
  in_.vt = VT_BSTR | VT_BYREF;
  in_.byref = &text;
  doc_.SetValue(OLESTR("Card"), OLESTR("Title"), &in_);
  in_.vt = VT_EMPTY;
  number = 7;
  SysFreeString(text);
  doc_.GetValue(OLESTR("Card"), OLESTR("Number"), &out_);
  EXPECT_EQ(out_.vt, VT_I4);
  EXPECT_EQ(out_.lVal, 42);
  doc_.GetValue(OLESTR("Card"), OLESTR("Title"), &out_);
  EXPECT_EQ(Utf8(out_), "Pump");
}

TEST_F(Values, ValuesThatCannotBeCopiedAreRefusedAndCreateNothing) {
  in_.vt = VT_I4 | VT_BYREF;
  in_.byref = nullptr;
  EXPECT_FALSE(doc_.SetValue(OLESTR("Card"), OLESTR("Number"), &in_));
  in_.vt = 0x00FF;
  EXPECT_FALSE(doc_.SetValue(OLESTR("Card"), OLESTR("Number"), &in_));
  in_.vt = VT_EMPTY;
  EXPECT_TRUE(doc_.blocks().empty());
  Var::I4(in_, 1);
  ASSERT_TRUE(doc_.SetValue(OLESTR("Card"), OLESTR("Number"), &in_));
  in_.vt = VT_I4 | VT_BYREF;
  in_.byref = nullptr;
  EXPECT_FALSE(doc_.SetValue(OLESTR("Card"), OLESTR("Number"), &in_));
  in_.vt = VT_EMPTY;
  doc_.GetValue(OLESTR("Card"), OLESTR("Number"), &out_);
  EXPECT_EQ(out_.lVal, 1);  // the stored value is untouched
}

TEST_F(Values, AReferenceToAVariantStoresTheVariantsValue) {
  Var inner;
  Var::Text(inner, OLESTR("Pump"));
  in_.vt = VT_VARIANT | VT_BYREF;
  in_.byref = &inner;
  EXPECT_TRUE(doc_.SetValue(OLESTR("Card"), OLESTR("Title"), &in_));
  in_.vt = VT_EMPTY;
  doc_.GetValue(OLESTR("Card"), OLESTR("Title"), &out_);
  EXPECT_EQ(Utf8(out_), "Pump");
  EXPECT_NE(out_.bstrVal, inner.bstrVal);
}

TEST_F(Values, ClearEmptiesTheDocumentAndItsPath) {
  doc_.SetPath(OLESTR("x.tvd"));
  Var::I4(in_, 1);
  doc_.SetValue(OLESTR("Card"), OLESTR("N"), &in_);
  doc_.Clear();
  EXPECT_TRUE(doc_.blocks().empty());
  EXPECT_TRUE(doc_.path().empty());
}

}  // namespace
