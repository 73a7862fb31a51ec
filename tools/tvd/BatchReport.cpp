#include "BatchReport.h"

#include "Console.h"

namespace {

// Output is written in pieces of this size: few writes, and little held.
constexpr size_t kFlushAt = 64 * 1024;

}  // namespace

BatchReport::BatchReport(const Style& style) : m_style(style) {}

std::string BatchReport::Text(const FileReport& report) const {
  if (m_style.quiet && !report.failed()) return std::string();
  return m_style.json ? report.Json() : report.Line();
}

void BatchReport::Add(const FileReport& report, const std::string& text,
                      const std::string& folder) {
  ++m_files;
  ++m_counts[static_cast<int>(report.status)];
  m_buffer += text;
  if (m_buffer.size() >= kFlushAt) Flush();
  if (m_style.progress) m_progress.Update(m_files, folder);
}

void BatchReport::Flush() {
  if (m_buffer.empty()) return;
  m_progress.Clear();
  std::string text;
  text.swap(m_buffer);
  Console::Out(text);
}

int BatchReport::Finish() {
  m_progress.Clear();
  using Status = FileReport::Status;
  const auto count = [this](Status s) { return m_counts[static_cast<int>(s)]; };
  std::string summary;
  const std::string files = FileReport::Count(m_files, "file", "files");
  if (!m_style.converting) {
    summary = "checked " + files + ": " + std::to_string(count(Status::Ok)) + " ok, " +
              std::to_string(count(Status::BadFormat)) + " bad format, " +
              std::to_string(count(Status::CannotOpen)) + " cannot open\n";
  } else {
    summary = "looked at " + files + ": " + std::to_string(count(Status::Converted)) +
              (m_style.dryRun ? " to convert, " : " converted, ") +
              std::to_string(count(Status::Unchanged)) + " unchanged, " +
              std::to_string(count(Status::Refused)) + " refused" +
              (m_style.dryRun ? " (dry run: nothing written)\n" : "\n");
  }
  if (m_style.summary && !m_style.json) m_buffer += summary;
  Flush();
  if (m_style.summary && m_style.json) Console::Err(summary);
  const bool failed =
      count(Status::CannotOpen) + count(Status::BadFormat) + count(Status::Refused) > 0;
  return failed ? 1 : 0;
}
