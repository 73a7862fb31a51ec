// Load and save of a small and a large document, each beside the raw cost of
// the same file I/O measured in the same run, printed as ratios. Also the
// peak memory a load of the large file adds, against the file's size.
#include "VirtualDocument.h"

#include "Utf.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path g_folder;

WString Wide(const fs::path& p) { return p.u16string(); }

// A document of blocks x attributes with mixed value types.
void Build(VirtualDocument& doc, int blocks, int attribs) {
  VARIANT v;
  VariantInit(&v);
  for (int b = 0; b < blocks; ++b) {
    auto& block = doc.AppendBlock(Wide("Block" + std::to_string(b)).c_str());
    for (int a = 0; a < attribs; ++a) {
      switch (a % 4) {
        case 0:
          v.vt = VT_I4;
          v.lVal = a;
          break;
        case 1:
          v.vt = VT_R8;
          v.dblVal = a / 3.0;
          break;
        case 2:
          v.vt = VT_DATE;
          v.date = 45000 + a;
          break;
        default:
          v.vt = VT_BSTR;
          v.bstrVal = SysAllocString(Wide("value text " + std::to_string(a * 7919)).c_str());
      }
      block.AppendAttrib(Wide("Attribute" + std::to_string(a)).c_str()).Take(v);
    }
  }
}

// A vault's parts: every block the same 40 properties in the same order,
// of mixed types in no regular pattern, names of 4 to 18 characters and
// texts of 5 to 30 that differ from part to part. What a decode branches
// on changes from one record to the next, as it does in real files, unlike
// in the regular document above.
void BuildParts(VirtualDocument& doc, int parts) {
  enum Kind { kText, kNumber, kReal, kDate };
  struct Property {
    const char* name;
    Kind kind;
  };
  static const Property kProperties[] = {{"PartNumber", kText},
                                         {"Title", kText},
                                         {"Revision", kText},
                                         {"Mass", kReal},
                                         {"Created", kDate},
                                         {"Quantity", kNumber},
                                         {"Material", kText},
                                         {"Finish", kText},
                                         {"Description", kText},
                                         {"Owner", kText},
                                         {"Modified", kDate},
                                         {"Length", kReal},
                                         {"Width", kReal},
                                         {"Height", kReal},
                                         {"State", kText},
                                         {"Project", kText},
                                         {"Supplier", kText},
                                         {"SupplierPartNumber", kText},
                                         {"Cost", kReal},
                                         {"Currency", kText},
                                         {"Approved", kDate},
                                         {"ApprovedBy", kText},
                                         {"Volume", kReal},
                                         {"Drawing", kText},
                                         {"DrawingRevision", kText},
                                         {"Category", kText},
                                         {"Weight", kReal},
                                         {"Density", kReal},
                                         {"Tolerance", kReal},
                                         {"Notes", kText},
                                         {"Type", kNumber},
                                         {"Colour", kText},
                                         {"Released", kDate},
                                         {"Lifecycle", kText},
                                         {"Checked", kDate},
                                         {"CheckedBy", kText},
                                         {"Surface", kText},
                                         {"Unit", kText},
                                         {"Stock", kNumber},
                                         {"Comment", kText}};
  uint32_t random = 12345;
  auto next = [&random] { return random = random * 1103515245u + 12345u; };
  VARIANT v;
  VariantInit(&v);
  for (int p = 0; p < parts; ++p) {
    auto& block = doc.AppendBlock(Wide("P-" + std::to_string(100000 + p)).c_str());
    for (const Property& property : kProperties) {
      switch (property.kind) {
        case kText:
          v.vt = VT_BSTR;
          v.bstrVal = SysAllocString(Wide("text " + std::string((next() >> 16) % 26, 'x')).c_str());
          break;
        case kNumber:
          v.vt = VT_I4;
          v.lVal = static_cast<LONG>(next() >> 8);
          break;
        case kReal:
          v.vt = VT_R8;
          v.dblVal = (next() >> 8) / 7.0;
          break;
        case kDate:
          v.vt = VT_DATE;
          v.date = 40000 + (next() >> 20);
          break;
      }
      block.AppendAttrib(Wide(property.name).c_str()).Take(v);
    }
  }
}

