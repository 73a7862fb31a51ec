#include "Commands.h"

#include "ChunkedOut.h"
#include "Console.h"
#include "DocumentFile.h"
#include "DocumentReader.h"
#include "DocumentWriter.h"
#include "FileAccess.h"
#include "FileReport.h"
#include "JsonImport.h"
#include "JsonView.h"
#include "SharedFile.h"
#include "ToolError.h"
#include "UniqueVariant.h"
#include "Utf.h"
#include "ValueText.h"
#include "VirtualDocument.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

WString Wide(const std::string& utf8) {
  WString out;
  if (!Utf16FromUtf8(utf8, out)) throw ToolError(ToolError::kUsage, "not valid UTF-8: " + utf8);
  return out;
}

std::string Count(size_t n, const char* one, const char* many) {
  return FileReport::Count(n, one, many);
}

// "-" names standard input (or output) on the command line; messages say so.
const char kStandardStream[] = "-";

std::string Shown(const std::string& file) {
  return file == kStandardStream ? "standard input" : file;
}

std::string BadFormat(const std::string& file, uint64_t offset, size_t completeBlocks) {
  return file + ": " + FileReport::BadFormat(offset, completeBlocks);
}

// The same for a document read from standard input, which is held in
// memory first: no more of it than the reader takes from a file.
DocStatus LoadStandardInput(VirtualDocument& doc, std::string& generation) {
  std::string bytes;
  bool tooLarge = false;
  if (!FileAccess::ReadAll(Console::In(), SharedFile::kMaxSize, bytes, tooLarge))
    throw ToolError(ToolError::kFileProblem, "reading standard input failed");
  if (tooLarge) throw ToolError(ToolError::kFileProblem, "standard input: cannot open (too large)");
  const DocStatus status = doc.Read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (status != DocStatus::Ok) return status;
  generation =
      DocumentFile::GenerationOf(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return generation.empty() && doc.blocks().empty() ? DocStatus::BadFormat : DocStatus::Ok;
}

// With StandardToo, a file of "-" is standard input (dump, get, check) or
// output (-o of import and convert); elsewhere "-" is a file's name, as it
// always was.
enum class Stream { FileOnly, StandardToo };

// Loads the whole file or fails: a command never works on, let alone saves,
// the part of a document that was read before a fault. The document reads
// from bytes that file keeps, so file must outlive it. A file without a
// header is not a document to the tool: the library opens a 0-byte file as
// an empty document (the host relies on that), the tool calls it a bad
// format at byte 0. Returns the header's generation.
std::string LoadWhole(DocumentFile& bytes, VirtualDocument& doc, const std::string& file,
                      Stream input, const char* ifBad = "") {
  const bool standard = input == Stream::StandardToo && file == kStandardStream;
  std::string generation;
  DocStatus status;
  WString path;
  if (standard) {
    status = LoadStandardInput(doc, generation);
  } else {
    path = FileAccess::PathFromArgument(file);
#ifdef _WIN32
    const NativePath name(path.begin(), path.end());
#else
    const NativePath name = FileNameFromUtf16(path);
#endif
    status = bytes.Load(name, doc);
    generation = bytes.Generation();
    if (status == DocStatus::Ok && generation.empty()) status = DocStatus::BadFormat;
  }
  switch (status) {
    case DocStatus::Ok:
      if (!standard) doc.SetPath(path.c_str());
      return generation;
    case DocStatus::BadFormat:
      throw ToolError(
          ToolError::kFileProblem,
          BadFormat(standard ? Shown(file) : file, doc.faultOffset(), doc.blocks().size()) + ifBad);
    default:
      throw ToolError(ToolError::kFileProblem,
                      Shown(file) + ": cannot open (" +
                          (standard ? FileAccess::WhyCannotRead(doc)
                                    : FileAccess::WhyCannotRead(bytes.failure())) +
                          ")");
  }
}

// For a JSON file, or standard input when path is empty.
ToolError CannotRead(const std::string& jsonFile, const WString& path) {
  return ToolError(ToolError::kFileProblem,
                   path.empty()
                       ? "reading standard input failed"
                       : jsonFile + ": cannot open (" + FileAccess::WhyCannotRead(path) + ")");
}

// Standard output gets the bytes the file would hold.
void SaveAs(VirtualDocument& doc, const std::string& file, Stream output = Stream::FileOnly) {
  if (output == Stream::StandardToo && file == kStandardStream) {
    ByteWriter bytes;
    if (DocumentWriter::WriteBody(doc, bytes) != DocStatus::Ok)
      throw ToolError(ToolError::kFileProblem,
                      "writing standard output failed (a value has no text form)");
    Console::OutBytes(bytes.data(), bytes.size());
    return;
  }
  const WString path = FileAccess::PathFromArgument(file);
  doc.SetPath(path.c_str());
  switch (doc.Save()) {
    case DocStatus::Ok: return;
    case DocStatus::CannotOpen:
      throw ToolError(ToolError::kFileProblem,
                      file + ": cannot write (" + FileAccess::WhyCannotWrite(doc) + ")");
    default:
      if (doc.fileFailure().step == FileFailure::Step::PermissionsLost)
        throw ToolError(ToolError::kFileProblem, file + ": " + FileAccess::WhyWriteFailed(doc));
      throw ToolError(ToolError::kFileProblem, file + ": writing failed (" +
                                                   FileAccess::WhyWriteFailed(doc) +
                                                   "); the file is as it was before");
  }
}

size_t AttributeCount(const VirtualDocument& doc) {
  size_t n = 0;
  for (const VirtualDocument::Block& b : doc.blocks()) n += DocumentReader::AttribCount(b);
  return n;
}

// "i4 42", "date 45000.25 (2023-03-15T06:00:00)", "text \"Pump\"": a long
// text is written in pieces. iso is room for a date's calendar form, kept
// from one value to the next.
void WriteValue(const VARIANT& v, ChunkedOut& out, std::string& iso) {
  if (v.vt == VT_I4) {
    out << "i4 ";
    ValueText::WriteNumber(v.lVal, out);
  } else if (v.vt == VT_R8 || v.vt == VT_DATE) {
    const double& d = v.vt == VT_R8 ? v.dblVal : v.date;  // by reference: keeps NaN bits
    out << (v.vt == VT_R8 ? "r8 " : "date ");
    if (std::isfinite(d))
      ValueText::WriteFinite(d, out);
    else
      out << ValueText::FormatDouble(d);
    if (std::isnan(d))
      out << " (bits " << ValueText::BitsHex(d) << ")";
    else if (v.vt == VT_DATE && ValueText::FormatIsoDate(d, iso))
      out << " (" << iso << ")";
  } else {
    WString held;
    ValueText::WStringView text;
    if (!ValueText::TextOf(v, held, text)) {
      out << "(no text form)";
      return;
    }
    out << "text ";
    ValueText::WriteQuoted(text, out);
  }
}

// The value as a user reads it: numbers, dates in calendar form, text as is.
std::string PlainValue(const VARIANT& v) {
  std::string iso;
  if (v.vt == VT_I4) return std::to_string(v.lVal);
  if (v.vt == VT_R8) return ValueText::FormatDouble(v.dblVal);
  if (v.vt == VT_DATE)
    return ValueText::FormatIsoDate(v.date, iso) ? iso : ValueText::FormatDouble(v.date);
  WString held;
  ValueText::WStringView text;
  ValueText::TextOf(v, held, text);
  return ValueText::Readable(WString(text));
}

void ParseValue(const std::string& text, const std::string& type, VARIANT& out) {
  std::string why;
  if (type == "i4") {
    int32_t i = 0;
    if (!ValueText::ParseI4(text, i, why)) throw ToolError(ToolError::kUsage, why);
    out.vt = VT_I4;
    out.lVal = i;
  } else if (type == "r8" || type == "date") {
    double d = 0;
    const bool ok =
        type == "r8" ? ValueText::ParseR8(text, d, why) : ValueText::ParseDate(text, d, why);
    if (!ok) throw ToolError(ToolError::kUsage, why);
    out.vt = type == "r8" ? VT_R8 : VT_DATE;
    out.dblVal = d;
  } else if (type == "text") {
    const WString wide = Wide(text);
    if (wide.find(OLECHAR(0)) != WString::npos)
      throw ToolError(ToolError::kUsage, "a value holds a zero character");
    out.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!out.bstrVal) throw std::bad_alloc();
    out.vt = VT_BSTR;
  } else {
    throw ToolError(ToolError::kUsage, "unknown type '" + type + "': use i4, r8, date or text");
  }
}

