// Reads a virtual document file's bytes into a document. Lengths and counts
// are never trusted: every one is checked against the bytes that are left
// before anything is allocated for it.
//
// A load checks every record but decodes only the block names. A block keeps
// the checked bytes of its attributes and decodes them when they are first
// used, so that opening a large file to read a few values costs little more
// than reading it. That decode trusts the check and looks at every field
// once. In the newest format it leaves names and texts where they lie in
// the kept bytes: a name's zero character goes over the tag after it, a
// text's BSTR length over its stored length and its zero character over
// the start of the next record. Only a block's last text, which has no next
// record, moves two bytes back with its name to make that room.
#pragma once

#include "ByteReader.h"
#include "VirtualDocument.h"

#include <functional>

class DocumentReader {
 public:
  // The bytes must stay as long as the document's blocks: the document's
  // own loads keep them in its pool, and decoding rewrites them.
  DocumentReader(uint8_t* data, size_t size, int version = 0)
      : m_in(data, size), m_data(data), m_version(version) {}

  // Ok or BadFormat; blocks read before a fault stay in the document.
  DocStatus ReadBody(VirtualDocument& doc);
  // Decodes the attributes that ReadBody checked and left in block.
  static void DecodeAttribs(VirtualDocument::Block& block);
  // Hands block's attributes to visit in order without keeping them: those
  // not yet decoded are decoded one at a time into scratch memory, so that
  // a walk over a whole large document (a dump) costs the memory of one
  // attribute, not of the document's decoded form. The kept bytes are left
  // as they are.
  using Visit = std::function<void(const VirtualDocument::Block::Attrib&)>;
  static void ForEachAttrib(const VirtualDocument::Block& block, const Visit& visit);
  // How many attributes block holds, decoded or not.
  static size_t AttribCount(const VirtualDocument::Block& block);
  uint64_t position() const { return m_in.position(); }

 private:
  using Attrib = VirtualDocument::Block::Attrib;

  bool ReadHeader();
  DocStatus Fail(VirtualDocument& doc);
  bool ReadBlock(VirtualDocument& doc);
  // Checks one attribute record of 8-bit text (format versions 0 and 1).
  bool CheckAttrib();
  // Checks count attribute records of the newest format in one pass.
  bool CheckWideAttribs(uint32_t count);
  // Moves the reader past a checked run of bytes that ends at reached and
  // records a fault at fault.
  bool StopAt(const uint8_t* reached, const uint8_t* fault);
  // The next string's stored characters: count of them, width bytes each.
  bool ReadChars(const uint8_t*& chars, size_t& count);

  // Make attributes from checked records. The copy takes room for its name
  // and text from pool; the one in place (the newest format only) takes
  // nothing and rewrites the records.
  Attrib* DecodeCopy(const uint8_t*& at, void* slot, DocumentPool& pool);
  // Makes count attributes in slots from the checked records in the size
  // bytes at at, in place.
  static void DecodeInPlace(uint8_t* at, size_t size, Attrib* slots, uint32_t count);
  // Makes the attribute in slot from the record at at, moves at past it and
  // reads the next record's name length, unless the record is the block's
  // last. nameLength holds the record's own; lastLook tells how far the
  // search for a zero may read.
  template <bool kLast>
  static void DecodeRecord(uint8_t*& at, uint32_t& nameLength, Attrib* slot, uintptr_t lastLook);
  // Decodes count stored characters into room for as many, cut at the first
  // zero character; returns how many were kept.
  size_t Decode(const uint8_t* chars, size_t count, OLECHAR* into);
  PooledString DecodeName(DocumentPool& pool, const uint8_t* chars, size_t count);

  ByteReader m_in;
  uint8_t* m_data;  // borrowed: what m_in reads
  int m_version;
  WString m_wide;  // reused for 8-bit text
  // The check walks a chain: each record's place depends on the lengths
  // before it, and a step that waits for a load to know its length takes
  // the load's whole latency. Most documents give their blocks the same
  // properties in the same order, so a record usually has the shape of the
  // one at its place in the block before: as long a name, the same tag. The
  // check takes that record's step at once and lets the loads meanwhile
  // confirm it. A wrong guess costs a mispredicted branch and a record read
  // field by field. Places past the table's size look back the table's size.
  struct Shape {
    uint32_t nameLength;
    uint32_t tagAt;  // from the record's start
    uint32_t size;   // of the whole record, or up to a text's characters
    uint16_t tag;
    bool text;
  };
  // The shape of a record with a name of nameLength characters (less than
  // 2^30) and tag.
  static Shape ShapeOf(uint32_t nameLength, uint16_t tag);
  static constexpr uint32_t kGuessedPlaces = 1024;
  Shape m_shapes[kGuessedPlaces];
  uint32_t m_shapesMade = 0;  // places given a first guess
};
