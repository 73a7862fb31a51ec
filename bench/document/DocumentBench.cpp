// Load and save of a small and a large document, each beside the raw cost of
// the same file I/O measured in the same run, printed as ratios. Also the
// peak memory a load of the large file adds, against the file's size.
#include "VirtualDocument.h"

#include "Utf.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
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
      auto& attrib = block.AppendAttrib(Wide("Attribute" + std::to_string(a)).c_str());
      switch (a % 4) {
        case 0: attrib.value.vt = VT_I4; attrib.value.lVal = a; break;
        case 1: attrib.value.vt = VT_R8; attrib.value.dblVal = a / 3.0; break;
        case 2: attrib.value.vt = VT_DATE; attrib.value.date = 45000 + a; break;
        default:
          attrib.value.vt = VT_BSTR;
          attrib.value.bstrVal = SysAllocString(Wide("value text " + std::to_string(a * 7919)).c_str());
      }
    }
  }
}

fs::path MakeFile(const char* name, int blocks, int attribs) {
  const fs::path path = g_folder / name;
  VirtualDocument doc;
  Build(doc, blocks, attribs);
  doc.SetPath(Wide(path).c_str());
  if (doc.Save() != DocStatus::Ok) std::abort();
  return path;
}

void RawRead(const fs::path& path, std::vector<uint8_t>& buf) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  buf.resize(static_cast<size_t>(lseek(fd, 0, SEEK_END)));
  lseek(fd, 0, SEEK_SET);
  size_t at = 0;
  while (at < buf.size()) at += static_cast<size_t>(read(fd, buf.data() + at, buf.size() - at));
  close(fd);
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

void Load(benchmark::State& state, const fs::path* file) {
  const WString path = Wide(*file);
  for (auto _ : state) {
    VirtualDocument doc;
    benchmark::DoNotOptimize(doc.Load(path.c_str()));
  }
}

void RawLoad(benchmark::State& state, const fs::path* file) {
  std::vector<uint8_t> buf;
  for (auto _ : state) {
    std::vector<uint8_t>().swap(buf);
    RawRead(*file, buf);
    benchmark::DoNotOptimize(buf.data());
  }
}

void Save(benchmark::State& state, const fs::path* file) {
  VirtualDocument doc;
  doc.Load(Wide(*file).c_str());
  for (auto _ : state) benchmark::DoNotOptimize(doc.Save());
}

void RawSave(benchmark::State& state, const fs::path* file) {
  std::vector<uint8_t> buf;
  RawRead(*file, buf);
  for (auto _ : state) RawWrite(*file, buf);
}

// Collects each run's real time per iteration, by name.
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
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
long MeasureLoadKb(const char* file) {
  const long before = PeakKilobytes();
  VirtualDocument doc;
  doc.Load(Wide(file).c_str());
  return PeakKilobytes() - before;
}

long LoadMemoryKb(const fs::path& file) {
  const std::string command = "/proc/" + std::to_string(getpid()) + "/exe --load-memory " + file.string();
  FILE* out = popen(command.c_str(), "r");
  long kb = -1;
  if (!out || std::fscanf(out, "%ld", &kb) != 1) kb = -1;
  if (out) pclose(out);
  return kb;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--load-memory") == 0) {
    std::printf("%ld\n", MeasureLoadKb(argv[2]));
    return 0;
  }
  g_folder = fs::temp_directory_path() / ("vellisto-bench-" + std::to_string(getpid()));
  fs::create_directories(g_folder);
  static const fs::path small = MakeFile("small.tvd", 2, 20);        // about 2 KB
  static const fs::path large = MakeFile("large.tvd", 200, 1000);    // 200,000 attributes
  std::printf("small file: %ju bytes, large file: %ju bytes\n",
              static_cast<uintmax_t>(fs::file_size(small)), static_cast<uintmax_t>(fs::file_size(large)));

  benchmark::RegisterBenchmark("load/small", Load, &small);
  benchmark::RegisterBenchmark("raw_read/small", RawLoad, &small);
  benchmark::RegisterBenchmark("load/large", Load, &large)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("raw_read/large", RawLoad, &large)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("save/small", Save, &small);
  benchmark::RegisterBenchmark("raw_write/small", RawSave, &small);
  benchmark::RegisterBenchmark("save/large", Save, &large)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("raw_write/large", RawSave, &large)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);

  std::printf("\nratios to the raw I/O (targets: small load 1.5, large load and save 5):\n");
  for (const char* which : {"load/small", "load/large", "save/small", "save/large"}) {
    const std::string name = which;
    const std::string raw = (name[0] == 'l' ? "raw_read" : "raw_write") + name.substr(name.find('/'));
    if (collector.times.count(name) && collector.times.count(raw))
      std::printf("  %-12s %.2fx\n", which, collector.times[name] / collector.times[raw]);
  }
  const long addedKb = LoadMemoryKb(large);
  const double ratio = (static_cast<double>(addedKb) - 1024.0) / (static_cast<double>(fs::file_size(large)) / 1024.0);
  std::printf("peak memory of a large load: %ld KB added, (peak - 1 MB) / file size = %.2f (target 4)\n",
              addedKb, ratio);
  fs::remove_all(g_folder);
  return 0;
}
