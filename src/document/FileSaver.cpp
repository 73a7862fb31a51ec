#include "FileSaver.h"

#include <atomic>
#include <cstdio>
#include <random>

namespace {

std::atomic<long long> g_writeLimit{-1};

}  // namespace

void FileSaver::SetWriteLimitForTesting(long long bytes) { g_writeLimit = bytes; }

size_t FileSaver::AllowedForTesting(size_t size) {
  const long long limit = g_writeLimit.load();
  return limit >= 0 && static_cast<unsigned long long>(limit) < size ? static_cast<size_t>(limit)
                                                                     : size;
}

bool FileSaver::Fail(FileFailure::Step step, uint32_t error) {
  m_failure = {step, error};
  return false;
}

bool FileSaver::FailedBeforeWriting() const {
  return m_failure.step == FileFailure::Step::MakeTemp ||
         m_failure.step == FileFailure::Step::KeepPermissions ||
         m_failure.step == FileFailure::Step::WiderAccess;
}

bool FileSaver::Commit(const uint8_t* data, size_t size) {
  if (m_target.empty()) return Fail(FileFailure::Step::Open, 0);
  RemoveLeftovers();
  if (MakeTemp() && KeepPermissions() && WriteTemp(data, size) && Replace()) return true;
  RemoveTemp();
  return false;
}

NativePath FileSaver::TempPrefix() const {
  // FNV-1a over the code units of the file's name: the folder is the same.
  uint32_t hash = 2166136261u;
  for (size_t i = m_folder.size(); i < m_target.size(); ++i)
    hash = (hash ^ static_cast<uint32_t>(m_target[i])) * 16777619u;
  char text[24];
  std::snprintf(text, sizeof text, ".tvd-%08x-", static_cast<unsigned>(hash));
  const std::string ascii = text;
  return NativePath(ascii.begin(), ascii.end());
}

NativePath FileSaver::TempName() const {
  std::random_device random;
  char text[24];
  std::snprintf(text, sizeof text, "%08x%08x.tmp", static_cast<unsigned>(random()),
                static_cast<unsigned>(random()));
  const std::string ascii = text;
  return m_folder + TempPrefix() + NativePath(ascii.begin(), ascii.end());
}
