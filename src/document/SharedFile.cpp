#include "SharedFile.h"

bool SharedFile::Fail(FileFailure::Step step, uint32_t error) {
  m_failure = {step, error};
  m_file.reset();
  return false;
}
