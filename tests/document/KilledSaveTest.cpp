// A save killed at any moment leaves the path naming a whole document, old
// or new, and a reader meanwhile finds one there; what a killed save leaves
// behind goes with the next save. save_loop, beside this program, does the
// saving in a process of its own.
#include "VirtualDocument.h"

#include "TempFolder.h"
#include "TvdBytes.h"
#include "Var.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#ifdef _WIN32
#include <windows.h>

#include "StartProgram.h"
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kBlocks = 100;

#ifdef _WIN32

constexpr int kKills = 20;  // a Windows program takes longer to start under Wine

fs::path OwnFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return fs::path();
    if (n < path.size()) return fs::path(path.substr(0, n)).parent_path();
    path.resize(path.size() * 2);
  }
}

// Starts save_loop on file, waits for its first save to be done, and kills
// it the given time later, in the middle of a later save.
void SaveAndKill(const fs::path& file, const fs::path& started, std::chrono::milliseconds after) {
  fs::remove(started);
  std::wstring command = L"\"" + (OwnFolder() / "save_loop.exe").wstring() + L"\" \"" +
                         file.wstring() + L"\" \"" + started.wstring() + L"\"";
  const UniqueKernelHandle process = StartProgram(command);
  ASSERT_TRUE(process);
  while (!fs::exists(started))
    ASSERT_EQ(WaitForSingleObject(process.get(), 2), static_cast<DWORD>(WAIT_TIMEOUT));
  std::this_thread::sleep_for(after);
  TerminateProcess(process.get(), 9);
  WaitForSingleObject(process.get(), INFINITE);
}

#else

constexpr int kKills = 30;

void SaveAndKill(const fs::path& file, const fs::path& started, std::chrono::milliseconds after) {
  fs::remove(started);
  const std::string helper =
      (fs::read_symlink("/proc/self/exe").parent_path() / "save_loop").string();
  const std::string name = file.string(), flag = started.string();
  char* argv[] = {const_cast<char*>(helper.c_str()), const_cast<char*>(name.c_str()),
                  const_cast<char*>(flag.c_str()), nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, helper.c_str(), nullptr, nullptr, argv, environ), 0);
  int status;
  while (!fs::exists(started)) {
    ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "save_loop ended by itself";
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::this_thread::sleep_for(after);
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
}

#endif

// The stamp all blocks agree on, or -1 when the document is not whole.
LONG Stamp(const VirtualDocument& doc) {
  LONG stamp = -1;
  int blocks = 0;
  for (const auto& block : doc.blocks()) {
    const auto& attribs = block.attribs();
    const VARIANT& v = attribs.front().value();
    if (v.vt != VT_I4 || (blocks > 0 && v.lVal != stamp)) return -1;
    stamp = v.lVal;
    ++blocks;
  }
  return blocks == kBlocks ? stamp : -1;
}

TEST(KilledSave, LeavesAWholeDocumentAndNothingThatStays) {
  TempFolder scratch;
  const fs::path file = scratch.Path("doc/large.tvd"), started = scratch.Path("started");
  fs::create_directory(file.parent_path());
  const WString path = Wide(file);
  {
    // About 3 MB: blocks of a stamp and long texts.
    VirtualDocument doc;
    doc.SetPath(path.c_str());
    Var n, text;
    Var::I4(n, 0);
    Var::Text(text, WString(300, OLECHAR('t')).c_str());
    for (int b = 0; b < kBlocks; ++b) {
      const WString block =
          OLESTR("B") + WString(1, OLECHAR('0' + b % 10)) + WString(b / 10 + 1, OLECHAR('x'));
      doc.SetValue(block.c_str(), OLESTR("N"), &n);
      for (int a = 0; a < 50; ++a)
        doc.SetValue(block.c_str(), (OLESTR("text") + WString(a + 1, OLECHAR('a'))).c_str(), &text);
    }
    ASSERT_EQ(doc.Save(), DocStatus::Ok);
    ASSERT_GT(fs::file_size(file), 3000000u);
  }

  // A reader beside the saves: it may find the file held by a save at work,
  // never missing, partial or mixed.
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0}, held{0}, bad{0};
  std::thread reader([&] {
    while (!stop) {
      VirtualDocument doc;
      const DocStatus status = doc.Load(path.c_str());
      if (status == DocStatus::Ok && Stamp(doc) >= 0)
        ++reads;
      else if (status == DocStatus::CannotOpen &&
               doc.fileFailure().step == FileFailure::Step::Locked)
        ++held;
      else
        ++bad;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  });

  std::mt19937 random(12345);
  LONG last = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    SaveAndKill(file, started, std::chrono::milliseconds(random() % 150));
    VirtualDocument doc;
    ASSERT_EQ(doc.Load(path.c_str()), DocStatus::Ok) << "after kill " << kill;
    const LONG stamp = Stamp(doc);
    ASSERT_GT(stamp, last) << "after kill " << kill;  // each run saved at least once
    last = stamp;
  }
  stop = true;
  reader.join();
  EXPECT_EQ(bad, 0);
  EXPECT_GT(reads, 0);

  VirtualDocument doc;
  ASSERT_EQ(doc.Load(path.c_str()), DocStatus::Ok);
  ASSERT_EQ(doc.Save(), DocStatus::Ok);
  std::vector<fs::path> left;
  for (auto& entry : fs::directory_iterator(file.parent_path()))
    if (entry.path() != file) left.push_back(entry.path());
  EXPECT_TRUE(left.empty()) << left.front();
  std::printf("%d kills, %ld saves, %d reads whole, %d while held\n", kKills,
              static_cast<long>(last), reads.load(), held.load());
}

}  // namespace