// The type name of a stored value as --type takes it.
std::string TypeOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_I4: return "i4";
    case VT_R8: return "r8";
    case VT_DATE: return "date";
    default: return "text";
  }
}

const char* TypeWords(const std::string& type) {
  if (type == "i4") return "a 32-bit integer (i4)";
  if (type == "r8") return "a double (r8)";
  if (type == "date") return "a date";
  return "text";
}

}  // namespace

int Commands::Dump(const std::string& file, bool asJson) {
  DocumentFile bytes;
  VirtualDocument doc;
  const std::string generation = LoadWhole(bytes, doc, file, Stream::StandardToo);
  ChunkedOut out([](std::string_view text) { Console::Out(text); });
  if (asJson) {
    JsonView::Write(doc, generation, doc.formatVersion(), out);
    out.Flush();
    return 0;
  }
  out << "generation: " << generation << "\nversion: " << std::to_string(doc.formatVersion())
      << "\n"
      << Count(doc.blocks().size(), "block", "blocks") << ", "
      << Count(AttributeCount(doc), "attribute", "attributes") << "\n";
  std::string iso;
  for (const VirtualDocument::Block& b : doc.blocks()) {
    out << "block ";
    ValueText::WriteQuoted(b.name, out);
    out << " (" << Count(DocumentReader::AttribCount(b), "attribute", "attributes") << ")\n";
    DocumentReader::ForEachAttrib(b, [&out, &iso](const VirtualDocument::Block::Attrib& a) {
      out << "  ";
      ValueText::WriteQuoted(a.name, out);
      out << ": ";
      WriteValue(a.value(), out, iso);
      out << "\n";
    });
  }
  out.Flush();
  return 0;
}

