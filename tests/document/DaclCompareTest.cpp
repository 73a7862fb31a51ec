// Whether a new copy's DACL would widen access, on descriptors written in
// the system's own descriptor language.
#include "DaclCompare.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

namespace {

std::vector<uint8_t> Descriptor(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR made = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &made, nullptr))
    return {};
  const auto* bytes = static_cast<const uint8_t*>(made);
  std::vector<uint8_t> copy(bytes, bytes + GetSecurityDescriptorLength(made));
  LocalFree(made);
  return copy;
}

// A descriptor whose DACL is null: anyone may do anything.
std::vector<uint8_t> NoAccessControl() {
  SECURITY_DESCRIPTOR absolute;
  InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&absolute, TRUE, nullptr, FALSE);
  DWORD size = 0;
  MakeSelfRelativeSD(&absolute, nullptr, &size);
  std::vector<uint8_t> relative(size);
  if (!MakeSelfRelativeSD(&absolute, relative.data(), &size)) return {};
  return relative;
}

TEST(DaclCompare, OnlyTheSameOrLessIsNoMore) {
  const wchar_t* before = L"D:(D;;FW;;;BG)(A;;FA;;;SY)(A;;FR;;;BU)";
  struct Case {
    const wchar_t* now;
    bool noMore;
  } cases[] = {
      {L"D:(D;;FW;;;BG)(A;;FA;;;SY)(A;;FR;;;BU)", true},
      {L"D:(D;;FW;;;BG)(A;ID;FA;;;SY)(A;ID;FR;;;BU)", true},           // inherited, same rights
      {L"D:(D;;FW;;;BG)(A;;FA;;;SY)", true},                           // users lose reading
      {L"D:(A;;FA;;;SY)(A;;FR;;;BU)", false},                          // guests no longer denied
      {L"D:(D;;FW;;;BG)(A;;FA;;;SY)(A;;FA;;;BU)", false},              // users gain everything
      {L"D:(D;;FW;;;BG)(A;;FA;;;SY)(A;;FR;;;BU)(A;;FR;;;WD)", false},  // everyone reads
  };
  const std::vector<uint8_t> old = Descriptor(before);
  ASSERT_FALSE(old.empty());
  for (const Case& c : cases) {
    const std::vector<uint8_t> now = Descriptor(c.now);
    ASSERT_FALSE(now.empty()) << c.now;
    EXPECT_EQ(GrantsNoMore(now, old), c.noMore) << c.now;
  }
  // Nothing is wider than no access control; unreadable bytes are wider.
  ASSERT_FALSE(NoAccessControl().empty());
  EXPECT_FALSE(GrantsNoMore(NoAccessControl(), old));
  EXPECT_TRUE(GrantsNoMore(old, NoAccessControl()));
  EXPECT_FALSE(GrantsNoMore(std::vector<uint8_t>(20, 0xFF), old));
  EXPECT_FALSE(GrantsNoMore({}, old));
}

}  // namespace
