// A name kept in a document's pool: a view of text that is always followed by
// a zero character, so that it also passes where a C string is wanted. Only
// the pool makes them; they live as long as the document's content.
#pragma once

#include "Automation.h"

#include <string_view>

class PooledString : public std::basic_string_view<OLECHAR> {
 public:
  PooledString() : std::basic_string_view<OLECHAR>(OLESTR(""), 0) {}
  const OLECHAR* c_str() const { return data(); }

 private:
  friend class DocumentPool;
  PooledString(const OLECHAR* text, size_t size) : std::basic_string_view<OLECHAR>(text, size) {}
};
