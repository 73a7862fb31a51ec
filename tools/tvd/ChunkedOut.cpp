#include "ChunkedOut.h"

void ChunkedOut::Flush() {
  if (m_buffer.empty()) return;
  m_sink(m_buffer);
  m_buffer.clear();
}
