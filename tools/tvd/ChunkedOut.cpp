#include "ChunkedOut.h"

void ChunkedOut::Flush() {
  if (m_used == 0) return;
  m_sink(std::string_view(m_buffer.get(), m_used));
  m_used = 0;
}

ChunkedOut& ChunkedOut::Spill(std::string_view piece) {
  Flush();
  if (piece.size() >= kChunk)
    m_sink(piece);
  else
    *this << piece;
  return *this;
}
