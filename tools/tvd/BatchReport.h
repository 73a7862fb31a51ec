// The report of a command over many files: each file's line (for people, or
// JSON Lines), written through a buffer rather than one write per file, the
// progress display, and the summary at the end. The summary goes to standard
// output under the lines for people, and to standard error when standard
// output is JSON, so that the JSON stays one object per line.
#pragma once

#include "FileReport.h"
#include "Progress.h"

#include <cstddef>
#include <string>

class BatchReport {
 public:
  struct Style {
    bool json = false;
    bool quiet = false;    // only the files that failed
    bool summary = true;   // a summary line at the end
    bool progress = true;  // the progress display, on a terminal
    bool converting = false;
    bool dryRun = false;
  };

  explicit BatchReport(const Style& style);

  // The line to write for report: "" when -q leaves it out. Made on the
  // worker threads, so that they, not the one thread that writes, do the work.
  std::string Text(const FileReport& report) const;
  // Takes one file's report and its text, in order; folder is the folder it
  // is in, for the progress display.
  void Add(const FileReport& report, const std::string& text, const std::string& folder);
  // Writes what is left and the summary; returns the exit status: 1 when
  // any file failed, else 0.
  int Finish();

 private:
  void Flush();

  Style m_style;
  Progress m_progress;
  std::string m_buffer;
  size_t m_files = 0;
  size_t m_counts[6] = {};  // by FileReport::Status
};
