// Saves one document over and over until it is killed. Every save stamps
// each block with the save's number, so a reader can tell a whole document
// (one number throughout) from a mix.
//
// usage: save_loop FILE STARTED
// STARTED is a file made once the first save is done.
#include "VirtualDocument.h"

#include "Utf.h"

#include <cstdio>

int main(int argc, char** argv) {
  WString path;
  if (argc != 3 || !Utf16FromUtf8(argv[1], path)) return 2;
  VirtualDocument doc;
  if (doc.Load(path.c_str()) != DocStatus::Ok) return 1;
  if (doc.blocks().empty() || doc.blocks().front().attribs().empty()) return 1;
  VARIANT v = doc.blocks().front().attribs().front().value();  // the stamp: VT_I4
  if (v.vt != VT_I4) return 1;
  for (;;) {
    ++v.lVal;
    for (const auto& block : doc.blocks()) {
      const WString name(block.name);
      doc.SetValue(name.c_str(), OLESTR("N"), &v);
    }
    // A reader may hold the file for a moment: then the next one.
    if (doc.Save() == DocStatus::Ok && argv[2]) {
      if (FILE* started = std::fopen(argv[2], "w")) std::fclose(started);
      argv[2] = nullptr;
    }
  }
}
