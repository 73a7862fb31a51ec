#include "VirtualDocument.h"

#include "DocumentReader.h"
#include "DocumentWriter.h"
#include "FileMagic.h"
#include "FileSaver.h"
#include "NameMatch.h"
#include "SharedFile.h"
#include "UniqueVariant.h"

#include <cstring>
#include <exception>
#include <new>

namespace {

using View = std::basic_string_view<OLECHAR>;

const OLECHAR* OrEmpty(const OLECHAR* text) { return text ? text : OLESTR(""); }

size_t Length(const OLECHAR* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

View StripStars(View text) {
  const size_t first = text.find_first_not_of(OLECHAR('*'));
  if (first == View::npos) return View();
  return text.substr(first, text.find_last_not_of(OLECHAR('*')) - first + 1);
}

}  // namespace

VirtualDocument::Block::Attrib::~Attrib() {
  if (m_owned) VariantClear(&m_value);
}

void VirtualDocument::Block::Attrib::Take(VARIANT& taken) {
  if (m_owned) VariantClear(&m_value);
  m_value = taken;
  m_owned = true;
  taken.vt = VT_EMPTY;
}

VirtualDocument::Block::Attrib* VirtualDocument::Block::FindAttrib(const OLECHAR* pattern) {
  pattern = OrEmpty(pattern);
  AttribList& attribs = HandedOut();
  if (Attrib* exact = m_index.Find(attribs, pattern)) return exact;

  WString p(pattern);
  if (p.empty()) return nullptr;
  const bool starFirst = p.front() == '*';
  const bool starLast = p.back() == '*';
  if (!starFirst && !starLast) return nullptr;
  if (starFirst && starLast) LowerCase(p);
  p = WString(StripStars(p));
  const size_t n = p.size();

  // The comparisons want each name zero-terminated: a name is copied only
  // when stars must come off its end, or to lower-case it.
  WString stripped;
  for (Attrib& a : attribs) {
    const View core = StripStars(a.name);
    const bool endsInStar = !a.name.empty() && a.name.back() == '*';
    const OLECHAR* text = core.empty() ? OLESTR("") : core.data();
    if (endsInStar || (starFirst && starLast)) {
      stripped.assign(core);
      text = stripped.c_str();
    }
    if (starFirst && starLast) {
      LowerCase(stripped);
      if (stripped.find(p) != WString::npos) return &a;
    } else if (starFirst) {
      const size_t skip = core.size() > n ? core.size() - n : 0;
      if (NamesEqual(text + skip, p.c_str())) return &a;
    } else if (PrefixEqual(text, p.c_str(), static_cast<int>(n))) {
      return &a;
    }
  }
  return nullptr;
}

VirtualDocument::Block::Attrib& VirtualDocument::Block::AppendAttrib(const OLECHAR* attribName) {
  attribName = OrEmpty(attribName);
  return AppendAttrib(attribName, Length(attribName));
}

VirtualDocument::Block::Attrib& VirtualDocument::Block::AppendAttrib(const OLECHAR* attribName,
                                                                     size_t size) {
  AttribList& attribs = HandedOut();
  return attribs.Add(*m_pool, m_pool->Copy(attribName, size));
}

VirtualDocument::Block::~Block() {
  if (!m_handedOut) return;
  for (auto it = m_attribs.begin(); it != m_attribs.end();) {
    Attrib& a = *it++;
    a.~Attrib();
  }
}

VirtualDocument::Block::AttribList& VirtualDocument::Block::Decoded() const {
  if (m_stored.data) DocumentReader::DecodeAttribs(const_cast<Block&>(*this));
  return m_attribs;
}

VirtualDocument::Block::AttribList& VirtualDocument::Block::HandedOut() {
  AttribList& attribs = Decoded();
  m_handedOut = true;
  return attribs;
}

VirtualDocument::~VirtualDocument() { Clear(); }

void VirtualDocument::Clear() {
  // Head to tail, blocks and the attributes in each.
  while (!m_blocks.empty()) m_blocks.pop_front();
  m_blockIndex.Reset();
  m_pool.Release();
  m_path.clear();
}

VirtualDocument::Block* VirtualDocument::FindBlock(const OLECHAR* blockName) {
  return m_blockIndex.Find(m_blocks, blockName);
}

VirtualDocument::Block& VirtualDocument::AppendBlock(const OLECHAR* blockName) {
  blockName = OrEmpty(blockName);
  return AppendBlock(blockName, Length(blockName));
}

VirtualDocument::Block& VirtualDocument::AppendBlock(const OLECHAR* blockName, size_t size) {
  return m_blocks.emplace_back(m_pool.Copy(blockName, size), m_pool);
}

void VirtualDocument::GetValue(const OLECHAR* blockName, const OLECHAR* attribName, VARIANT* out) {
  if (!out) return;
  Block* block = FindBlock(blockName);
  Block::Attrib* attrib = block ? block->FindAttrib(attribName) : nullptr;
  if (attrib)
    VariantCopy(out, const_cast<VARIANT*>(&attrib->value()));
  else
    VariantClear(out);
}

bool VirtualDocument::SetValue(const OLECHAR* blockName, const OLECHAR* attribName,
                               const VARIANT* in) {
  // The copy comes first, so that a value that cannot be copied creates nothing.
  // It is by value even when the caller passes a reference: the document
  // must not keep a pointer into the caller's memory.
  UniqueVariant copy;
  if (in && (in->vt & VT_BYREF) && !in->byref) return false;
  if (in && FAILED(VariantCopyInd(&copy, const_cast<VARIANT*>(in)))) return false;

  Block* block = FindBlock(blockName);
  Block::Attrib* attrib = nullptr;
  if (!block)
    block = &AppendBlock(blockName);
  else
    attrib = block->FindAttrib(attribName);
  if (!attrib) attrib = &block->AppendAttrib(attribName);
  attrib->Take(copy);
  return true;
}

DocStatus VirtualDocument::Load(const OLECHAR* newPath) {
  Clear();
  SetPath(newPath);
  m_fileFailure = {};
  SharedFile file;
  if (!file.Open(m_path.c_str())) {
    m_fileFailure = file.failure();
    return DocStatus::CannotOpen;
  }
  if (file.size() == 0) return DocStatus::Ok;
  // The magic first: a file that is not a document is told so before the
  // rest of it is read.
  uint8_t head[kMagicSize];
  const size_t headSize = file.Read(head, file.size() < kMagicSize ? file.size() : kMagicSize);
  const bool known = headSize == kMagicSize && (std::memcmp(head, kMagicNewest, kMagicSize) == 0 ||
                                                std::memcmp(head, kMagicFour, kMagicSize) == 0 ||
                                                std::memcmp(head, kMagicOldest, kMagicSize) == 0);
  // The whole file stays in the pool: the blocks decode their attributes
  // from it later. A file that got shorter meanwhile is read as far as it
  // goes.
  const uint64_t size = known ? file.size() : headSize;
  uint8_t* bytes = KeepBytes(size);
  if (!bytes) {
    m_fileFailure = {FileFailure::Step::TooLarge, 0};  // for this process's memory
    return DocStatus::CannotOpen;
  }
  std::memcpy(bytes, head, headSize);
  const size_t rest = static_cast<size_t>(size) - headSize;
  const size_t got = headSize + (known ? file.Read(bytes + headSize, rest) : 0);
  const DocStatus status = ReadKept(bytes, got);
  if (m_fileFailure.step != FileFailure::Step::TooLarge) return status;
  // A valid file whose blocks do not fit in memory: nothing of it is kept.
  WString keep = m_path;
  Clear();
  m_path.swap(keep);
  return DocStatus::CannotOpen;
}

DocStatus VirtualDocument::Read(const uint8_t* data, size_t size) {
  WString keep = m_path;
  Clear();
  m_path.swap(keep);
  m_fileFailure = {};
  if (size == 0) return DocStatus::Ok;
  uint8_t* bytes = KeepBytes(size);
  if (!bytes) return DocStatus::BadFormat;
  std::memcpy(bytes, data, size);
  return ReadKept(bytes, size);
}

DocStatus VirtualDocument::ReadBorrowed(uint8_t* data, size_t size) {
  WString keep = m_path;
  Clear();
  m_path.swap(keep);
  m_fileFailure = {};
  if (size == 0) return DocStatus::Ok;
  const DocStatus status = ReadKept(data, size);
  if (m_fileFailure.step != FileFailure::Step::TooLarge) return status;
  // As Load: a valid file whose blocks do not fit in memory keeps nothing.
  keep = m_path;
  Clear();
  m_path.swap(keep);
  return DocStatus::CannotOpen;
}

uint8_t* VirtualDocument::KeepBytes(uint64_t size) {
  if (size > SIZE_MAX) return nullptr;
  try {
    // Aligned, so that the names and texts decoded in place are too.
    return static_cast<uint8_t*>(m_pool.Allocate(static_cast<size_t>(size), 8));
  } catch (const std::bad_alloc&) {
    return nullptr;  // a file too large for this process's memory
  }
}

DocStatus VirtualDocument::ReadKept(uint8_t* bytes, size_t size) {
  m_formatVersion = 2;
  m_faultOffset = 0;
  DocumentReader reader(bytes, size);
  try {
    return reader.ReadBody(*this);
  } catch (const std::exception&) {
    // Lengths are checked against the bytes before anything is allocated,
    // so only running out of memory ends here.
    m_faultOffset = reader.position();
    m_fileFailure = {FileFailure::Step::TooLarge, 0};
    return DocStatus::BadFormat;
  }
}

DocStatus VirtualDocument::Save() {
  m_fileFailure = {};
  try {
    // The content is laid out first: the file is held, and the new one
    // made, only once it is ready.
    ByteWriter out;
    if (DocumentWriter::WriteBody(*this, out) != DocStatus::Ok) {
      m_fileFailure = {FileFailure::Step::NoTextForm, 0};
      return DocStatus::WriteFailed;
    }
    FileSaver saver;
    if (!saver.Open(m_path.c_str())) {
      m_fileFailure = saver.failure();
      return DocStatus::CannotOpen;
    }
    if (saver.Commit(out.data(), out.size())) return DocStatus::Ok;
    m_fileFailure = saver.failure();
    return saver.FailedBeforeWriting() ? DocStatus::CannotOpen : DocStatus::WriteFailed;
  } catch (const std::exception&) {
    m_fileFailure = {FileFailure::Step::TooLarge, 0};  // no memory to lay it out
    return DocStatus::WriteFailed;
  }
}
