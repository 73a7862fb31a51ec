// A test with Vellisto.dll freshly loaded in a COM apartment of its own
// thread. Every test ends by checking that the library may unload: whatever
// the test created, it released, and the lock count is back at 0.
#pragma once

#include "VellistoDll.h"

#include <gtest/gtest.h>

class ComApartment {
 public:
  explicit ComApartment(DWORD model) : hr_(CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_;
};

class DllFixture : public ::testing::Test {
 protected:
  explicit DllFixture(DWORD model = COINIT_APARTMENTTHREADED) : apartment_(model) {}

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(apartment_.result()));
    ASSERT_TRUE(dll.loaded()) << "cannot load the library, error " << GetLastError();
    ASSERT_EQ(S_OK, dll.CanUnloadNow()) << "a fresh library must be unloadable";
  }

  // Tests release their own references first; fixtures release theirs in
  // ReleaseAll() before the unload check.
  virtual void ReleaseAll() {}

  void TearDown() override {
    ReleaseAll();
    EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "something still holds the library";
    EXPECT_TRUE(dll.Unload()) << "the library is still in the process after FreeLibrary";
  }

  ComApartment apartment_;
  VellistoDll dll;
};
