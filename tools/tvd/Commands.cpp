#include "Commands.h"

#include "ChunkedOut.h"
#include "Console.h"
#include "DocumentFile.h"
#include "DocumentReader.h"
#include "FileAccess.h"
#include "FileReport.h"
#include "JsonImport.h"
#include "JsonView.h"
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

std::string BadFormat(const std::string& file, uint64_t offset, size_t completeBlocks) {
  return file + ": " + FileReport::BadFormat(offset, completeBlocks);
}

// Loads the whole file or fails: a command never works on, let alone saves,
// the part of a document that was read before a fault. The document reads
// from bytes that file keeps, so file must outlive it. A file without a
// header is not a document to the tool: the library opens a 0-byte file as
// an empty document (the host relies on that), the tool calls it a bad
// format at byte 0. Returns the header's generation.
std::string LoadWhole(DocumentFile& bytes, VirtualDocument& doc, const std::string& file,
                      const char* ifBad = "") {
  const WString path = FileAccess::PathFromArgument(file);
#ifdef _WIN32
  const NativePath name(path.begin(), path.end());
#else
  const NativePath name = Utf8FromUtf16(path);
#endif
  DocStatus status = bytes.Load(name, doc);
  const std::string generation = bytes.Generation();
  if (status == DocStatus::Ok && generation.empty()) status = DocStatus::BadFormat;
  switch (status) {
    case DocStatus::Ok: doc.SetPath(path.c_str()); return generation;
    case DocStatus::BadFormat:
      throw ToolError(ToolError::kFileProblem,
                      BadFormat(file, doc.faultOffset(), doc.blocks().size()) + ifBad);
    default:
      throw ToolError(
          ToolError::kFileProblem,
          "cannot open " + file + " (" + FileAccess::WhyCannotRead(bytes.failure()) + ")");
  }
}

// For a JSON file, or standard input when path is empty.
ToolError CannotRead(const std::string& jsonFile, const WString& path) {
  return ToolError(ToolError::kFileProblem,
                   path.empty()
                       ? "reading standard input failed"
                       : "cannot open " + jsonFile + " (" + FileAccess::WhyCannotRead(path) + ")");
}

void SaveAs(VirtualDocument& doc, const std::string& file) {
  const WString path = FileAccess::PathFromArgument(file);
  doc.SetPath(path.c_str());
  switch (doc.Save()) {
    case DocStatus::Ok: return;
    case DocStatus::CannotOpen:
      throw ToolError(ToolError::kFileProblem,
                      "cannot write " + file + " (" + FileAccess::WhyCannotWrite(doc) + ")");
    default:
      if (doc.fileFailure().step == FileFailure::Step::PermissionsLost)
        throw ToolError(ToolError::kFileProblem,
                        "writing " + file + ": " + FileAccess::WhyWriteFailed(doc));
      throw ToolError(ToolError::kFileProblem, "writing " + file + " failed (" +
                                                   FileAccess::WhyWriteFailed(doc) +
                                                   "); the file is as it was before");
  }
}

std::string Count(size_t n, const char* one, const char* many) {
  return FileReport::Count(n, one, many);
}

size_t AttributeCount(const VirtualDocument& doc) {
  size_t n = 0;
  for (const VirtualDocument::Block& b : doc.blocks()) n += DocumentReader::AttribCount(b);
  return n;
}

// "i4 42", "date 45000.25 (2023-03-15T06:00:00)", "text \"Pump\"": a long
// text is written in pieces.
void WriteValue(const VARIANT& v, ChunkedOut& out) {
  if (v.vt == VT_I4) {
    out << "i4 " << std::to_string(v.lVal);
  } else if (v.vt == VT_R8 || v.vt == VT_DATE) {
    const double& d = v.vt == VT_R8 ? v.dblVal : v.date;  // by reference: keeps NaN bits
    out << (v.vt == VT_R8 ? "r8 " : "date ") << ValueText::FormatDouble(d);
    std::string iso;
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

}  // namespace

int Commands::Dump(const std::string& file, bool asJson) {
  DocumentFile bytes;
  VirtualDocument doc;
  const std::string generation = LoadWhole(bytes, doc, file);
  ChunkedOut out([](const std::string& text) { Console::Out(text); });
  if (asJson) {
    JsonView::Write(doc, generation, doc.formatVersion(), out);
    out.Flush();
    return 0;
  }
  out << "generation: " << generation << "\nversion: " << std::to_string(doc.formatVersion())
      << "\n"
      << Count(doc.blocks().size(), "block", "blocks") << ", "
      << Count(AttributeCount(doc), "attribute", "attributes") << "\n";
  for (const VirtualDocument::Block& b : doc.blocks()) {
    out << "block ";
    ValueText::WriteQuoted(b.name, out);
    out << " (" << Count(DocumentReader::AttribCount(b), "attribute", "attributes") << ")\n";
    DocumentReader::ForEachAttrib(b, [&out](const VirtualDocument::Block::Attrib& a) {
      out << "  ";
      ValueText::WriteQuoted(a.name, out);
      out << ": ";
      WriteValue(a.value(), out);
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
  SaveAs(doc, outFile);
  return 0;
}

int Commands::Get(const std::string& file, const std::string& block, const std::string& pattern) {
  const WString blockName = Wide(block), attribPattern = Wide(pattern);
  DocumentFile bytes;
  VirtualDocument doc;
  LoadWhole(bytes, doc, file);
  UniqueVariant value;
  doc.GetValue(blockName.c_str(), attribPattern.c_str(), &value);
  if (value.vt == VT_EMPTY) {
    if (!doc.FindBlock(blockName.c_str()))
      throw ToolError(ToolError::kFileProblem, file + ": no block named '" + block + "'");
    throw ToolError(ToolError::kFileProblem,
                    file + ": no attribute matching '" + pattern + "' in block '" + block + "'");
  }
  Console::Out(PlainValue(value) + "\n");
  return 0;
}

int Commands::Set(const std::string& file, const std::string& block, const std::string& pattern,
                  const std::string& value, const std::string& type) {
  const WString blockName = Wide(block), attribPattern = Wide(pattern);
  UniqueVariant v;
  ParseValue(value, type, v);
  DocumentFile bytes;
  VirtualDocument doc;
  LoadWhole(bytes, doc, file, "; nothing written");
  doc.SetValue(blockName.c_str(), attribPattern.c_str(), &v);
  SaveAs(doc, file);
  return 0;
}

int Commands::Convert(const std::string& file, const std::string& outFile) {
  DocumentFile bytes;
  VirtualDocument doc;
  LoadWhole(bytes, doc, file, "; nothing written");
  SaveAs(doc, outFile);
  return 0;
}

int Commands::New(const std::string& file, bool replace) {
  if (!replace && FileAccess::Exists(FileAccess::PathFromArgument(file)))
    throw ToolError(ToolError::kFileProblem, file + " already exists (--force replaces it)");
  VirtualDocument doc;
  SaveAs(doc, file);
  return 0;
}
