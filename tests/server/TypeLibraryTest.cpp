// The type library inside Vellisto.dll: built from the same IDL as the
// identifiers the library answers to, so the two must agree.
#include "VellistoDll.h"

#include <gtest/gtest.h>

namespace {

TEST(TypeLibraryTest, DescribesTheClassesAndTheirInterfacesInOrder) {
  ITypeLib* raw = nullptr;
  ASSERT_EQ(S_OK, LoadTypeLibEx(VellistoDll::Path().c_str(), REGKIND_NONE, &raw));
  ComPtr<ITypeLib> lib;
  *lib.put() = raw;

  TLIBATTR* attr = nullptr;
  ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
  EXPECT_TRUE(InlineIsEqualGUID(LIBID_VELLISTOLib, attr->guid));
  EXPECT_EQ(1, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);
  EXPECT_EQ(0x409u, attr->lcid);
  EXPECT_EQ(VellistoDll::kSysKind, attr->syskind);
  lib->ReleaseTLibAttr(attr);

  struct Expected {
    const GUID* guid;
    TYPEKIND kind;
    const wchar_t* name;
  };
  const Expected expected[] = {
      {&CLSID_TvdFormat, TKIND_COCLASS, L"TvdFormat"},
      {&IID_ITvdFormat, TKIND_INTERFACE, L"ITvdFormat"},
      {&CLSID_TvdFile, TKIND_COCLASS, L"TvdFile"},
      {&IID_ITvdFile, TKIND_INTERFACE, L"ITvdFile"},
      {&CLSID_TvdPreview, TKIND_COCLASS, L"TvdPreview"},
      {&IID_ITvdPreview, TKIND_INTERFACE, L"ITvdPreview"},
  };
  ASSERT_EQ(6u, lib->GetTypeInfoCount());
  for (UINT i = 0; i < 6; ++i) {
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, lib->GetTypeInfo(i, info.put()));
    TYPEATTR* type = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&type));
    EXPECT_TRUE(InlineIsEqualGUID(*expected[i].guid, type->guid)) << i;
    EXPECT_EQ(expected[i].kind, type->typekind) << i;
    if (type->typekind == TKIND_INTERFACE) {
      EXPECT_EQ(0, type->wTypeFlags) << "neither dual nor automation";
    }
    info->ReleaseTypeAttr(type);
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, lib->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr));
    EXPECT_STREQ(expected[i].name, name);
    SysFreeString(name);
  }
}

}  // namespace
