#pragma once

// The outcome of loading or saving a virtual document.
enum class DocStatus : int {
  Ok = 0,
  CannotOpen = 1,   // the file cannot be opened
  WriteFailed = 2,  // a write to the file failed
  BadFormat = 3,    // the content is not a valid virtual document
};
