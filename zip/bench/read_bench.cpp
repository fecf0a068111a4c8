// Extraction by the engine beside Info-ZIP's unzip and 7-Zip, on the same machine in the same run,
// on two archives made once with zip -6: a mixed tree (text, incompressible data, thousands of small
// files) and one large compressible file. Every extraction runs in a child process of its own (the
// engine in a forked child, the peers as programs), so that CPU time (user + system) and peak
// memory are the child's own (the engine's peak is shown above what its forked process starts
// with, the peers' as time(1) reports it); wall time is measured around it. Each iteration extracts into a
// fresh folder. At the end a table gives the means and the ratios to unzip.
//
// The engine runs with the updater's options except FlushBuffers, which is off as unzip and 7-Zip
// do not flush either; the "durable" row runs with it, as the updater does.
//
// The archives and the extracted trees lie in a temporary folder under TMPDIR (or /tmp); give
// --folder=PATH to put it elsewhere, e.g. on the machine's disk where /tmp is a tmpfs. The file
// system the folder lies on is printed first.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <zlib.h>

#include "ZAInflate.h"
#include "ZipBuilder.h"
#include "ZipEngineRun.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

struct TArchive {
  fs::path Path;
  std::uint64_t PlainBytes = 0;
};

struct TBenchData {
  TTempDir Dir;
  TArchive Mixed;
  TArchive Large;
  TBenchData() {
    const fs::path src = Dir / "src";
    // Text-like data (compresses well), random data (does not), and many small files.
    Mixed.PlainBytes = MakeBenchTree(src);
    Mixed.Path = Dir / "mixed.zip";
    Shell("cd " + Quote(src.string()) + " && zip -q -r -6 " + Quote(Mixed.Path.string()) + " .");

    const fs::path big = Dir / "big";
    fs::create_directories(big);
    WriteBytes(big / "large.txt", TextBytes(160 * 1024 * 1024, 7));
    Large.PlainBytes = 160 * 1024 * 1024;
    StampTimes(big);
    Large.Path = Dir / "large.zip";
    Shell("cd " + Quote(big.string()) + " && zip -q -6 " + Quote(Large.Path.string()) + " large.txt");
    fs::remove_all(src);
    fs::remove_all(big);
  }
};

TBenchData& Data() {
  static TBenchData data;
  return data;
}

struct TMeasure {
  double Wall = 0, Cpu = 0, PeakMiB = 0;
  int Runs = 0;
};
std::map<std::string, TMeasure> gMeasures;  // by "archive/tool"
std::vector<std::string> gOrder;

// Runs body in a child process and measures it; false when the child failed.
template <typename Body>
bool MeasureChild(Body body, double& wall, double& cpu, double& peakMiB) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) ::_exit(body());
  int status = 0;
  struct rusage usage {};
  if (::wait4(pid, &status, 0, &usage) != pid) return false;
  wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The resident memory a forked child starts with (what it shares with this process); the engine's
// peak is shown above it.
double ForkBaselineMiB() {
  double wall, cpu, peak = 0;
  MeasureChild([] { return 0; }, wall, cpu, peak);
  return peak;
}

enum class TTool { Engine, EngineDurable, Unzip, SevenZip };

const char* ToolName(TTool tool) {
  switch (tool) {
    case TTool::Engine: return "engine";
    case TTool::EngineDurable: return "engine (durable)";
    case TTool::Unzip: return "unzip";
    case TTool::SevenZip: return "7z x";
  }
  return "";
}

void RunExtraction(benchmark::State& state, const TArchive& archive, const std::string& archiveName, TTool tool) {
  const fs::path out = Data().Dir / "out";
  const std::string key = archiveName + "/" + ToolName(tool);
  if (!gMeasures.count(key)) gOrder.push_back(key);
  TMeasure& m = gMeasures[key];
  const double baseline = tool == TTool::Engine || tool == TTool::EngineDurable ? ForkBaselineMiB() : 0.0;
  for (auto _ : state) {
    fs::remove_all(out);
    fs::create_directories(out);
    double wall = 0, cpu = 0, peak = 0;
    bool ok;
    if (tool == TTool::Engine || tool == TTool::EngineDurable) {
      const bool durable = tool == TTool::EngineDurable;
      ok = MeasureChild(
          [&] {
            const TEngineRun run = ExtractWithEngine(archive.Path, out, [durable](zip::TZipArchiver& a) {
              a.Options().FlushBuffers = durable;
            });
            return run.Result.Succeeded() ? 0 : 1;
          },
          wall, cpu, peak);
      peak -= baseline;
    } else {
      // The peer runs under time(1), which reports the peer's own peak; this child's rusage would
      // also count the memory it shared with this process before the exec.
      const std::string a = archive.Path.string(), o = out.string();
      const std::string peakFile = (Data().Dir / "peak.txt").string();
      ok = MeasureChild(
          [&] {
            if (tool == TTool::Unzip) {
              ::execlp("/usr/bin/time", "time", "-q", "-f", "%M", "-o", peakFile.c_str(), "unzip", "-qq", "-o",
                       a.c_str(), "-d", o.c_str(), static_cast<char*>(nullptr));
            } else {
              const std::string dest = "-o" + o;
              ::execlp("/usr/bin/time", "time", "-q", "-f", "%M", "-o", peakFile.c_str(), "7zz", "x", "-y", "-bd",
                       "-bso0", "-bsp0", dest.c_str(), a.c_str(), static_cast<char*>(nullptr));
            }
            return 127;
          },
          wall, cpu, peak);
      peak = 0;
      if (std::FILE* f = std::fopen(peakFile.c_str(), "r")) {
        long kib = 0;
        if (std::fscanf(f, "%ld", &kib) == 1) peak = static_cast<double>(kib) / 1024.0;
        std::fclose(f);
      }
    }
    if (!ok) {
      state.SkipWithError("extraction failed");
      break;
    }
    state.SetIterationTime(wall);
    m.Wall += wall;
    m.Cpu += cpu;
    m.PeakMiB = std::max(m.PeakMiB, peak);
    ++m.Runs;
  }
  state.counters["cpu_s"] = m.Runs ? m.Cpu / m.Runs : 0;
  state.counters["peak_MiB"] = m.PeakMiB;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * archive.PlainBytes));
  fs::remove_all(out);
}

