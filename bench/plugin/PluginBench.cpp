// The host's data path through Vellisto.dll against the same work done
// directly on VirtualDocument, in one process: OpenFile + GetValues of 20
// records + Release of a 2 KB file, and Load + 20 GetValue + destruction.
// Rounds alternate between the two paths; the medians are compared.
//
//   plugin_bench [--quick]     (--quick: a few rounds, checks that both
//                               paths agree, no timing worth reading)
#include "BenchClock.h"
#include "KivHost.h"
#include "ProgramFolder.h"
#include "Vellisto.h"
#include "VirtualDocument.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRecords = 20;

// A document of about 2 KB: five blocks of eight attributes of mixed types.
std::wstring WriteSampleFile() {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::wstring path =
      std::wstring(dir) + L"vellisto-bench-" + std::to_wstring(GetCurrentProcessId()) + L".tvd";
  VirtualDocument doc;
  doc.SetPath(path.c_str());
  for (int b = 0; b < 5; ++b) {
    VirtualDocument::Block& block = doc.AppendBlock((L"Block" + std::to_wstring(b)).c_str());
    for (int a = 0; a < 8; ++a) {
      VARIANT v;
      VariantInit(&v);
      switch (a % 4) {
        case 0:
          V_VT(&v) = VT_I4;
          V_I4(&v) = a * 1000 + b;
          break;
        case 1:
          V_VT(&v) = VT_R8;
          V_R8(&v) = a / 3.0;
          break;
        case 2:
          V_VT(&v) = VT_DATE;
          V_DATE(&v) = 45000.25 + a;
          break;
        default:
          V_VT(&v) = VT_BSTR;
          V_BSTR(&v) = SysAllocString(L"A text value of moderate length, ok");
      }
      block.AppendAttrib((L"Attribute" + std::to_wstring(a)).c_str()).Take(v);
    }
  }
  if (doc.Save() != DocStatus::Ok) return std::wstring();
  return path;
}

// 20 requests spread over the blocks, some through patterns, two missing.
void PrepareRecords(ValueRecord* records) {
  for (int i = 0; i < kRecords; ++i) {
    std::memset(&records[i], 0, sizeof records[i]);
    VariantInit(&records[i].value);
    const int b = i % 5, a = (i * 3) % 8;
    records[i].blockName = SysAllocString((L"Block" + std::to_wstring(b)).c_str());
    std::wstring attrib = L"Attribute" + std::to_wstring(a);
    if (i % 5 == 1) attrib = L"*ute" + std::to_wstring(a);
    if (i % 9 == 8) attrib = L"Missing" + std::to_wstring(i);
    records[i].attribName = SysAllocString(attrib.c_str());
  }
}

void FreeRecords(ValueRecord* records) {
  for (int i = 0; i < kRecords; ++i) {
    SysFreeString(records[i].blockName);
    SysFreeString(records[i].attribName);
    VariantClear(&records[i].value);
  }
}

bool ThroughPlugin(IKivFileFormat* format, const wchar_t* path, ValueRecord* records) {
  IKivFileNavigator* navigator = nullptr;
  if (format->OpenFile(path, 0, &navigator) != S_OK) return false;
  const HRESULT hr = navigator->GetValues(0, 0, 0, kRecords, records);
  navigator->Release();
  return hr == S_OK;
}

bool Direct(const wchar_t* path, ValueRecord* records) {
  VirtualDocument doc;
  if (doc.Load(path) != DocStatus::Ok) return false;
  for (int i = 0; i < kRecords; ++i) {
    doc.GetValue(records[i].blockName, records[i].attribName, &records[i].value);
    records[i].found = V_VT(&records[i].value) != VT_EMPTY;
  }
  return true;
}

bool SameResults(const ValueRecord* a, const ValueRecord* b) {
  for (int i = 0; i < kRecords; ++i) {
    if (a[i].found != b[i].found) return false;
    if (VarCmp(const_cast<VARIANT*>(&a[i].value), const_cast<VARIANT*>(&b[i].value),
               LOCALE_USER_DEFAULT, 0) != static_cast<HRESULT>(VARCMP_EQ) &&
        a[i].found)
      return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int rounds = quick ? 3 : 21;
  const int iterations = quick ? 20 : 1000;

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::wstring path = WriteSampleFile();
  HMODULE dll = LoadLibraryW((ProgramFolder() + L"Vellisto.dll").c_str());
  if (path.empty() || !dll) {
    std::printf("set-up failed (file %d, library %d)\n", !path.empty(), dll != nullptr);
    return 1;
  }
  typedef HRESULT(WINAPI * GetClassObjectFunc)(REFCLSID, REFIID, void**);
  auto getClassObject = reinterpret_cast<GetClassObjectFunc>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  IClassFactory* factory = nullptr;
  IKivFileFormat* format = nullptr;
  if (!getClassObject ||
      getClassObject(CLSID_TvdFormat, IID_IClassFactory, reinterpret_cast<void**>(&factory)) !=
          S_OK ||
      factory->CreateInstance(nullptr, IID_IKivFileFormat, reinterpret_cast<void**>(&format)) !=
          S_OK) {
    std::printf("cannot create the format object\n");
    return 1;
  }
  factory->Release();

  ValueRecord viaPlugin[kRecords], direct[kRecords];
  PrepareRecords(viaPlugin);
  PrepareRecords(direct);
  WIN32_FILE_ATTRIBUTE_DATA info;
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info);

  bool ok = ThroughPlugin(format, path.c_str(), viaPlugin) && Direct(path.c_str(), direct) &&
            SameResults(viaPlugin, direct);
  std::vector<double> pluginTimes, directTimes;
  for (int round = 0; ok && round < rounds; ++round) {
    double start = Now();
    for (int i = 0; ok && i < iterations; ++i) ok = ThroughPlugin(format, path.c_str(), viaPlugin);
    pluginTimes.push_back((Now() - start) / iterations);
    start = Now();
    for (int i = 0; ok && i < iterations; ++i) ok = Direct(path.c_str(), direct);
    directTimes.push_back((Now() - start) / iterations);
  }
  ok = ok && SameResults(viaPlugin, direct);

  FreeRecords(viaPlugin);
  FreeRecords(direct);
  format->Release();
  FreeLibrary(dll);
  DeleteFileW(path.c_str());
  CoUninitialize();
  if (!ok) {
    std::printf("the two paths failed or disagreed\n");
    return 1;
  }
  const double pluginMedian = Median(pluginTimes), directMedian = Median(directTimes);
  std::printf("file: %lu bytes, %d records per GetValues, %d rounds of %d\n", info.nFileSizeLow,
              kRecords, rounds, iterations);
  std::printf("OpenFile+GetValues+Release: %.2f us (median)\n", pluginMedian * 1e6);
  std::printf("VirtualDocument Load+GetValue+destroy: %.2f us (median)\n", directMedian * 1e6);
  std::printf("ratio plugin/direct: %.3f (goal: at most 1.3)\n", pluginMedian / directMedian);
  return 0;
}
