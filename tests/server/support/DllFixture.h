// A test with Vellisto.dll freshly loaded in a COM apartment of its own
// thread. Every test ends by checking that the library may unload: whatever
// the test created, it released, and the lock count is back at 0.
#pragma once

#include "VellistoDll.h"

#include <gtest/gtest.h>

class ComApartment {
 public:
  explicit ComApartment(DWORD model) : m_hr(CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  HRESULT result() const { return m_hr; }

 private:
  HRESULT m_hr;
};

class DllFixture : public ::testing::Test {
 protected:
  explicit DllFixture(DWORD model = COINIT_APARTMENTTHREADED) : m_apartment(model) {}

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(m_apartment.result()));
    ASSERT_TRUE(m_dll.loaded()) << "cannot load the library, error " << GetLastError();
    ASSERT_EQ(S_OK, m_dll.CanUnloadNow()) << "a fresh library must be unloadable";
  }

  // Tests release their own references first; fixtures release theirs in
  // ReleaseAll() before the unload check.
  virtual void ReleaseAll() {}

  void TearDown() override {
    ReleaseAll();
    EXPECT_EQ(S_OK, m_dll.CanUnloadNow()) << "something still holds the library";
    EXPECT_TRUE(m_dll.Unload()) << "the library is still in the process after FreeLibrary";
  }

  ComApartment m_apartment;
  VellistoDll m_dll;
};
