#include "VaultCommands.h"

#include "BatchReport.h"
#include "ByteWriter.h"
#include "DocumentFile.h"
#include "DocumentReader.h"
#include "DocumentWriter.h"
#include "FileAccess.h"
#include "OrderedPool.h"
#include "TreeWalk.h"
#include "Utf.h"
#include "VirtualDocument.h"

#include <cstring>
#include <memory>
#include <thread>

namespace {

using Status = FileReport::Status;

size_t Workers(size_t jobs) {
  if (jobs > 0) return jobs;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

// Reads one file as every command does, filling in what was found: a file
// without a header (0 bytes) is no document to the tool, whatever the
// library makes of it. Ok only for a file read to its end.
DocStatus ReadInto(DocumentFile& file, const TreeWalk::Entry& entry, VirtualDocument& doc,
                   FileReport& report) {
  report.shown = entry.shown;
  if (!entry.problem.empty()) {
    report.reason = entry.problem;
    return DocStatus::CannotOpen;
  }
  DocStatus status = file.Load(entry.path, doc);
  report.generation = file.Generation();
  if (status == DocStatus::CannotOpen) {
    report.reason = FileAccess::WhyCannotRead(file.failure());
    return status;
  }
  if (status == DocStatus::Ok && report.generation.empty()) status = DocStatus::BadFormat;
  if (status == DocStatus::BadFormat) {
    report.faulted = true;
    report.offset = doc.faultOffset();
    report.completeBlocks = doc.blocks().size();
    return status;
  }
  report.read = true;
  report.blocks = doc.blocks().size();
  for (const VirtualDocument::Block& b : doc.blocks())
    report.attributes += DocumentReader::AttribCount(b);
  report.version = doc.formatVersion();
  return status;
}

void CheckOne(DocumentFile& file, OrderedPool::Task& task) {
  VirtualDocument doc;
  FileReport& report = task.report;
  switch (ReadInto(file, task.entry, doc, report)) {
    case DocStatus::Ok: report.status = Status::Ok; break;
    case DocStatus::BadFormat: report.status = Status::BadFormat; break;
    default: report.status = Status::CannotOpen; break;
  }
}

void ConvertOne(DocumentFile& file, OrderedPool::Task& task, bool dryRun) {
  VirtualDocument doc;
  FileReport& report = task.report;
  report.dryRun = dryRun;
  report.status = Status::Refused;
  switch (ReadInto(file, task.entry, doc, report)) {
    case DocStatus::Ok: break;
    case DocStatus::BadFormat:
      report.reason = FileReport::BadFormat(report.offset, report.completeBlocks);
      return;
    default: report.reason = "cannot open (" + report.reason + ")"; return;
  }
  // The file as convert would write it: when that is what it holds, it is
  // left alone, so a second run (after an interruption, say) writes nothing.
  ByteWriter out;
  if (DocumentWriter::WriteBody(doc, out) != DocStatus::Ok) {
    report.reason = "a value has no text form";
    return;
  }
  if (out.size() == file.size() && std::memcmp(out.data(), file.data(), out.size()) == 0) {
    report.status = Status::Unchanged;
    return;
  }
  if (dryRun) {
    report.status = Status::Converted;
    return;
  }
#ifdef _WIN32
  const WString path(task.entry.path.begin(), task.entry.path.end());
#else
  // A name's bytes that are not UTF-8 travel as lone surrogates and come
  // back as the same bytes when the file is saved.
  const WString path = Utf16FromFileName(task.entry.path);
#endif
  doc.SetPath(path.c_str());
  switch (doc.Save()) {
    case DocStatus::Ok: report.status = Status::Converted; return;
    case DocStatus::CannotOpen:
      report.reason = "cannot write (" + FileAccess::WhyCannotWrite(doc) + ")";
      return;
    default:
      report.reason =
          "writing failed (" + FileAccess::WhyWriteFailed(doc) + "); the file is as it was before";
      return;
  }
}

using Work = void (*)(DocumentFile&, OrderedPool::Task&, bool);

int Run(const VaultCommands::Options& options, BatchReport::Style style, DocumentFile::Use use,
        Work work) {
  // The plain form, one file named alone, keeps its single line.
  const bool alone = options.paths.size() == 1 && !options.recursive && !options.json &&
                     !options.quiet && !VaultCommands::IsFolder(options.paths[0]);
  style.json = options.json;
  style.quiet = options.quiet;
  style.summary = !alone;
  style.progress = !alone;
  style.dryRun = options.dryRun;
  const size_t workers = alone ? 1 : Workers(options.jobs);
  // One buffer per worker, kept from file to file.
  std::vector<std::unique_ptr<DocumentFile>> files;
  for (size_t i = 0; i < workers; ++i) files.push_back(std::make_unique<DocumentFile>(use));
  TreeWalk walk(options.paths, options.recursive, options.follow);
  BatchReport report(style);
  const bool dryRun = options.dryRun;
  OrderedPool pool(
      workers,
      [&files, &report, work, dryRun](OrderedPool::Task& task, size_t worker) {
        work(*files[worker], task, dryRun);
        task.text = report.Text(task.report);
      },
      [&report](OrderedPool::Task& task) {
        // The folder shown is the one of the last file done, which the walk
        // may have left long ago.
        const std::string& shown = task.entry.shown;
        const size_t end = shown.find_last_of(TreeWalk::kSeparator == '/' ? "/" : "\\/");
        report.Add(task.report, task.text,
                   end == std::string::npos ? std::string() : shown.substr(0, end));
      });
  TreeWalk::Entry entry;
  while (walk.Next(entry)) pool.Submit(std::move(entry));
  pool.Finish();
  return report.Finish();
}

}  // namespace

int VaultCommands::Check(const Options& options) {
  // A check only counts: large files may be mapped rather than read.
  return Run(options, BatchReport::Style(), DocumentFile::Use::CountOnly,
             [](DocumentFile& file, OrderedPool::Task& task, bool) { CheckOne(file, task); });
}

int VaultCommands::Convert(const Options& options) {
  BatchReport::Style style;
  style.converting = true;
  return Run(options, style, DocumentFile::Use::Keep, ConvertOne);
}

bool VaultCommands::IsFolder(const std::string& path) {
  TreeWalk walk({path}, false, false);
  TreeWalk::Entry entry;
  return walk.Next(entry) && entry.folder;
}
