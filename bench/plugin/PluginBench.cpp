// The host's data path through Vellisto.dll against the same work done
// directly on VirtualDocument, in one process: OpenFile + GetValues of 20
// records + Release of a 2 KB file, and Load + 20 GetValue + destruction.
// Rounds alternate between the two paths; the medians are compared.
//
//   plugin_bench [--quick]     (--quick: a few rounds, checks that both
//                               paths agree, no timing worth reading)
#include "BenchClock.h"
#include "KivHost.h"
#include "Records.h"
#include "Vellisto.h"
#include "VellistoDll.h"
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
void NameRecords(Records& records) {
  for (int i = 0; i < kRecords; ++i) {
    const int b = i % 5, a = (i * 3) % 8;
    std::wstring attrib = L"Attribute" + std::to_wstring(a);
    if (i % 5 == 1) attrib = L"*ute" + std::to_wstring(a);
    if (i % 9 == 8) attrib = L"Missing" + std::to_wstring(i);
    records.Name(i, (L"Block" + std::to_wstring(b)).c_str(), attrib.c_str());
  }
}

bool ThroughPlugin(IKivFileFormat* format, const wchar_t* path, ValueRecord* records) {
  ComPtr<IKivFileNavigator> navigator;
  if (format->OpenFile(path, 0, navigator.put()) != S_OK) return false;
  return navigator->GetValues(0, 0, 0, kRecords, records) == S_OK;
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

int Run(int rounds, int iterations) {
  const std::wstring path = WriteSampleFile();
  const VellistoDll dll;
  ComPtr<IKivFileFormat> format;
  if (path.empty() || !dll.loaded() || FAILED(dll.CreateFormat(format.put()))) {
    std::printf("set-up failed: no sample file, library or format object\n");
    return 1;
  }
  Records viaPlugin(kRecords), direct(kRecords);
  NameRecords(viaPlugin);
  NameRecords(direct);
  WIN32_FILE_ATTRIBUTE_DATA info;
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info);

  bool ok = ThroughPlugin(format.get(), path.c_str(), viaPlugin.data()) &&
            Direct(path.c_str(), direct.data()) && SameResults(viaPlugin.data(), direct.data());
  std::vector<double> pluginTimes, directTimes;
  for (int round = 0; ok && round < rounds; ++round) {
    double start = Now();
    for (int i = 0; ok && i < iterations; ++i)
      ok = ThroughPlugin(format.get(), path.c_str(), viaPlugin.data());
    pluginTimes.push_back((Now() - start) / iterations);
    start = Now();
    for (int i = 0; ok && i < iterations; ++i) ok = Direct(path.c_str(), direct.data());
    directTimes.push_back((Now() - start) / iterations);
  }
  ok = ok && SameResults(viaPlugin.data(), direct.data());
  DeleteFileW(path.c_str());
  if (!ok) {
    std::printf("the two paths failed or disagreed\n");
    return 1;
  }
  const double pluginMedian = Median(pluginTimes), directMedian = Median(directTimes);
  std::printf("file: %lu bytes, %d records per GetValues, %d rounds of %d\n", info.nFileSizeLow,
              kRecords, rounds, iterations);
  std::printf("OpenFile+GetValues+Release: %.2f us (median)\n", pluginMedian * 1e6);
  std::printf("VirtualDocument Load+GetValue+destroy: %.2f us (median)\n", directMedian * 1e6);
  std::printf("ratio plugin/direct: %.3f (goal: at most 1.05)\n", pluginMedian / directMedian);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int status = quick ? Run(3, 20) : Run(21, 1000);
  CoUninitialize();
  return status;
}
