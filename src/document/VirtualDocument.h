// A virtual document: named blocks of named attributes, one typed value each.
// Names need not be unique; every lookup finds the first match in list order.
#pragma once

#include "Automation.h"
#include "DocStatus.h"
#include "DocumentPool.h"
#include "FileFailure.h"
#include "NameIndex.h"
#include "PoolAllocator.h"
#include "PooledString.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <new>

class VirtualDocument {
 public:
  class Block {
   public:
    class Attrib {
     public:
      explicit Attrib(PooledString attribName) : name(attribName), m_value() {}
      ~Attrib();
      Attrib(const Attrib&) = delete;
      Attrib& operator=(const Attrib&) = delete;

      const VARIANT& value() const { return m_value; }
      // Takes the value over, releasing the old one; *taken is left empty.
      void Take(VARIANT& taken);

      const PooledString name;

     private:
      friend class DocumentReader;
      friend class Block;
      // A value that the attribute does not own: nothing, or a text read
      // from the file that the pool owns.
      Attrib(PooledString attribName, const VARIANT& value) : name(attribName), m_value(value) {}

      VARIANT m_value;  // owned when m_owned; else nothing to release, or a
                        // text read from the file that the pool owns
      bool m_owned = false;
    };

    // A block's attributes in order, in runs that lie side by side in the
    // pool: one run for those decoded from a file, runs of growing room for
    // those added later. An attribute never moves.
    class AttribList {
     public:
      struct Run {
        Attrib* items;  // borrowed: the pool's
        size_t count;   // made so far
        size_t room;    // how many fit
        Run* next;      // borrowed: the run after this one, or null
      };

      template <typename T>
      class Iterator {
       public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Attrib;
        using difference_type = std::ptrdiff_t;
        using pointer = T*;
        using reference = T&;
        Iterator(Run* run, size_t index) : m_run(run), m_index(index) {}
        T& operator*() const { return m_run->items[m_index]; }
        T* operator->() const { return m_run->items + m_index; }
        Iterator& operator++() {
          if (++m_index == m_run->count) {
            m_run = m_run->next;
            m_index = 0;
          }
          return *this;
        }
        Iterator operator++(int) {
          Iterator was = *this;
          ++*this;
          return was;
        }
        bool operator==(const Iterator& other) const {
          return m_run == other.m_run && m_index == other.m_index;
        }
        bool operator!=(const Iterator& other) const { return !(*this == other); }

       private:
        Run* m_run;  // borrowed; null at the end
        size_t m_index;
      };
      using iterator = Iterator<Attrib>;
      using const_iterator = Iterator<const Attrib>;

      iterator begin() { return iterator(m_head, 0); }
      iterator end() { return iterator(nullptr, 0); }
      const_iterator begin() const { return const_iterator(m_head, 0); }
      const_iterator end() const { return const_iterator(nullptr, 0); }
      size_t size() const { return m_size; }
      bool empty() const { return m_size == 0; }
      const Attrib& front() const { return m_head->items[0]; }
      const Attrib& back() const { return m_tail->items[m_tail->count - 1]; }

      // A run with room for room attributes, none made yet, not linked.
      static Run* MakeRun(DocumentPool& pool, size_t room) {
        if (room > SIZE_MAX / sizeof(Attrib)) throw std::bad_alloc();
        auto* items = static_cast<Attrib*>(pool.Allocate(room * sizeof(Attrib), alignof(Attrib)));
        return new (pool.Allocate(sizeof(Run), alignof(Run))) Run{items, 0, room, nullptr};
      }
      // Links run at the tail; it holds at least one attribute.
      void Append(Run* run) {
        (m_tail ? m_tail->next : m_head) = run;
        m_tail = run;
        m_size += run->count;
      }
      // Makes an attribute named attribName at the tail, in the tail run
      // when it has room. A new run has room for as many attributes as the
      // list holds, up to a limit, so that at most about half of the room
      // is unused and a long run of additions takes few runs.
      Attrib& Add(DocumentPool& pool, PooledString attribName) {
        if (m_tail && m_tail->count < m_tail->room) {
          Attrib* made = new (m_tail->items + m_tail->count) Attrib(attribName);
          ++m_tail->count;
          ++m_size;
          return *made;
        }
        Run* run = MakeRun(pool, m_size == 0 ? 1 : m_size < 1024 ? m_size : 1024);
        Attrib* made = new (run->items) Attrib(attribName);
        run->count = 1;
        Append(run);
        return *made;
      }

