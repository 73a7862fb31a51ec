#include "AnsiCodePage.h"

#include "UniqueHandle.h"

#include <iconv.h>

#include <cerrno>
#include <mutex>
#include <string>

namespace {

constexpr unsigned kDefaultCodePage = 1252;

struct Table {
  unsigned codePage = 0;
  OLECHAR units[256];
};

iconv_t NoConverter() { return reinterpret_cast<iconv_t>(-1); }
using UniqueIconv = UniqueHandle<iconv_t, ::iconv_close, NoConverter>;

std::mutex g_lock;
Table g_table;

// Builds the byte-to-unit table through iconv. Bytes that the code page
// leaves undefined decode to U+0080..U+00FF of the same value, as the
// system's conversion does for Windows-1252.
bool BuildTable(unsigned codePage, Table& table) {
  const std::string name = "WINDOWS-" + std::to_string(codePage);
  const UniqueIconv converter(iconv_open("UTF-16LE", name.c_str()));
  if (!converter) return false;
  const iconv_t cd = converter.get();
  for (unsigned b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    unsigned char out[8];
    char* inp = &in;
    char* outp = reinterpret_cast<char*>(out);
    size_t inLeft = 1, outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const bool ok = iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) &&
                    sizeof out - outLeft == 2;
    // A byte that only starts a sequence belongs to a multi-byte code page,
    // which one unit per byte cannot decode.
    if (!ok && errno == EINVAL) return false;
    table.units[b] = ok ? static_cast<OLECHAR>(out[0] | out[1] << 8) : static_cast<OLECHAR>(b);
  }
  table.codePage = codePage;
  return true;
}

}  // namespace

bool SetAnsiCodePage(unsigned codePage) {
  if (codePage == 0) codePage = kDefaultCodePage;
  Table table;
  if (!BuildTable(codePage, table)) return false;
  std::lock_guard<std::mutex> hold(g_lock);
  g_table = table;
  return true;
}

unsigned AnsiCodePage() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_table.codePage ? g_table.codePage : kDefaultCodePage;
}

void AnsiToWide(const uint8_t* text, size_t length, WString& out) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_table.codePage == 0 && !BuildTable(kDefaultCodePage, g_table)) {
    for (unsigned b = 0; b < 256; ++b) g_table.units[b] = static_cast<OLECHAR>(b);
    g_table.codePage = kDefaultCodePage;
  }
  out.resize(length);
  for (size_t i = 0; i < length; ++i) out[i] = g_table.units[text[i]];
}