void BM_Mixed(benchmark::State& state) { RunExtraction(state, Data().Mixed, "mixed", static_cast<TTool>(state.range(0))); }
void BM_Large(benchmark::State& state) { RunExtraction(state, Data().Large, "large", static_cast<TTool>(state.range(0))); }

// Engine and peers alternate so that a change in the machine's load touches all of them alike.
void Tools(benchmark::internal::Benchmark* b) {
  b->ArgName("tool");
  for (TTool t : {TTool::Unzip, TTool::Engine, TTool::SevenZip, TTool::EngineDurable}) b->Arg(static_cast<int>(t));
}
BENCHMARK(BM_Mixed)->Apply(Tools)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Large)->Apply(Tools)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// Inflate alone, in this process, on one raw deflate stream of text held in memory: zlib
// against the inflater the engine uses (ISA-L), with the same output buffer the engine uses.
const std::vector<std::uint8_t>& Deflated(std::size_t& plainSize) {
  static std::size_t size = 64 * 1024 * 1024;
  static const std::vector<std::uint8_t> packed = RawDeflate(TextBytes(size, 11));
  plainSize = size;
  return packed;
}

void BM_InflateZlib(benchmark::State& state) {
  std::size_t plain = 0;
  const auto& packed = Deflated(plain);
  std::vector<std::uint8_t> out(0x100000);
  for (auto _ : state) {
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    std::uint32_t crc = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      rc = inflate(&z, Z_NO_FLUSH);
      crc = static_cast<std::uint32_t>(::crc32(crc, out.data(), static_cast<uInt>(out.size() - z.avail_out)));
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) state.SkipWithError("zlib inflate failed");
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain));
}

void BM_InflateIsal(benchmark::State& state) {
  std::size_t plain = 0;
  const auto& packed = Deflated(plain);
  std::vector<std::uint8_t> out(0x100000);
  for (auto _ : state) {
    zip::TZARawInflater inflater;
    std::size_t pos = 0;
    std::uint32_t crc = 0;
    zip::TZAInflateStep step;
    do {
      step = inflater.Inflate(packed.data() + pos, packed.size() - pos, out.data(), out.size());
      pos += step.Consumed;
      crc = zip::ZACrc32(crc, out.data(), step.Produced);
    } while (step.Status == zip::TZAInflateStatus::Ok && (step.Consumed > 0 || step.Produced > 0));
    if (step.Status != zip::TZAInflateStatus::StreamEnd) state.SkipWithError("ISA-L inflate failed");
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain));
}

BENCHMARK(BM_InflateZlib)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_InflateIsal)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  // --folder=PATH: where the temporary folder goes (taken out before the benchmark library sees the
  // arguments).
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--folder=", 9) != 0) continue;
    ::setenv("TMPDIR", argv[i] + 9, 1);
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    --i;
  }
  benchmark::Initialize(&argc, argv);
  struct statfs where {};
  const bool tmpfs = ::statfs(Data().Dir.Path().c_str(), &where) == 0 && where.f_type == 0x01021994;
  std::printf("folder %s (%s)\n", Data().Dir.Path().c_str(), tmpfs ? "tmpfs: in memory" : "not a tmpfs");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\n%-24s %9s %9s %9s %10s %10s\n", "archive/tool", "wall s", "cpu s", "peak MiB", "wall/unzip",
              "cpu/unzip");
  for (const std::string& key : gOrder) {
    const TMeasure& m = gMeasures[key];
    if (m.Runs == 0) continue;
    const std::string archive = key.substr(0, key.find('/'));
    const TMeasure& u = gMeasures[archive + "/unzip"];
    const double wall = m.Wall / m.Runs, cpu = m.Cpu / m.Runs;
    const double uw = u.Runs ? u.Wall / u.Runs : 0, uc = u.Runs ? u.Cpu / u.Runs : 0;
    std::printf("%-24s %9.3f %9.3f %9.1f %10.2f %10.2f\n", key.c_str(), wall, cpu, m.PeakMiB, uw > 0 ? wall / uw : 0,
                uc > 0 ? cpu / uc : 0);
  }
  return 0;
}