fs::path MakeFile(const char* name, int blocks, int attribs) {
  const fs::path path = g_folder / name;
  VirtualDocument doc;
  if (attribs == 0)
    BuildParts(doc, blocks);
  else
    Build(doc, blocks, attribs);
  doc.SetPath(Wide(path).c_str());
  if (doc.Save() != DocStatus::Ok) std::abort();
  return path;
}

void ReadInto(int fd, uint8_t* buf, size_t size) {
  size_t at = 0;
  while (at < size) at += static_cast<size_t>(read(fd, buf + at, size - at));
}

// The yardstick of earlier runs: a buffer zero-filled before the read, which
// touches every page twice. Kept for one turn beside the new one.
void RawReadZeroFilled(const fs::path& path, std::vector<uint8_t>& buf) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  buf.resize(static_cast<size_t>(lseek(fd, 0, SEEK_END)));
  lseek(fd, 0, SEEK_SET);
  ReadInto(fd, buf.data(), buf.size());
  close(fd);
}

// What a load cannot do with less: fresh memory of the file's size, the
// bytes read into it.
std::unique_ptr<uint8_t[]> RawRead(const fs::path& path, size_t& size) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  size = static_cast<size_t>(lseek(fd, 0, SEEK_END));
  lseek(fd, 0, SEEK_SET);
  std::unique_ptr<uint8_t[]> buf(new uint8_t[size]);  // not zero-filled
  ReadInto(fd, buf.get(), size);
  close(fd);
  return buf;
}

// The same steps a save takes: a new file beside the target, written whole,
// flushed to disk, renamed over the target.
void RawWrite(const fs::path& path, const std::vector<uint8_t>& buf) {
  const std::string temp = path.string() + ".raw";
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  size_t at = 0;
  while (at < buf.size()) at += static_cast<size_t>(write(fd, buf.data() + at, buf.size() - at));
  fsync(fd);
  close(fd);
  rename(temp.c_str(), path.c_str());
}

// Before each timed run of a "_cold" case, the benchmark reads this much
// other memory, as a host opens a file after other work. Back to back, a raw
// read finds the file's bytes, and its buffer, still in the processor's
// cache from the run before; a full decode never does, its own work has
// pushed them out. Written once, so that its pages are real and clean.
const std::vector<uint8_t>& OtherMemory() {
  static const std::vector<uint8_t> memory(64u << 20, 1);
  return memory;
}

void DoOtherWork(benchmark::State& state, bool cold) {
  if (!cold) return;
  state.PauseTiming();
  const std::vector<uint8_t>& memory = OtherMemory();
  unsigned sum = 0;
  for (size_t i = 0; i < memory.size(); i += 64) sum += memory[i];
  benchmark::DoNotOptimize(sum);
  state.ResumeTiming();
}

