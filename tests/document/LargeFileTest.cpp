// Large files, and files cut short at many places, read from disk exactly as
// from memory.
#include "VirtualDocument.h"

#include "TempFolder.h"
#include "TvdBytes.h"
#include "Var.h"

#include <gtest/gtest.h>

namespace {

// Names and texts of varied lengths (one of 100,000 characters), so that
// fields fall across every 64 KB edge in different places.
Bytes LargeFile() {
  TvdBytes image;
  image.Magic("Tavorin Virtual Document x.xx").U32(2).U32(40);
  for (int b = 0; b < 40; ++b) {
    image.Wide(u"Block" + std::u16string(b, u'b')).U32(50);
    for (int a = 0; a < 50; ++a) {
      image.Wide(std::u16string(1 + (a * 7 + b) % 23, u'n'));
      if (a % 3 == 0)
        image.U16(3).U32(a * b);
      else
        image.U16(8).Wide(std::u16string(b == 20 && a == 1 ? 100000 : (a * 131 + b) % 700, u'x'));
    }
  }
  return image.bytes();
}

// Everything a document holds, as text, for comparing two of them.
std::string Describe(const VirtualDocument& doc) {
  std::string out;
  for (const auto& block : doc.blocks()) {
    out += Utf8(block.name) + ":";
    for (const auto& attrib : block.attribs()) {
      out += Utf8(attrib.name) + "=";
      out +=
          attrib.value().vt == VT_I4 ? std::to_string(attrib.value().lVal) : Utf8(attrib.value());
      out += ";";
    }
  }
  return out;
}

TEST(LargeFile, ReadsFromDiskAsFromMemory) {
  const Bytes bytes = LargeFile();
  ASSERT_GT(bytes.size(), 600000u);
  TempFolder scratch;
  const auto path = scratch.Path("large.tvd");
  VirtualDocument fromMemory;
  ASSERT_EQ(fromMemory.Read(bytes.data(), bytes.size()), DocStatus::Ok);
  const std::string expected = Describe(fromMemory);

  for (size_t cut :
       {bytes.size(), bytes.size() - 1, size_t{65536 + 3}, size_t{65536 * 3 - 1}, size_t{300001}}) {
    SCOPED_TRACE(cut);
    const Bytes part(bytes.begin(), bytes.begin() + cut);
    WriteFile(path, part);
    Bytes lent = part;
    VirtualDocument fromDisk, reference, borrowing;
    const DocStatus status = fromDisk.Load(Wide(path).c_str());
    EXPECT_EQ(status, reference.Read(part.data(), part.size()));
    EXPECT_EQ(status, borrowing.ReadBorrowed(lent.data(), lent.size()));
    EXPECT_EQ(status, cut == bytes.size() ? DocStatus::Ok : DocStatus::BadFormat);
    EXPECT_EQ(fromDisk.faultOffset(), reference.faultOffset());
    EXPECT_EQ(borrowing.faultOffset(), reference.faultOffset());
    EXPECT_EQ(Describe(fromDisk), Describe(reference));
    EXPECT_EQ(Describe(borrowing), Describe(reference));
    if (cut == bytes.size()) {
      EXPECT_EQ(Describe(fromDisk), expected);
    }
  }
}

}  // namespace
