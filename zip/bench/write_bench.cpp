// Compressing one tree of mixed data with the engine (mode 6), with Info-ZIP's zip -6 and with
// 7-Zip's zip writer at -mx=5, on the same machine in the same run. Each iteration writes a fresh
// archive. At the end the mean wall and CPU times and the archive sizes are printed side by side.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "ZipWriteSupport.h"

namespace {

using namespace ziptest;

struct TBenchData {
  TTempDir Dir;
  fs::path Source;
  std::uint64_t PlainBytes = 0;
  TBenchData() {
    Source = Dir / "src";
    PlainBytes = MakeBenchTree(Source);
  }
};

TBenchData& Data() {
  static TBenchData data;
  return data;
}

double CpuSeconds(int who) {
  rusage u{};
  ::getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct TTotals {
  double Wall = 0, Cpu = 0;
  std::uintmax_t Size = 0;
  int Runs = 0;
};
TTotals Engine, Zip, SevenZip;

// One way of writing the archive: in this process (the engine) or in a child (the peers).
void Measure(benchmark::State& state, TTotals& totals, bool inProcess, const std::function<bool(const fs::path&)>& write) {
  TBenchData& d = Data();
  for (auto _ : state) {
    const fs::path archive = d.Dir / "out.zip";
    fs::remove(archive);
    const int who = inProcess ? RUSAGE_SELF : RUSAGE_CHILDREN;
    const double cpu0 = CpuSeconds(who);
    const auto start = std::chrono::steady_clock::now();
    const bool ok = write(archive);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) state.SkipWithError("writing the archive failed");
    state.SetIterationTime(s);
    totals.Wall += s;
    totals.Cpu += CpuSeconds(who) - cpu0;
    totals.Size = fs::file_size(archive);
    ++totals.Runs;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.PlainBytes));
}

void BM_EngineCompress(benchmark::State& state) {
  Measure(state, Engine, true, [](const fs::path& archive) {
    return WriteWithEngine(
               archive, true, [](zip::TZipArchiver& a) { a.AddFiles("*"); },
               [](zip::TZipArchiver& a) {
                 a.BaseDir = EngineName(Data().Source);
                 a.SetCompressionMode(6);
               })
        .Succeeded();
  });
}

void BM_ZipCompress(benchmark::State& state) {
  Measure(state, Zip, false, [](const fs::path& archive) {
    return Shell("cd " + Quote(Data().Source.string()) + " && zip -q -r -6 " + Quote(archive.string()) + " .") == 0;
  });
}

void BM_SevenZipCompress(benchmark::State& state) {
  Measure(state, SevenZip, false, [](const fs::path& archive) {
    return Shell("cd " + Quote(Data().Source.string()) + " && 7zz a -tzip -mx=5 -bd -bso0 " + Quote(archive.string()) +
                 " .") == 0;
  });
}

BENCHMARK(BM_EngineCompress)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZipCompress)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SevenZipCompress)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void Print(const char* name, const TTotals& t) {
  if (t.Runs == 0) return;
  std::printf("%-16s wall %.3f s  cpu %.3f s  size %ju bytes\n", name, t.Wall / t.Runs, t.Cpu / t.Runs, t.Size);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Data();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("%.1f MB of plain data per archive\n", static_cast<double>(Data().PlainBytes) / 1e6);
  Print("engine (mode 6)", Engine);
  Print("zip -6", Zip);
  Print("7zz -mx=5", SevenZip);
  if (Engine.Runs > 0 && Zip.Runs > 0) {
    std::printf("engine/zip: wall %.2f, cpu %.2f, size %.3f\n", (Engine.Wall / Engine.Runs) / (Zip.Wall / Zip.Runs),
                (Engine.Cpu / Engine.Runs) / (Zip.Cpu / Zip.Runs),
                static_cast<double>(Engine.Size) / static_cast<double>(Zip.Size));
  }
  return 0;
}
