// check and convert over many files: the files and folders named, walked in
// a stable order on a number of threads, with a report of every file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class VaultCommands {
 public:
  struct Options {
    std::vector<std::string> paths;
    bool recursive = false;
    bool follow = false;
    size_t jobs = 0;  // 0: one per processor
    bool json = false;
    bool quiet = false;
    bool dryRun = false;  // convert only
  };

  // The exit status: 1 when any file is not ok (or, for convert, was refused).
  static int Check(const Options& options);
  // Brings every file to the newest generation in place, each all or
  // nothing; a file already in the newest form is left as it is.
  static int Convert(const Options& options);
  // True when path names a folder (so that convert without -r can say so).
  static bool IsFolder(const std::string& path);
};
