// A fixture for tests that load bitmaps from the test resource library: the
// library is loaded once per suite, outside the counted system calls.
#pragma once

#include "SystemCalls.h"
#include "TestLibrary.h"

#include <gtest/gtest.h>

class ResourceModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_module = RealLoadLibrary(ResourceLibraryPath().c_str()); }
  static void TearDownTestSuite() { RealFreeLibrary(s_module); }
  void SetUp() override {
    ASSERT_NE(s_module, nullptr);
    ASSERT_TRUE(m_calls.AllInstalled());
  }

  static inline HMODULE s_module = nullptr;  // owned by the suite
  SystemCalls m_calls;
};
