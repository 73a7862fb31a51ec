// The module-state guard on its own (it has no effect visible through the
// host's interfaces): which state is current, per thread, and that every way
// out of a scope restores the caller's.
#include "ModuleState.h"
#include "ModuleStateGuard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

// The library defines its state among its globals; this program has its own.
ModuleState g_moduleState;

namespace {

const HINSTANCE kLibrary = reinterpret_cast<HINSTANCE>(0x10000000);

class ModuleStateGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(g_moduleState.valid());
    g_moduleState.SetInstance(kLibrary);
  }
};

TEST_F(ModuleStateGuardTest, OutsideAGuardTheCallersStateIsCurrent) {
  EXPECT_EQ(nullptr, ModuleState::Current());
  EXPECT_EQ(GetModuleHandleW(nullptr), ModuleState::ResourceInstance());
}

TEST_F(ModuleStateGuardTest, InsideAGuardTheLibrarysStateIsCurrent) {
  {
    ModuleStateGuard guard;
    EXPECT_EQ(&g_moduleState, ModuleState::Current());
    EXPECT_EQ(kLibrary, ModuleState::ResourceInstance());
    {
      ModuleStateGuard nested;
      EXPECT_EQ(&g_moduleState, ModuleState::Current());
    }
    EXPECT_EQ(&g_moduleState, ModuleState::Current()) << "the inner guard restored too much";
  }
  EXPECT_EQ(nullptr, ModuleState::Current());
}

TEST_F(ModuleStateGuardTest, AnExceptionLeavingTheScopeRestoresTheState) {
  try {
    ModuleStateGuard guard;
    throw std::runtime_error("way out");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(nullptr, ModuleState::Current());
}

TEST_F(ModuleStateGuardTest, EachThreadHasItsOwnCurrentState) {
  ModuleStateGuard guard;
  ModuleState* seenElsewhere = &g_moduleState;
  std::thread other([&] { seenElsewhere = ModuleState::Current(); });
  other.join();
  EXPECT_EQ(nullptr, seenElsewhere);
  EXPECT_EQ(&g_moduleState, ModuleState::Current());
}

TEST_F(ModuleStateGuardTest, TheCallersLastErrorSurvives) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  {
    ModuleStateGuard guard;
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

}  // namespace
