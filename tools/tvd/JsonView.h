// The JSON form of a document, made to come back bit for bit:
//
//   {"generation": "...", "version": N, "blocks": [{"name": "...",
//    "attributes": [{"name": "...", "type": "i4"|"r8"|"date"|"text",
//                    "value": ...}]}]}
//
// What JSON cannot hold directly gets a sibling key that the reading side
// prefers: "bits" (the double's 64-bit pattern, 16 hex digits) beside a
// non-finite r8 or date, whose "value" is then "NaN", "Infinity" or
// "-Infinity"; "name_utf16" or "value_utf16" (UTF-16 code units, 4 hex
// digits each) beside a name or text that holds an unpaired surrogate, whose
// readable form shows U+FFFD in its place. Dates also carry "iso", their
// calendar form, which only people read. JsonImport reads it back.
#pragma once

#include "ChunkedOut.h"
#include "VirtualDocument.h"

#include <string>

class JsonView {
 public:
  // Writes the JSON of doc as it goes, laid out as nlohmann's dump(2) lays
  // out the whole tree (two-space indents), holding one attribute at a
  // time: blocks that are not decoded yet stay so.
  static void Write(const VirtualDocument& doc, const std::string& generation, int version,
                    ChunkedOut& out);
};
