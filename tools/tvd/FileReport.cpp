#include "FileReport.h"

namespace {

const char kHex[] = "0123456789abcdef";

// The length of the UTF-8 sequence at text[at], or 0 when the bytes there
// are not one (overlong forms, surrogates and code points past U+10FFFF
// included); code is the code point.
size_t Utf8Sequence(const std::string& text, size_t at, uint32_t& code) {
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
  code = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

void AppendHexByte(std::string& out, unsigned char c) {
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

std::string Number(uint64_t n) { return std::to_string(n); }

const char* StatusName(FileReport::Status status) {
  switch (status) {
    case FileReport::Status::Ok: return "ok";
    case FileReport::Status::CannotOpen: return "cannot-open";
    case FileReport::Status::BadFormat: return "bad-format";
    case FileReport::Status::Converted: return "converted";
    case FileReport::Status::Unchanged: return "unchanged";
    case FileReport::Status::Refused: return "refused";
  }
  return "";
}

}  // namespace

std::string FileReport::Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string FileReport::BadFormat(uint64_t offset, size_t completeBlocks) {
  return "bad format at byte " + Number(offset) + " (" +
         Count(completeBlocks, "complete block", "complete blocks") + " before the fault)";
}

std::string FileReport::ShownName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (size_t at = 0; at < name.size();) {
    uint32_t code = 0;
    const size_t length = Utf8Sequence(name, at, code);
    if (length == 0 || code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) {
      // C1 controls are escaped byte by byte too: a terminal acts on them.
      const size_t bytes = length == 0 ? 1 : length;
      for (size_t i = 0; i < bytes; ++i) {
        const unsigned char b = static_cast<unsigned char>(name[at + i]);
        if (b == '\n') {
          out += "\\n";
        } else if (b == '\t') {
          out += "\\t";
        } else if (b == '\r') {
          out += "\\r";
        } else {
          out += "\\x";
          AppendHexByte(out, b);
        }
      }
      at += bytes;
      continue;
    }
    out.append(name, at, length);
    at += length;
  }
  return out;
}

std::string FileReport::JsonString(const std::string& text, bool& exact) {
  exact = true;
  std::string out = "\"";
  for (size_t at = 0; at < text.size();) {
    uint32_t code = 0;
    const size_t length = Utf8Sequence(text, at, code);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      exact = false;
      ++at;
      continue;
    }
    if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code == '\n') {
      out += "\\n";
    } else if (code == '\t') {
      out += "\\t";
    } else if (code == '\r') {
      out += "\\r";
    } else if (code < 0x20 || code == 0x7F) {
      out += "\\u00";
      AppendHexByte(out, static_cast<unsigned char>(code));
    } else {
      out.append(text, at, length);
    }
    at += length;
  }
  return out + "\"";
}

std::string FileReport::Line() const {
  std::string line = ShownName(shown) + ": ";
  switch (status) {
    case Status::Ok:
      line += "ok (" + Count(blocks, "block", "blocks") + ", " +
              Count(attributes, "attribute", "attributes") + ", version " +
              std::to_string(version) + ")";
      break;
    case Status::CannotOpen: line += "cannot open (" + reason + ")"; break;
    case Status::BadFormat: line += BadFormat(offset, completeBlocks); break;
    case Status::Converted:
      line += std::string(dryRun ? "to convert" : "converted") + " (was version " +
              std::to_string(version) + ")";
      break;
    case Status::Unchanged: line += "unchanged (already in the newest form)"; break;
    case Status::Refused: line += "refused: " + reason; break;
  }
  return line + "\n";
}

std::string FileReport::Json() const {
  bool exact = true;
  std::string out = "{\"path\": " + JsonString(shown, exact);
  if (!exact) {
    out += ", \"path_bytes\": \"";
    for (const char c : shown) AppendHexByte(out, static_cast<unsigned char>(c));
    out += "\"";
  }
  const auto field = [&out](const char* key, bool present, const std::string& value) {
    out += std::string(", \"") + key + "\": " + (present ? value : "null");
  };
  bool unused = true;
  out += std::string(", \"status\": \"") + StatusName(status) + "\"";
  const bool hasReason = !reason.empty() || status == Status::BadFormat;
  field(
      "reason", hasReason,
      JsonString(status == Status::BadFormat ? BadFormat(offset, completeBlocks) : reason, unused));
  field("offset", faulted, Number(offset));
  field("complete_blocks", faulted, Number(completeBlocks));
  field("blocks", read, Number(blocks));
  field("attributes", read, Number(attributes));
  field("version", read, std::to_string(version));
  field("generation", (read || faulted) && !generation.empty(), JsonString(generation, unused));
  if (status == Status::Converted || status == Status::Unchanged || status == Status::Refused)
    out += std::string(", \"dry_run\": ") + (dryRun ? "true" : "false");
  return out + "}\n";
}
