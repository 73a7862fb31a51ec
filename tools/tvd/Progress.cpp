#include "Progress.h"

#include "Console.h"
#include "FileReport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// The terminal's width in columns, or 0 when standard error is no terminal.
size_t TerminalWidth() {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info;
  HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  if (h == INVALID_HANDLE_VALUE || h == nullptr || !GetConsoleScreenBufferInfo(h, &info)) return 0;
  const int width = info.srWindow.Right - info.srWindow.Left + 1;
  return width > 0 ? static_cast<size_t>(width) : 80;
#else
  if (!isatty(STDERR_FILENO)) return 0;
  winsize size = {};
  return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
#endif
}

// Cut or padded with spaces to exactly width characters (UTF-8 lead bytes
// counted), so that a shorter line covers a longer one drawn before it.
std::string Fit(const std::string& text, size_t width) {
  size_t characters = 0;
  for (size_t at = 0; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
    if (++characters > width) return text.substr(0, at);
  }
  return text + std::string(width - characters, ' ');
}

}  // namespace

Progress::Progress() : m_width(TerminalWidth()) {
  m_enabled = m_width > 0;
  m_start = std::chrono::steady_clock::now();
  m_last = m_start - std::chrono::seconds(1);  // the first file draws at once
}

Progress::~Progress() { Clear(); }

void Progress::Update(size_t done, const std::string& folder) {
  if (!m_enabled) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - m_last < std::chrono::milliseconds(200)) return;
  m_last = now;
  const double seconds = std::chrono::duration<double>(now - m_start).count();
  const size_t rate = seconds > 0 ? static_cast<size_t>(static_cast<double>(done) / seconds) : 0;
  std::string line =
      FileReport::Count(done, "file", "files") + ", " + std::to_string(rate) + " files/s";
  if (!folder.empty()) line += ", in " + FileReport::ShownName(folder);
  // One column short of the width: a full line wraps on some terminals.
  Console::Err("\r" + Fit(line, m_width - 1) + "\r");
  m_drawn = true;
}

void Progress::Clear() {
  if (!m_drawn) return;
  Console::Err("\r" + std::string(m_width - 1, ' ') + "\r");
  m_drawn = false;
}
