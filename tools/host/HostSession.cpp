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
  explicit Records(size_t n) : records_(n) {
    for (ValueRecord& r : records_) {
      r = ValueRecord();
      VariantInit(&r.value);
    }
  }
  ~Records() {
    for (ValueRecord& r : records_) {
      SysFreeString(r.attribName);
      SysFreeString(r.blockName);
      VariantClear(&r.value);
    }
  }
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;
  ValueRecord* data() { return records_.data(); }
  ValueRecord& operator[](size_t i) { return records_[i]; }
  LONG count() const { return static_cast<LONG>(records_.size()); }

 private:
  std::vector<ValueRecord> records_;
};

}  // namespace

HostSession::HostSession(std::wstring dllPath) : dllPath_(std::move(dllPath)) {}

HostSession::~HostSession() { Finish(); }

HRESULT HostSession::Report(const char* call, HRESULT hr) {
  Print(std::string(call) + " -> " + Hex(hr));
  if (FAILED(hr)) sawFailure_ = true;
  return hr;
}

bool HostSession::Start() {
  if (dllPath_.empty()) {
    // As a host finds a registered plugin: by its ProgID.
    CLSID clsid{};
    if (FAILED(Report("CLSIDFromProgID", CLSIDFromProgID(kFormatProgId, &clsid)))) return false;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IKivFileFormat,
                                        format_.put_void());
    return SUCCEEDED(Report("CoCreateInstance", hr));
  }
  dll_.reset(LoadLibraryW(dllPath_.c_str()));
  if (!dll_) {
    Print("LoadLibrary " + Utf8(dllPath_) + " failed, error " + std::to_string(GetLastError()));
    return false;
  }
  auto getClassObject = reinterpret_cast<GetClassObjectFunc>(
      reinterpret_cast<void*>(GetProcAddress(dll_.get(), "DllGetClassObject")));
  if (!getClassObject) {
    Print("DllGetClassObject is not exported");
    return false;
  }
  ComPtr<IClassFactory> factory;
  if (FAILED(Report("DllGetClassObject",
                    getClassObject(CLSID_TvdFormat, IID_IClassFactory, factory.put_void()))))
    return false;
  return SUCCEEDED(Report("CreateInstance", factory->CreateInstance(nullptr, IID_IKivFileFormat,
                                                                     format_.put_void())));
}

void HostSession::Finish() {
  Close();
  format_.Reset();
  if (!dll_) return;
  auto canUnloadNow = reinterpret_cast<CanUnloadNowFunc>(
      reinterpret_cast<void*>(GetProcAddress(dll_.get(), "DllCanUnloadNow")));
  if (canUnloadNow) Report("DllCanUnloadNow", canUnloadNow());
  dll_.reset();
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
  Print("? " + Utf8(command) + ": commands are info, open FILE, get [--first] BLOCK PATTERN..., "
        "set BLOCK PATTERN VALUE [--type i4|r8|date|text], save, close");
  return false;
}

bool HostSession::Info() {
  UniqueBstr maker, description, extensions;
  if (SUCCEEDED(
          Report("GetInfo", format_->GetInfo(maker.put(), description.put(), extensions.put())))) {
    Print("maker: " + Utf8(maker.get()));
    Print("description: " + Utf8(description.get()));
    Print("extensions: " + Utf8(extensions.get()));
  }
  ULONG flags = 0;
  if (SUCCEEDED(Report("GetCapabilities", format_->GetCapabilities(L"tvd", &flags))))
    Print("flags: " + Hex(static_cast<HRESULT>(flags)));
  return true;
}

bool HostSession::Open(const std::vector<std::wstring>& words) {
  Close();
  ComPtr<IKivFileNavigator> navigator;
  if (SUCCEEDED(Report("OpenFile", format_->OpenFile(words[1].c_str(), 0, navigator.put()))))
    navigator_ = std::move(navigator);
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
  if (!navigator_) {
    Print("no file is open");
    return true;
  }
  const std::wstring& block = words[first];
  Records records(words.size() - first - 1);
  for (LONG i = 0; i < records.count(); ++i) {
    records[i].blockName = SysAllocString(block.c_str());
    records[i].attribName = SysAllocString(words[first + 1 + i].c_str());
  }
  if (FAILED(Report("GetValues", navigator_->GetValues(0, stopAtFirst ? 1 : 0, 0, records.count(),
                                                       records.data()))))
    return true;
  for (LONG i = 0; i < records.count(); ++i)
    Print(Utf8(block) + "/" + Utf8(records[i].attribName) + ": found=" +
          std::to_string(records[i].found) + " " + DescribeValue(records[i].value));
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
  if (!navigator_) {
    Print("no file is open");
    return true;
  }
  records[0].blockName = SysAllocString(words[1].c_str());
  records[0].attribName = SysAllocString(words[2].c_str());
  if (SUCCEEDED(Report("SetValues", navigator_->SetValues(0, 0, 0, 1, records.data(), 0))))
    Print("found=" + std::to_string(records[0].found));
  return true;
}

bool HostSession::Save() {
  if (!navigator_) {
    Print("no file is open");
    return true;
  }
  Report("Save", navigator_->Save());
  return true;
}

void HostSession::Close() { navigator_.Reset(); }
