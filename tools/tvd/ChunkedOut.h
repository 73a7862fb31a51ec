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

  explicit ChunkedOut(Sink sink) : m_sink(std::move(sink)) {}

  ChunkedOut& operator<<(std::string_view piece);
  // Hands on what is held; call it once the output is complete.
  void Flush();

 private:
  Sink m_sink;
  std::string m_buffer;
};
