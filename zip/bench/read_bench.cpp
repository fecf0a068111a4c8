// Extracting one large archive of mixed data with the engine and with Info-ZIP's unzip, on the same
// machine in the same run. The archive is made once (zip -6); each iteration extracts it into a
// fresh folder. At the end the ratio of the mean times is printed (below 1: the engine is faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "ZipEngineRun.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

struct TBenchData {
  TTempDir Dir;
  fs::path Archive;
  std::uint64_t PlainBytes = 0;
  TBenchData() {
    const fs::path src = Dir / "src";
    PlainBytes = MakeBenchTree(src);
    Archive = Dir / "bench.zip";
    Shell("cd " + Quote(src.string()) + " && zip -q -r -6 " + Quote(Archive.string()) + " .");
  }
};

TBenchData& Data() {
  static TBenchData data;
  return data;
}

double EngineSeconds = 0, UnzipSeconds = 0;
int EngineRuns = 0, UnzipRuns = 0;

void BM_EngineExtract(benchmark::State& state) {
  TBenchData& d = Data();
  for (auto _ : state) {
    const fs::path out = d.Dir / "engine-out";
    fs::remove_all(out);
    const auto start = std::chrono::steady_clock::now();
    const TEngineRun run = ExtractWithEngine(d.Archive, out);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!run.Result.Succeeded()) state.SkipWithError("engine extraction failed");
    state.SetIterationTime(s);
    EngineSeconds += s;
    ++EngineRuns;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.PlainBytes));
}

void BM_UnzipExtract(benchmark::State& state) {
  TBenchData& d = Data();
  for (auto _ : state) {
    const fs::path out = d.Dir / "unzip-out";
    fs::remove_all(out);
    const auto start = std::chrono::steady_clock::now();
    const int rc = Shell("unzip -qq -o " + Quote(d.Archive.string()) + " -d " + Quote(out.string()));
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (rc != 0) state.SkipWithError("unzip failed");
    state.SetIterationTime(s);
    UnzipSeconds += s;
    ++UnzipRuns;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.PlainBytes));
}

BENCHMARK(BM_EngineExtract)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnzipExtract)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Data();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (EngineRuns > 0 && UnzipRuns > 0) {
    const double engine = EngineSeconds / EngineRuns, unzip = UnzipSeconds / UnzipRuns;
    std::printf("engine %.3f s, unzip %.3f s per extraction: engine/unzip = %.2f\n", engine, unzip, engine / unzip);
  }
  return 0;
}
