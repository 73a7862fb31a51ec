#include "AnsiCodePage.h"

namespace {

unsigned g_codePage = CP_ACP;

bool Decodes(unsigned codePage) {
  CPINFO info;
  return codePage == CP_ACP || (GetCPInfo(codePage, &info) && info.MaxCharSize == 1);
}

}  // namespace

bool SetAnsiCodePage(unsigned codePage) {
  if (!Decodes(codePage)) return false;
  g_codePage = codePage;
  return true;
}

unsigned AnsiCodePage() { return g_codePage == CP_ACP ? GetACP() : g_codePage; }

void AnsiToWide(const uint8_t* text, size_t length, WString& out) {
  out.clear();
  if (length == 0) return;
  out.resize(length);  // single-byte code pages: one unit per byte
  const int n = MultiByteToWideChar(g_codePage, 0, reinterpret_cast<const char*>(text),
                                    static_cast<int>(length), &out[0], static_cast<int>(length));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
}
