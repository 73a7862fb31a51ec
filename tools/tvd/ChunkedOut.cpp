#include "ChunkedOut.h"

namespace {

constexpr size_t kChunk = 64 * 1024;

}  // namespace

ChunkedOut& ChunkedOut::operator<<(std::string_view piece) {
  m_buffer += piece;
  if (m_buffer.size() >= kChunk) Flush();
  return *this;
}

void ChunkedOut::Flush() {
  if (m_buffer.empty()) return;
  m_sink(m_buffer);
  m_buffer.clear();
}
