#include "VirtualDocument.h"

#include "DocumentReader.h"
#include "DocumentWriter.h"
#include "FileSaver.h"
#include "NameMatch.h"
#include "SharedFile.h"

#include <exception>

namespace {

const OLECHAR* OrEmpty(const OLECHAR* text) { return text ? text : OLESTR(""); }

WString StripStars(const WString& text) {
  const size_t first = text.find_first_not_of(OLECHAR('*'));
  if (first == WString::npos) return WString();
  return text.substr(first, text.find_last_not_of(OLECHAR('*')) - first + 1);
}

}  // namespace

VirtualDocument::Block::Attrib::Attrib(const OLECHAR* attribName) : name(OrEmpty(attribName)) {
  VariantInit(&value);
}

VirtualDocument::Block::Attrib::~Attrib() { VariantClear(&value); }

VirtualDocument::Block::Block(const OLECHAR* blockName) : name(OrEmpty(blockName)) {}

VirtualDocument::Block::Attrib* VirtualDocument::Block::FindAttrib(const OLECHAR* pattern) {
  pattern = OrEmpty(pattern);
  for (Attrib& a : attribs)
    if (NamesEqual(a.name.c_str(), pattern)) return &a;

  WString p(pattern);
  if (p.empty()) return nullptr;
  const bool starFirst = p.front() == '*';
  const bool starLast = p.back() == '*';
  if (!starFirst && !starLast) return nullptr;
  if (starFirst && starLast) LowerCase(p);
  p = StripStars(p);
  const size_t n = p.size();

  for (Attrib& a : attribs) {
    WString stripped = StripStars(a.name.c_str());
    if (starFirst && starLast) {
      LowerCase(stripped);
      if (stripped.find(p) != WString::npos) return &a;
    } else if (starFirst) {
      const WString tail = stripped.size() > n ? stripped.substr(stripped.size() - n) : stripped;
      if (NamesEqual(tail.c_str(), p.c_str())) return &a;
    } else if (PrefixEqual(stripped.c_str(), p.c_str(), static_cast<int>(n))) {
      return &a;
    }
  }
  return nullptr;
}

VirtualDocument::Block::Attrib& VirtualDocument::Block::AppendAttrib(const OLECHAR* attribName) {
  return attribs.emplace_back(attribName);
}

VirtualDocument::~VirtualDocument() { Clear(); }

void VirtualDocument::Clear() {
  while (!blocks_.empty()) {
    std::list<Block::Attrib>& attribs = blocks_.front().attribs;
    while (!attribs.empty()) attribs.pop_front();
    blocks_.pop_front();
  }
  path_.clear();
}

VirtualDocument::Block* VirtualDocument::FindBlock(const OLECHAR* blockName) {
  for (Block& b : blocks_)
    if (NamesEqual(b.name.c_str(), blockName)) return &b;
  return nullptr;
}

VirtualDocument::Block& VirtualDocument::AppendBlock(const OLECHAR* blockName) {
  return blocks_.emplace_back(blockName);
}

void VirtualDocument::GetValue(const OLECHAR* blockName, const OLECHAR* attribName, VARIANT* out) {
  if (!out) return;
  Block* block = FindBlock(blockName);
  Block::Attrib* attrib = block ? block->FindAttrib(attribName) : nullptr;
  if (attrib) VariantCopy(out, &attrib->value);
  else VariantClear(out);
}

bool VirtualDocument::SetValue(const OLECHAR* blockName, const OLECHAR* attribName, const VARIANT* in) {
  // The copy comes first, so that a value that cannot be copied creates nothing.
  // It is by value even when the caller passes a reference: the document
  // must not keep a pointer into the caller's memory.
  struct Copy {
    Copy() { VariantInit(&v); }
    ~Copy() { VariantClear(&v); }
    VARIANT v;
  } copy;
  if (in && (in->vt & VT_BYREF) && !in->byref) return false;
  if (in && FAILED(VariantCopyInd(&copy.v, const_cast<VARIANT*>(in)))) return false;

  Block* block = FindBlock(blockName);
  Block::Attrib* attrib = nullptr;
  if (!block) block = &AppendBlock(blockName);
  else attrib = block->FindAttrib(attribName);
  if (!attrib) attrib = &block->AppendAttrib(attribName);
  VariantClear(&attrib->value);
  attrib->value = copy.v;  // the attribute takes the copy over
  copy.v.vt = VT_EMPTY;
  return true;
}

DocStatus VirtualDocument::Load(const OLECHAR* newPath) {
  Clear();
  SetPath(newPath);
  formatVersion_ = 2;
  faultOffset_ = 0;
  SharedFile file;
  if (!file.Open(path_.c_str())) return DocStatus::CannotOpen;
  if (file.size() == 0) return DocStatus::Ok;
  DocumentReader reader(file.size(), [&file](uint8_t* into, size_t n) { return file.Read(into, n); });
  try {
    return reader.ReadBody(*this);
  } catch (const std::exception&) {
    // Lengths are checked against the file before anything is allocated, so
    // only a file too large for this process's memory ends here (bad_alloc,
    // or length_error for a string longer than a 32-bit vector may hold).
    faultOffset_ = reader.position();
    return DocStatus::BadFormat;
  }
}

DocStatus VirtualDocument::Save() {
  FileSaver saver;
  if (!saver.Open(path_.c_str())) return DocStatus::CannotOpen;
  try {
    ByteWriter out;
    if (DocumentWriter::WriteBody(*this, out) != DocStatus::Ok) return DocStatus::WriteFailed;
    return saver.Commit(out.data(), out.size()) ? DocStatus::Ok : DocStatus::WriteFailed;
  } catch (const std::exception&) {
    return DocStatus::WriteFailed;
  }
}
