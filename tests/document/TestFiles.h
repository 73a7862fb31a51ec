// Real files in a scratch folder for the document tests, and the byte
// layouts of the three header generations for building test files by hand.
#pragma once

#include "Automation.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  std::filesystem::path Path(const std::string& name) const { return root_ / name; }

 private:
  std::filesystem::path root_;
};

WString Wide(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);

// Builds file images field by field.
class FileImage {
 public:
  FileImage& Magic(const char* magic29);  // the 29 characters and a zero byte
  FileImage& U16(uint16_t v);
  FileImage& U32(uint32_t v);
  FileImage& F64(double v);
  FileImage& Raw(const Bytes& bytes);
  FileImage& Wide(const std::u16string& text);  // length, then UTF-16LE
  FileImage& Narrow(const std::string& text);   // length, then 8-bit bytes
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// A VARIANT that clears itself.
struct Var : VARIANT {
  Var() { VariantInit(this); }
  ~Var() { VariantClear(this); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
  static void I4(VARIANT& v, LONG x) { VariantClear(&v); v.vt = VT_I4; v.lVal = x; }
  static void Text(VARIANT& v, const OLECHAR* s) { VariantClear(&v); v.vt = VT_BSTR; v.bstrVal = SysAllocString(s); }
};

// The text of a VT_BSTR as UTF-8, for readable assertions.
std::string Utf8(const VARIANT& v);
std::string Utf8(std::basic_string_view<OLECHAR> s);