     private:
      Run* m_head = nullptr;  // borrowed: the pool's
      Run* m_tail = nullptr;
      size_t m_size = 0;
    };

    Block(PooledString blockName, DocumentPool& pool) : name(blockName), m_pool(&pool) {}
    // Releases the values its attributes own. The attributes of a block that
    // never handed one out own nothing, so they are not walked.
    ~Block();
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    // In file order, with attributes added later at the tail. Attributes
    // loaded from a file are decoded here, when first asked for.
    const AttribList& attribs() const { return Decoded(); }
    // The first attribute named pattern exactly, else the first that the
    // pattern's leading or trailing '*' matches.
    Attrib* FindAttrib(const OLECHAR* pattern);
    // The name is copied, up to its first zero character.
    Attrib& AppendAttrib(const OLECHAR* attribName);
    Attrib& AppendAttrib(const OLECHAR* attribName, size_t size);

    const PooledString name;

   private:
    friend class DocumentReader;
    friend class VirtualDocument;

    // Attribute records read from the file and checked, not yet decoded.
    struct Stored {
      uint8_t* data;  // borrowed: the file's bytes in the pool
      size_t size;
      uint32_t count;
      int version;
    };

    AttribList& Decoded() const;
    // Decoded, for a caller that may change an attribute.
    AttribList& HandedOut();

    mutable AttribList m_attribs;  // owned
    mutable Stored m_stored = {};
    NameIndex<Attrib> m_index;
    DocumentPool* m_pool;      // borrowed: the document's
    bool m_handedOut = false;  // an attribute may own its value
  };

  VirtualDocument() = default;
  virtual ~VirtualDocument();
  VirtualDocument(const VirtualDocument&) = delete;
  VirtualDocument& operator=(const VirtualDocument&) = delete;

  // Clears the document, remembers path and reads the file. On BadFormat the
  // blocks read before the fault stay, and FaultOffset() tells where it was.
  DocStatus Load(const OLECHAR* path);
  // Clears the document and reads a file's content from memory, as Load
  // does from the file; the path is kept.
  DocStatus Read(const uint8_t* data, size_t size);
  // Reads a file's content as Load does, without copying it: the bytes are
  // the caller's and must stay for as long as the blocks read from them (a
  // tool that opened the file itself reads it once). Decoding a block
  // rewrites its names and texts in place, so the bytes are the document's
  // to change meanwhile. The path is kept.
  DocStatus ReadBorrowed(uint8_t* data, size_t size);
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

  // The name is copied, up to its first zero character.
  Block& AppendBlock(const OLECHAR* blockName);
  Block& AppendBlock(const OLECHAR* blockName, size_t size);
  using BlockList = std::list<Block, PoolAllocator<Block>>;
  const BlockList& blocks() const { return m_blocks; }
  const WString& path() const { return m_path; }
  void SetPath(const OLECHAR* newPath) { m_path = newPath ? newPath : OLESTR(""); }

  // What the last Load found: the header's format version (0, 1 or 2) and,
  // after BadFormat, the byte offset of the read that failed.
  int formatVersion() const { return m_formatVersion; }
  uint64_t faultOffset() const { return m_faultOffset; }
  // Why the last Load or Save did not succeed, recorded when it failed:
  // the step and the system's error code (Step::None after a success or a
  // bad format).
  const FileFailure& fileFailure() const { return m_fileFailure; }

 private:
  friend class DocumentReader;

  // Room in the pool for a file's bytes; null when there is not enough memory.
  uint8_t* KeepBytes(uint64_t size);
  // Reads bytes that the pool keeps.
  DocStatus ReadKept(uint8_t* bytes, size_t size);

  // Blocks, attributes and names live in the pool, which therefore comes
  // first: it must outlive them.
  DocumentPool m_pool;
  BlockList m_blocks{PoolAllocator<Block>(m_pool)};  // owned, in file order, new blocks at the tail
  NameIndex<Block> m_blockIndex;
  WString m_path;
  int m_formatVersion = 2;
  uint64_t m_faultOffset = 0;
  FileFailure m_fileFailure;
};
