// How long reading the options takes for a typical worker command line.
#include <benchmark/benchmark.h>

#include "app/options.h"

namespace {

void BM_ParseWorkerCommandLine(benchmark::State& state) {
  const char16_t* args[] = {u"C:\\Users\\me\\AppData\\Local\\Temp\\TWK1A2B.exe", u"E:", u"/c",
                            u"/k", u"--delete-executable"};
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarnwick::parseLaunchOptions(args, 5));
  }
}
BENCHMARK(BM_ParseWorkerCommandLine);

}  // namespace