long MinorFaults() {
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

void Load(benchmark::State& state, const fs::path* file, bool cold) {
  const WString path = Wide(*file);
  for (auto _ : state) {
    DoOtherWork(state, cold);
    VirtualDocument doc;
    benchmark::DoNotOptimize(doc.Load(path.c_str()));
  }
}

// A load followed by a use of every attribute: what a full read of the
// document costs once the blocks decode their attributes.
void LoadAll(benchmark::State& state, const fs::path* file, bool cold) {
  const WString path = Wide(*file);
  const long faults = MinorFaults();
  for (auto _ : state) {
    DoOtherWork(state, cold);
    VirtualDocument doc;
    benchmark::DoNotOptimize(doc.Load(path.c_str()));
    size_t n = 0;
    for (const auto& block : doc.blocks()) n += block.attribs().size();
    benchmark::DoNotOptimize(n);
  }
  // Memory the heap gave back to the system between iterations comes back
  // page by page.
  state.counters["faults"] = benchmark::Counter(static_cast<double>(MinorFaults() - faults),
                                                benchmark::Counter::kAvgIterations);
}

void RawLoad(benchmark::State& state, const fs::path* file, bool cold) {
  const long faults = MinorFaults();
  for (auto _ : state) {
    DoOtherWork(state, cold);
    size_t size = 0;
    std::unique_ptr<uint8_t[]> buf = RawRead(*file, size);
    benchmark::DoNotOptimize(buf.get());
  }
  state.counters["faults"] = benchmark::Counter(static_cast<double>(MinorFaults() - faults),
                                                benchmark::Counter::kAvgIterations);
}

void RawLoadZeroFilled(benchmark::State& state, const fs::path* file, bool) {
  std::vector<uint8_t> buf;
  for (auto _ : state) {
    std::vector<uint8_t>().swap(buf);
    RawReadZeroFilled(*file, buf);
    benchmark::DoNotOptimize(buf.data());
  }
}

void Save(benchmark::State& state, const fs::path* file, bool) {
  VirtualDocument doc;
  doc.Load(Wide(*file).c_str());
  for (auto _ : state) benchmark::DoNotOptimize(doc.Save());
}

void RawSave(benchmark::State& state, const fs::path* file, bool) {
  std::vector<uint8_t> buf;
  RawReadZeroFilled(*file, buf);
  for (auto _ : state) RawWrite(*file, buf);
}

// Collects the median real and CPU time per iteration of each benchmark's
// repetitions, by name: a 2 KB load takes microseconds, and one noisy
// repetition would move a single ratio by more than the margin it is
// judged by. On a machine shared with other work the CPU time is the
// steadier of the two.
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
      m_times[run.run_name.function_name] = run.GetAdjustedRealTime();
      m_cpuTimes[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> m_times;
  std::map<std::string, double> m_cpuTimes;
};

long PeakKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// Run in a fresh process (this program again), so that no heap left over from
// building the files is reused and hides the cost.
long MeasureLoadKb(const char* file, bool useAll) {
  const long before = PeakKilobytes();
  VirtualDocument doc;
  doc.Load(Wide(file).c_str());
  if (useAll)
    for (const auto& block : doc.blocks()) benchmark::DoNotOptimize(block.attribs().size());
  return PeakKilobytes() - before;
}

long LoadMemoryKb(const fs::path& file, bool useAll) {
  const std::string command = "/proc/" + std::to_string(getpid()) + "/exe " +
                              (useAll ? "--load-all-memory " : "--load-memory ") + file.string();
  FILE* out = popen(command.c_str(), "r");
  long kb = -1;
  if (!out || std::fscanf(out, "%ld", &kb) != 1) kb = -1;
  if (out) pclose(out);
  return kb;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && (std::strcmp(argv[1], "--load-memory") == 0 ||
                    std::strcmp(argv[1], "--load-all-memory") == 0)) {
    std::printf("%ld\n", MeasureLoadKb(argv[2], argv[1][7] == 'a'));
    return 0;
  }
  g_folder = fs::temp_directory_path() / ("vellisto-bench-" + std::to_string(getpid()));
  fs::create_directories(g_folder);
  static const fs::path small = MakeFile("small.tvd", 2, 20);      // about 2 KB
  static const fs::path large = MakeFile("large.tvd", 200, 1000);  // 200,000 attributes
  static const fs::path parts = MakeFile("parts.tvd", 5000, 0);    // 200,000 attributes
  // Large enough for the heap to give its memory back to the system when
  // a document is closed, too small for 2 MB pages: without the pool's
  // spare chunks, each full decode paid a page fault for every 4 KB.
  static const fs::path middle = MakeFile("middle.tvd", 60, 1000);  // about 2.6 MB
  std::printf("small file: %ju bytes, large file: %ju bytes, parts file: %ju bytes\n",
              static_cast<uintmax_t>(fs::file_size(small)),
              static_cast<uintmax_t>(fs::file_size(large)),
              static_cast<uintmax_t>(fs::file_size(parts)));

  // The loads and raw reads of one file read the same copy: how the kernel
  // happens to hold a file's pages in its cache moved the raw read of two
  // copies of the same bytes by half. Each save and raw write writes a copy
  // of its own, so that it does not change what the loads read. The
  // repetitions of all of them are interleaved, so that a busy moment of the
  // machine falls on all alike.
  struct Entry {
    const char* name;
    void (*run)(benchmark::State&, const fs::path*, bool cold);
    const fs::path* file;
    bool writes = false;
    bool cold = false;
  };
  const Entry entries[] = {
      {"load/small", Load, &small},
      {"raw_read/small", RawLoad, &small},
      {"raw_read_zero_filled/small", RawLoadZeroFilled, &small},
      {"load/large", Load, &large},
      {"raw_read/large", RawLoad, &large},
      {"raw_read_zero_filled/large", RawLoadZeroFilled, &large},
      {"load/large_cold", Load, &large, false, true},
      {"raw_read/large_cold", RawLoad, &large, false, true},
      {"load_all/large_cold", LoadAll, &large, false, true},
      {"load_all/small", LoadAll, &small},
      {"load_all/large", LoadAll, &large},
      {"load_all/middle", LoadAll, &middle},
      {"raw_read/middle", RawLoad, &middle},
      {"load/parts", Load, &parts},
      {"raw_read/parts", RawLoad, &parts},
      {"load_all/parts", LoadAll, &parts},
      {"save/small", Save, &small, true},
      {"raw_write/small", RawSave, &small, true},
      {"save/large", Save, &large, true},
      {"raw_write/large", RawSave, &large, true},
  };
  static std::vector<fs::path> copies;
  copies.reserve(std::size(entries));
  for (const Entry& entry : entries) {
    const fs::path* file = entry.file;
    if (entry.writes) {
      std::string copy = entry.name;
      std::replace(copy.begin(), copy.end(), '/', '-');
      copies.push_back(g_folder / (copy + ".tvd"));
      fs::copy_file(*entry.file, copies.back());
      file = &copies.back();
    }
    auto* b = benchmark::RegisterBenchmark(entry.name, entry.run, file, entry.cold);
    b->Repetitions(9)->ReportAggregatesOnly(true);
    if (entry.file != &small) b->Unit(benchmark::kMillisecond);
  }
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);  // a later flag of the caller's wins
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);

  std::printf(
      "\nratios to the raw I/O, of real and of CPU time (targets: small load 1.5, large load 2, "
      "large full decode 4, save 5);\nloads also against the zero-filled read of earlier "
      "runs; a _cold case and its raw read each ran after other work:\n");
  for (const char* which : {"load/small", "load/large", "load/large_cold", "save/small",
                            "save/large", "load_all/small", "load_all/large", "load_all/large_cold",
                            "load_all/middle", "load/parts", "load_all/parts"}) {
    const std::string name = which;
    const std::string size = name.substr(name.find('/'));
    const std::string raw = (name[0] == 'l' ? "raw_read" : "raw_write") + size;
    const std::string zeroFilled = "raw_read_zero_filled" + size;
    std::map<std::string, double>& t = collector.m_times;
    std::map<std::string, double>& c = collector.m_cpuTimes;
    if (!t.count(name) || !t.count(raw)) continue;
    std::printf("  %-19s real %.2fx  cpu %.2fx", which, t[name] / t[raw], c[name] / c[raw]);
    if (name[0] == 'l' && t.count(zeroFilled))
      std::printf("  (zero-filled yardstick: real %.2fx  cpu %.2fx)", t[name] / t[zeroFilled],
                  c[name] / c[zeroFilled]);
    std::printf("\n");
  }
  for (bool useAll : {false, true}) {
    const long addedKb = LoadMemoryKb(large, useAll);
    const double ratio = (static_cast<double>(addedKb) - 1024.0) /
                         (static_cast<double>(fs::file_size(large)) / 1024.0);
    std::printf("peak memory of a large load%s: %ld KB added, (peak - 1 MB) / file size = %.2f%s\n",
                useAll ? " with every attribute used" : "", addedKb, ratio,
                useAll ? " (target 2.5)" : "");
  }
  fs::remove_all(g_folder);
  return 0;
}
