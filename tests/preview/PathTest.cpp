// Path normalisation and splitting; the same cases natively and on Windows.
#include "Path.h"

#include "Utf.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct Normalised {
  const OLECHAR* given;
  const OLECHAR* expected;
};

// Names the case by its input, a backslash shown as '|' (test names cannot
// hold backslashes).
std::string Readable(const OLECHAR* text) {
  std::string out = Utf8FromUtf16(WString(text));
  for (char& c : out) {
    if (c == '\\') c = '|';
  }
  return out.empty() ? "(empty)" : out;
}

void PrintTo(const Normalised& value, std::ostream* os) { *os << Readable(value.given); }

class PathNormalisation : public ::testing::TestWithParam<Normalised> {};

TEST_P(PathNormalisation, Normalises) {
  EXPECT_EQ(Path(GetParam().given).GetPath(), WString(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathNormalisation,
    ::testing::Values(
        Normalised{OLESTR(""), OLESTR("")},
        Normalised{OLESTR("C:/dir//sub\\\\file.tvd"), OLESTR("C:\\dir\\sub\\file.tvd")},
        Normalised{OLESTR("C:\\dir\\\\"), OLESTR("C:\\dir")},
        Normalised{OLESTR("C:"), OLESTR("C:\\")}, Normalised{OLESTR("C:/"), OLESTR("C:\\")},
        Normalised{OLESTR("C:\\"), OLESTR("C:\\")}, Normalised{OLESTR("C:\\/\\"), OLESTR("C:\\")},
        Normalised{OLESTR("\\\\server\\share\\"), OLESTR("\\\\server\\share")},
        Normalised{OLESTR("\\\\\\\\server"), OLESTR("\\\\\\server")},
        Normalised{OLESTR("//server/share"), OLESTR("\\server\\share")},
        Normalised{OLESTR("/"), OLESTR("")}, Normalised{OLESTR("\\\\"), OLESTR("\\")},
        Normalised{OLESTR("\\dir\\file"), OLESTR("\\dir\\file")},
        Normalised{OLESTR("dir/./file.tvd"), OLESTR("dir\\.\\file.tvd")},
        Normalised{OLESTR("part.tvd"), OLESTR("part.tvd")}));

TEST(Path, NullCountsAsEmpty) {
  const Path path(nullptr);
  EXPECT_TRUE(path.GetPath().empty());
  EXPECT_TRUE(path.GetFileName().empty());
  EXPECT_TRUE(path.GetExtension().empty());
}

struct Split {
  const OLECHAR* given;
  const OLECHAR* name;
  const OLECHAR* extension;
};

void PrintTo(const Split& value, std::ostream* os) { *os << Readable(value.given); }

class PathSplitting : public ::testing::TestWithParam<Split> {};

TEST_P(PathSplitting, SplitsNameAndExtension) {
  const Path path(GetParam().given);
  EXPECT_EQ(path.GetFileName(), WString(GetParam().name));
  EXPECT_EQ(path.GetExtension(), WString(GetParam().extension));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathSplitting,
    ::testing::Values(Split{OLESTR("C:\\vault\\part.tvd"), OLESTR("part"), OLESTR(".tvd")},
                      Split{OLESTR("C:\\vault\\README"), OLESTR("README"), OLESTR("")},
                      Split{OLESTR("C:\\vault\\.profile"), OLESTR(""), OLESTR(".profile")},
                      Split{OLESTR("C:\\vault\\a.b.tvd"), OLESTR("a.b"), OLESTR(".tvd")},
                      Split{OLESTR("C:\\dir.x\\file"), OLESTR("file"), OLESTR("")},
                      Split{OLESTR("C:/vault//part.tvd/"), OLESTR("part"), OLESTR(".tvd")},
                      Split{OLESTR("C:file.tvd"), OLESTR("file"), OLESTR(".tvd")},
                      Split{OLESTR("C:"), OLESTR(""), OLESTR("")},
                      Split{OLESTR("part."), OLESTR("part"), OLESTR(".")},
                      Split{OLESTR("\\\\server\\share\\doc.TVD"), OLESTR("doc"), OLESTR(".TVD")},
                      Split{OLESTR("part.tvd"), OLESTR("part"), OLESTR(".tvd")}));

// Names and extensions longer than the 255 units a file system allows are cut
// to their first 255 units rather than refused or overrun.
TEST(PathLongParts, NameLongerThan255UnitsIsCut) {
  const WString name(300, OLESTR('n'));
  const Path path((OLESTR("C:\\dir\\") + name + OLESTR(".tvd")).c_str());
  EXPECT_EQ(path.GetFileName(), WString(255, OLESTR('n')));
  EXPECT_EQ(path.GetExtension(), WString(OLESTR(".tvd")));
}

TEST(PathLongParts, ExtensionLongerThan255UnitsIsCut) {
  const WString extension = OLESTR(".") + WString(400, OLESTR('e'));
  const Path path((OLESTR("C:\\dir\\part") + extension).c_str());
  EXPECT_EQ(path.GetFileName(), WString(OLESTR("part")));
  EXPECT_EQ(path.GetExtension(), extension.substr(0, 255));
}

TEST(PathLongParts, PartsOfExactly255UnitsAreWhole) {
  const WString name(255, OLESTR('n'));
  const WString extension = OLESTR(".") + WString(254, OLESTR('e'));
  const Path path((name + extension).c_str());
  EXPECT_EQ(path.GetFileName(), name);
  EXPECT_EQ(path.GetExtension(), extension);
}

TEST(PathLongParts, CutNeverSplitsASurrogatePair) {
  // 254 units, then U+1F600 as a pair: the 255th unit is the pair's first half.
  const WString name = WString(254, OLESTR('n')) + OLESTR("\xD83D\xDE00") + OLESTR("tail");
  const Path path((name + OLESTR(".tvd")).c_str());
  EXPECT_EQ(path.GetFileName(), WString(254, OLESTR('n')));
}

TEST(PathLongParts, VeryLongPathsStillSplit) {
  WString text = OLESTR("C:");
  for (int i = 0; i < 2000; ++i) text += OLESTR("\\folder");
  text += OLESTR("\\part.tvd");
  const Path path(text.c_str());
  EXPECT_EQ(path.GetFileName(), WString(OLESTR("part")));
  EXPECT_EQ(path.GetExtension(), WString(OLESTR(".tvd")));
}

}  // namespace
