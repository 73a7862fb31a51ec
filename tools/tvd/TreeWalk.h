// The files a command works on, from the paths given on its command line:
// each file named, and with recursion the "*.tvd" files (any case) found in
// each folder named and the folders below it. The walk goes in a stable
// order: the arguments as given, each folder's entries sorted by name. It
// streams: it holds the sorted names of the folders it is in, never a list
// of every file.
#pragma once

#include "NativeFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TreeWalk {
 public:
  struct Entry {
    NativePath path;      // for the system's file calls
    std::string shown;    // as the user spells it: the argument, then the names
                          // below it (natively the bytes, which may not be UTF-8)
    std::string problem;  // set when the entry cannot be read as a file at all
                          // ("is a directory; -r ..."): the reason it cannot be opened
    bool folder = false;  // a folder named without recursion
  };

  // Symbolic links (on Windows, any reparse point) found in the walk are
  // followed only with follow; those named on the command line always are.
  TreeWalk(std::vector<std::string> args, bool recursive, bool follow);
  ~TreeWalk();
  TreeWalk(const TreeWalk&) = delete;
  TreeWalk& operator=(const TreeWalk&) = delete;

  // The next file, or false when there is none left.
  bool Next(Entry& entry);
  // The separator shown between a folder and the names in it.
  static const char kSeparator;

 private:
  struct Item {
    NativePath name;
    int kind;  // what the listing says: see the .cpp
  };
  struct Folder {
    NativePath path;
    std::string shown;
    std::vector<Item> items;  // sorted
    size_t next = 0;
    uint64_t device = 0, id = 0;  // to see a link back to a folder above
  };

  // Lists and pushes a folder, or fills entry with why it cannot be read.
  bool Enter(const NativePath& path, const std::string& shown, Entry& entry);
  bool List(const NativePath& path, Folder& folder, std::string& problem) const;
  // Decides what an item is; true with entry set when it is a file to yield.
  bool Visit(const Folder& parent, const Item& item, Entry& entry);

  std::vector<std::string> m_args;
  size_t m_nextArg = 0;
  bool m_recursive;
  bool m_follow;
  std::vector<Folder> m_stack;
};
