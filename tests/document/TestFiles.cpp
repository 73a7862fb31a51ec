#include "TestFiles.h"

#include "Utf.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
  std::random_device random;
  root_ = fs::temp_directory_path() / ("vellisto-test-" + std::to_string(random()));
  fs::create_directories(root_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  // Read-only files would stop the removal on Windows.
  for (auto& entry : fs::recursive_directory_iterator(root_, ignored))
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root_, ignored);
}

WString Wide(const fs::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return path.u16string();
#endif
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

FileImage& FileImage::Magic(const char* magic29) {
  bytes_.insert(bytes_.end(), magic29, magic29 + 29);
  bytes_.push_back(0);
  return *this;
}

FileImage& FileImage::U16(uint16_t v) {
  bytes_.push_back(static_cast<uint8_t>(v));
  bytes_.push_back(static_cast<uint8_t>(v >> 8));
  return *this;
}

FileImage& FileImage::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return *this;
}

FileImage& FileImage::F64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  return *this;
}

FileImage& FileImage::Raw(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

FileImage& FileImage::Wide(const std::u16string& text) {
  U32(static_cast<uint32_t>(text.size()));
  for (char16_t c : text) U16(c);
  return *this;
}

FileImage& FileImage::Narrow(const std::string& text) {
  U32(static_cast<uint32_t>(text.size()));
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return *this;
}

std::string Utf8(std::basic_string_view<OLECHAR> s) { return Utf8FromUtf16(WString(s)); }

std::string Utf8(const VARIANT& v) {
  if (v.vt != VT_BSTR) return "<vt " + std::to_string(v.vt) + ">";
  return v.bstrVal ? Utf8FromUtf16(WString(v.bstrVal, SysStringLen(v.bstrVal))) : "";
}
