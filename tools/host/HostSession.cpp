#include "HostSession.h"

#include "UniqueBstr.h"
#include "ValueText.h"
#include "Vellisto.h"

#include <cstdio>
#include <cwchar>
#include <utility>

namespace {

typedef HRESULT(WINAPI* GetClassObjectFunc)(REFCLSID, REFIID, void**);
typedef HRESULT(WINAPI* CanUnloadNowFunc)();

void Print(const std::string& line) {
  const std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

std::string Hex(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
  return buffer;
}

// A record array whose names and values the host owns.
class Records {
 public:
  explicit Records(size_t n) : m_records(n) {
    for (ValueRecord& r : m_records) {
      r = ValueRecord();
      VariantInit(&r.value);
    }
  }
  ~Records() {
    for (ValueRecord& r : m_records) {
      SysFreeString(r.attribName);
      SysFreeString(r.blockName);
      VariantClear(&r.value);
    }
  }
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;
  ValueRecord* data() { return m_records.data(); }
  ValueRecord& operator[](size_t i) { return m_records[i]; }
  LONG count() const { return static_cast<LONG>(m_records.size()); }

 private:
  std::vector<ValueRecord> m_records;
};

}  // namespace

HostSession::HostSession(std::wstring dllPath) : m_dllPath(std::move(dllPath)) {}

HostSession::~HostSession() { Finish(); }

HRESULT HostSession::Report(const char* call, HRESULT hr) {
  Print(std::string(call) + " -> " + Hex(hr));
  if (FAILED(hr)) m_sawFailure = true;
  return hr;
}

bool HostSession::Start() {
  if (m_dllPath.empty()) {
    // As a host finds a registered plugin: by its ProgID.
    CLSID clsid{};
    if (FAILED(Report("CLSIDFromProgID", CLSIDFromProgID(kFormatProgId, &clsid)))) return false;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IKivFileFormat,
                                        m_format.put_void());
    return SUCCEEDED(Report("CoCreateInstance", hr));
  }
  m_dll.reset(LoadLibraryW(m_dllPath.c_str()));
  if (!m_dll) {
    Print("LoadLibrary " + Utf8(m_dllPath) + " failed, error " + std::to_string(GetLastError()));
    return false;
  }
  auto getClassObject = reinterpret_cast<GetClassObjectFunc>(
      reinterpret_cast<void*>(GetProcAddress(m_dll.get(), "DllGetClassObject")));
  if (!getClassObject) {
    Print("DllGetClassObject is not exported");
    return false;
  }
  ComPtr<IClassFactory> factory;
  if (FAILED(Report("DllGetClassObject",
                    getClassObject(CLSID_TvdFormat, IID_IClassFactory, factory.put_void()))))
    return false;
  return SUCCEEDED(Report(
      "CreateInstance", factory->CreateInstance(nullptr, IID_IKivFileFormat, m_format.put_void())));
}

void HostSession::Finish() {
  Close();
  m_format.Reset();
  if (!m_dll) return;
  auto canUnloadNow = reinterpret_cast<CanUnloadNowFunc>(
      reinterpret_cast<void*>(GetProcAddress(m_dll.get(), "DllCanUnloadNow")));
  if (canUnloadNow) Report("DllCanUnloadNow", canUnloadNow());
  m_dll.reset();
}

bool HostSession::Run(const std::vector<std::wstring>& words) {
  if (words.empty()) return true;
  const std::wstring& command = words[0];
  if (command == L"info" && words.size() == 1) return Info();
  if (command == L"open" && words.size() == 2) return Open(words);
  if (command == L"get" && words.size() >= 3) return Get(words);
  if (command == L"set" && (words.size() == 4 || words.size() == 6)) return Set(words);
  if (command == L"save" && words.size() == 1) return Save();
  if (command == L"close" && words.size() == 1) {
    Close();
    return true;
  }
  Print("? " + Utf8(command) +
        ": commands are info, open FILE, get [--first] BLOCK PATTERN..., "
        "set BLOCK PATTERN VALUE [--type i4|r8|date|text], save, close");
  return false;
}

bool HostSession::Info() {
  UniqueBstr maker, description, extensions;
  if (SUCCEEDED(
          Report("GetInfo", m_format->GetInfo(maker.put(), description.put(), extensions.put())))) {
    Print("maker: " + Utf8(maker.get()));
    Print("description: " + Utf8(description.get()));
    Print("extensions: " + Utf8(extensions.get()));
  }
  ULONG flags = 0;
  if (SUCCEEDED(Report("GetCapabilities", m_format->GetCapabilities(L"tvd", &flags))))
    Print("flags: " + Hex(static_cast<HRESULT>(flags)));
  return true;
}

bool HostSession::Open(const std::vector<std::wstring>& words) {
  Close();
  ComPtr<IKivFileNavigator> navigator;
  if (SUCCEEDED(Report("OpenFile", m_format->OpenFile(words[1].c_str(), 0, navigator.put()))))
    m_navigator = std::move(navigator);
  else if (navigator)
    Print("OpenFile failed but returned a navigator");
  return true;
}

bool HostSession::Get(const std::vector<std::wstring>& words) {
  size_t first = 1;
  const bool stopAtFirst = words[1] == L"--first";
  if (stopAtFirst) ++first;
  if (words.size() < first + 2) {
    Print("? get needs a block and at least one pattern");
    return false;
  }
  if (!m_navigator) {
    Print("no file is open");
    return true;
  }
  const std::wstring& block = words[first];
  Records records(words.size() - first - 1);
  for (LONG i = 0; i < records.count(); ++i) {
    records[i].blockName = SysAllocString(block.c_str());
    records[i].attribName = SysAllocString(words[first + 1 + i].c_str());
  }
  if (FAILED(Report("GetValues", m_navigator->GetValues(0, stopAtFirst ? 1 : 0, 0, records.count(),
                                                        records.data()))))
    return true;
  for (LONG i = 0; i < records.count(); ++i)
    Print(Utf8(block) + "/" + Utf8(records[i].attribName) +
          ": found=" + std::to_string(records[i].found) + " " + DescribeValue(records[i].value));
  return true;
}

bool HostSession::Set(const std::vector<std::wstring>& words) {
  std::wstring type = L"text";
  if (words.size() == 6) {
    if (words[4] != L"--type") {
      Print("? set BLOCK PATTERN VALUE [--type i4|r8|date|text]");
      return false;
    }
    type = words[5];
  }
  Records records(1);
  if (!ParseValue(type, words[3], records[0].value)) {
    Print("? '" + Utf8(words[3]) + "' is not a value of type " + Utf8(type));
    return false;
  }
  if (!m_navigator) {
    Print("no file is open");
    return true;
  }
  records[0].blockName = SysAllocString(words[1].c_str());
  records[0].attribName = SysAllocString(words[2].c_str());
  if (SUCCEEDED(Report("SetValues", m_navigator->SetValues(0, 0, 0, 1, records.data(), 0))))
    Print("found=" + std::to_string(records[0].found));
  return true;
}

bool HostSession::Save() {
  if (!m_navigator) {
    Print("no file is open");
    return true;
  }
  Report("Save", m_navigator->Save());
  return true;
}

void HostSession::Close() { m_navigator.Reset(); }
