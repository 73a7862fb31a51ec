// Text handed on in pieces of about 64 KB as it is made, so that a large
// output never sits in memory whole. A piece is only ever handed on whole,
// so a chunk never ends inside a character.
#pragma once

#include <functional>
#include <string>
#include <string_view>

class ChunkedOut {
 public:
  using Sink = std::function<void(const std::string&)>;
  static constexpr size_t kChunk = 64 * 1024;

  explicit ChunkedOut(Sink sink) : m_sink(std::move(sink)) {}

  // Inline: dumps hand on many short pieces.
  ChunkedOut& operator<<(std::string_view piece) {
    m_buffer.append(piece);
    if (m_buffer.size() >= kChunk) Flush();
    return *this;
  }
  // Hands on what is held; call it once the output is complete.
  void Flush();

 private:
  Sink m_sink;
  std::string m_buffer;
};