int Commands::Import(const std::string& jsonFile, const std::string& outFile) {
  WString path;
  FileAccess::OpenFile opened(nullptr, &std::fclose);
  std::FILE* in = Console::In();
  if (jsonFile != "-") {
    path = FileAccess::PathFromArgument(jsonFile);
    opened = FileAccess::OpenForReading(path);
    if (!opened) throw CannotRead(jsonFile, path);
    in = opened.get();
  }
  VirtualDocument doc;
  try {
    JsonImport::Read(in, doc);
  } catch (const ToolError& e) {
    // A read that failed midway ends the JSON early: that is no fault of the JSON.
    if (!std::ferror(in)) throw ToolError(e.exitCode(), jsonFile + ": " + e.what());
  }
  if (std::ferror(in)) throw CannotRead(jsonFile, path);
  SaveAs(doc, outFile, Stream::StandardToo);
  return 0;
}

int Commands::Get(const std::string& file, const std::string& block, const std::string& pattern) {
  const WString blockName = Wide(block), attribPattern = Wide(pattern);
  DocumentFile bytes;
  VirtualDocument doc;
  LoadWhole(bytes, doc, file, Stream::StandardToo);
  UniqueVariant value;
  doc.GetValue(blockName.c_str(), attribPattern.c_str(), &value);
  if (value.vt == VT_EMPTY) {
    // The file read well: finding nothing in it is an answer, not a fault.
    if (!doc.FindBlock(blockName.c_str()))
      throw ToolError(ToolError::kNotFound, Shown(file) + ": no block named '" + block + "'");
    throw ToolError(ToolError::kNotFound, Shown(file) + ": no attribute matching '" + pattern +
                                              "' in block '" + block + "'");
  }
  Console::Out(PlainValue(value) + "\n");
  return 0;
}

int Commands::Set(const std::string& file, const std::string& block, const std::string& pattern,
                  const std::string& value, const std::string& type) {
  const WString blockName = Wide(block), attribPattern = Wide(pattern);
  UniqueVariant v;
  if (!type.empty()) ParseValue(value, type, v);
  DocumentFile bytes;
  VirtualDocument doc;
  LoadWhole(bytes, doc, file, Stream::FileOnly, "; nothing written");
  if (type.empty()) {
    // Without --type a value keeps the type of the attribute it replaces;
    // a new attribute is text.
    UniqueVariant old;
    doc.GetValue(blockName.c_str(), attribPattern.c_str(), &old);
    const std::string kept = old.vt == VT_EMPTY ? "text" : TypeOf(old);
    try {
      ParseValue(value, kept, v);
    } catch (const ToolError& e) {
      throw ToolError(ToolError::kUsage, std::string(e.what()) + "; '" + pattern + "' in block '" +
                                             block + "' holds " + TypeWords(kept) +
                                             ", and --type text would store text instead");
    }
  }
  if (!doc.SetValue(blockName.c_str(), attribPattern.c_str(), &v)) throw std::bad_alloc();
  SaveAs(doc, file);
  return 0;
}

int Commands::Convert(const std::string& file, const std::string& outFile) {
  // In place unless -o names where.
  DocumentFile bytes;
  VirtualDocument doc;
  LoadWhole(bytes, doc, file, Stream::FileOnly, "; nothing written");
  if (outFile.empty())
    SaveAs(doc, file);
  else
    SaveAs(doc, outFile, Stream::StandardToo);
  return 0;
}

int Commands::New(const std::string& file, bool replace) {
  if (!replace && FileAccess::Exists(FileAccess::PathFromArgument(file)))
    throw ToolError(ToolError::kFileProblem, file + ": already exists (--force replaces it)");
  VirtualDocument doc;
  SaveAs(doc, file);
  return 0;
}

int Commands::CheckStandardInput() {
  VirtualDocument doc;
  std::string generation;
  std::string line;
  int exitCode = 0;
  switch (LoadStandardInput(doc, generation)) {
    case DocStatus::Ok:
      line = "-: ok (" + Count(doc.blocks().size(), "block", "blocks") + ", " +
             Count(AttributeCount(doc), "attribute", "attributes") + ", version " +
             std::to_string(doc.formatVersion()) + ")";
      break;
    case DocStatus::BadFormat:
      line = BadFormat("-", doc.faultOffset(), doc.blocks().size());
      exitCode = ToolError::kFileProblem;
      break;
    default:
      line = "-: cannot open (" + FileAccess::WhyCannotRead(doc) + ")";
      exitCode = ToolError::kFileProblem;
      break;
  }
  Console::Out(line + "\n");
  return exitCode;
}
