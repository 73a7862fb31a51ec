// Text handed on in pieces of about 64 KB as it is made, so that a large
// output never sits in memory whole. A piece is only ever handed on whole,
// so a chunk never ends inside a character.
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <string_view>

class ChunkedOut {
 public:
  using Sink = std::function<void(std::string_view)>;
  static constexpr size_t kChunk = 64 * 1024;

  explicit ChunkedOut(Sink sink) : m_sink(std::move(sink)), m_buffer(new char[kChunk]) {}

  // Inline, and a copy into a buffer of fixed size: dumps hand on many
  // short pieces.
  ChunkedOut& operator<<(std::string_view piece) {
    if (piece.size() > kChunk - m_used) return Spill(piece);
    std::memcpy(m_buffer.get() + m_used, piece.data(), piece.size());
    m_used += piece.size();
    return *this;
  }
  // Room for n more bytes (n at most kChunk), to be written from the
  // pointer returned and then counted with Wrote: a writer that makes many
  // small pieces puts them in place. Whatever Wrote counts must end after a
  // whole character.
  char* Room(size_t n) {
    if (n > kChunk - m_used) Flush();
    return m_buffer.get() + m_used;
  }
  void Wrote(const char* end) { m_used = static_cast<size_t>(end - m_buffer.get()); }
  // Hands on what is held; call it once the output is complete.
  void Flush();

 private:
  // Hands on what is held to make room for piece; a piece as large as a
  // chunk is handed on by itself.
  ChunkedOut& Spill(std::string_view piece);

  Sink m_sink;
  std::unique_ptr<char[]> m_buffer;
  size_t m_used = 0;
};
