// The banner's per-pixel passes at the worked example's width (736 x 74),
// next to one memcpy of the same image as the yardstick: a composition runs
// every 60 ms while the symbol pulses and a fade step every 30 ms.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "ui/banner_pixels.h"

namespace {

using namespace tarnwick;

constexpr int32_t kWidth = 736;

struct Banner {
  std::vector<uint8_t> memory = std::vector<uint8_t>(size_t(kWidth) * kBannerHeight * 4);
  std::vector<int32_t> highlight = std::vector<int32_t>(kWidth),
                       body = std::vector<int32_t>(kWidth);
  BannerImage image{memory.data(), kWidth, kBannerHeight};

  Banner() { computeRamps(kWidth, highlight.data(), body.data()); }
  // A composed banner with a line of "text" in the body rows.
  void compose() {
    fillBackground(image);
    for (int32_t x = 36; x < 336; x += 2) std::memset(image.at(x, 30), 0xFF, 4);
    applyAlphaRows(image, highlight.data(), body.data());
  }
};

void BM_Memcpy(benchmark::State& state) {
  Banner a, b;
  a.compose();
  for (auto _ : state) {
    std::memcpy(b.memory.data(), a.memory.data(), a.memory.size());
    benchmark::DoNotOptimize(b.memory.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.memory.size()));
}
BENCHMARK(BM_Memcpy);

// Everything a composition does to the pixels besides the system's text and
// button drawing: the background fill and the rim, highlight and body rows.
void BM_ComposePasses(benchmark::State& state) {
  Banner banner;
  for (auto _ : state) {
    fillBackground(banner.image);
    applyAlphaRows(banner.image, banner.highlight.data(), banner.body.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(banner.memory.size()));
}
BENCHMARK(BM_ComposePasses);

void BM_AlphaRowsOnly(benchmark::State& state) {
  Banner banner;
  banner.compose();
  for (auto _ : state) {
    applyAlphaRows(banner.image, banner.highlight.data(), banner.body.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_AlphaRowsOnly);

// The first step of a fade, on a freshly composed banner (every pixel has
// alpha): the slowest step. Only the step itself is timed.
void BM_FadeFirstStep(benchmark::State& state) {
  Banner banner, composed;
  composed.compose();
  int32_t x = 0;
  for (auto _ : state) {
    banner.memory = composed.memory;
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(fadeStep(banner.image, 1, x));
    benchmark::ClobberMemory();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(banner.memory.size()));
}
BENCHMARK(BM_FadeFirstStep)->UseManualTime();

// The first fade step against a memcpy of the same image, timed in turn
// inside one iteration so that a busy machine slows both alike; the counter
// "x_memcpy" is the step's time over the copy's.
void BM_FadeFirstStepPerMemcpy(benchmark::State& state) {
  Banner banner, composed, copy;
  composed.compose();
  int32_t x = 0;
  double fadeSeconds = 0, copySeconds = 0;
  for (auto _ : state) {
    banner.memory = composed.memory;
    auto start = std::chrono::steady_clock::now();
    std::memcpy(copy.memory.data(), banner.memory.data(), banner.memory.size());
    benchmark::DoNotOptimize(copy.memory.data());
    benchmark::ClobberMemory();
    auto middle = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(fadeStep(banner.image, 1, x));
    benchmark::ClobberMemory();
    auto end = std::chrono::steady_clock::now();
    copySeconds += std::chrono::duration<double>(middle - start).count();
    fadeSeconds += std::chrono::duration<double>(end - middle).count();
    state.SetIterationTime(std::chrono::duration<double>(end - middle).count());
  }
  state.counters["x_memcpy"] = copySeconds > 0 ? fadeSeconds / copySeconds : 0;
}
BENCHMARK(BM_FadeFirstStepPerMemcpy)->UseManualTime();

// A whole fade as the banner runs it: 32 steps from a composed banner to
// nothing. Reported per step.
void BM_FadeStepAverageOfAWholeFade(benchmark::State& state) {
  Banner banner, composed;
  composed.compose();
  int32_t x = 0;
  for (auto _ : state) {
    banner.memory = composed.memory;
    const auto start = std::chrono::steady_clock::now();
    while (fadeStep(banner.image, 1, x)) {
    }
    benchmark::ClobberMemory();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 32);
  }
}
BENCHMARK(BM_FadeStepAverageOfAWholeFade)->UseManualTime();

void BM_SymbolBlend(benchmark::State& state) {
  Banner banner;
  banner.compose();
  std::vector<uint8_t> symbolMemory(18 * 18 * 4, 0x80);
  const BannerImage symbol{symbolMemory.data(), 18, 18};
  for (auto _ : state) {
    blendSymbol(banner.image, symbol, 9, 28, 200);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SymbolBlend);

// One pulse tick's composition as the pixels see it: background, rim,
// highlight and body rows, then the symbol at the tick's opacity (the
// system's text and button drawing come on top of this on Windows).
void BM_PulseTickComposition(benchmark::State& state) {
  Banner banner;
  std::vector<uint8_t> symbolMemory(18 * 18 * 4, 0x80);
  const BannerImage symbol{symbolMemory.data(), 18, 18};
  uint8_t pulse = 255;
  for (auto _ : state) {
    fillBackground(banner.image);
    applyAlphaRows(banner.image, banner.highlight.data(), banner.body.data());
    blendSymbol(banner.image, symbol, 9, 28, pulse);
    pulse = pulse >= 32 ? static_cast<uint8_t>(pulse - 16) : 255;
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(banner.memory.size()));
}
BENCHMARK(BM_PulseTickComposition);

}  // namespace
