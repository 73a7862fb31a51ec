// A one-line progress display on standard error ("1200 files, 3400 files/s,
// in vault/parts"), redrawn a few times a second, and only when standard
// error is a terminal: never in a pipe, a file or a log.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

class Progress {
 public:
  Progress();
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  bool shown() const { return m_enabled; }
  // Called after each file; draws at most every fifth of a second.
  void Update(size_t done, const std::string& folder);
  // Takes the line away, so that other output starts on a clean line.
  void Clear();

 private:
  bool m_enabled;
  bool m_drawn = false;
  size_t m_width = 80;
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_last;
};
