// A virtual document: named blocks of named attributes, one typed value each.
// Names need not be unique; every lookup finds the first match in list order.
#pragma once

#include "Automation.h"
#include "DocStatus.h"

#include <cstdint>
#include <list>

class VirtualDocument {
 public:
  class Block {
   public:
    class Attrib {
     public:
      explicit Attrib(const OLECHAR* attribName);
      ~Attrib();
      Attrib(const Attrib&) = delete;
      Attrib& operator=(const Attrib&) = delete;

      WString name;
      VARIANT value;  // owned; released with the attribute
    };

    explicit Block(const OLECHAR* blockName);

    // The first attribute named pattern exactly, else the first that the
    // pattern's leading or trailing '*' matches.
    Attrib* FindAttrib(const OLECHAR* pattern);
    Attrib& AppendAttrib(const OLECHAR* attribName);

    WString name;
    std::list<Attrib> attribs;  // owned, in file order
  };

  VirtualDocument() = default;
  virtual ~VirtualDocument();
  VirtualDocument(const VirtualDocument&) = delete;
  VirtualDocument& operator=(const VirtualDocument&) = delete;

  // Clears the document, remembers path and reads the file. On BadFormat the
  // blocks read before the fault stay, and FaultOffset() tells where it was.
  DocStatus Load(const OLECHAR* path);
  // Writes the whole document to the remembered path in the newest format.
  // All or nothing: when it fails, the file and the document are unchanged.
  DocStatus Save();
  void Clear();

  Block* FindBlock(const OLECHAR* blockName);
  // Deep-copies the value out, or empties *out when there is none.
  void GetValue(const OLECHAR* blockName, const OLECHAR* attribName, VARIANT* out);
  // Deep-copies the value in (a by-reference value as the value it points
  // to), creating the block and the attribute as needed. False, with the
  // document unchanged, for a value that cannot be copied (an unknown type, a
  // null reference, no memory).
  bool SetValue(const OLECHAR* blockName, const OLECHAR* attribName, const VARIANT* in);

  Block& AppendBlock(const OLECHAR* blockName);
  const std::list<Block>& blocks() const { return blocks_; }
  const WString& path() const { return path_; }
  void SetPath(const OLECHAR* newPath) { path_ = newPath ? newPath : OLESTR(""); }

  // What the last Load found: the header's format version (0, 1 or 2) and,
  // after BadFormat, the byte offset of the read that failed.
  int formatVersion() const { return formatVersion_; }
  uint64_t faultOffset() const { return faultOffset_; }

 private:
  friend class DocumentReader;

  std::list<Block> blocks_;  // owned, in file order, new blocks at the tail
  WString path_;
  int formatVersion_ = 2;
  uint64_t faultOffset_ = 0;
};
