// Cost per sample of the signal-chain blocks, each driven the way the chain drives it. The "per_sample" counter
// is the time of one call (one host sample of one filter, compressor or meter).

#include "Biquad.h"
#include "OSAA.h"
#include "VUClass.h"
#include "compressor.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace
{
constexpr int kBlock = 1024;

const std::vector<double>& signal()
{
  static const std::vector<double> v = []
  {
    std::vector<double> s(kBlock);
    uint32_t r = 1;
    for (int i = 0; i < kBlock; i++)
    {
      r = r * 1664525u + 1013904223u;
      s[i] = 0.5 * std::sin(i * 0.03) + 0.2 * ((r >> 8) / double(1 << 23) - 1.0);
    }
    return s;
  }();
  return v;
}

void perSample(benchmark::State& state, int callsPerIteration = kBlock)
{
  state.counters["per_sample"] = benchmark::Counter(callsPerIteration, benchmark::Counter::kIsIterationInvariantRate |
                                                                           benchmark::Counter::kInvert);
}

void BM_BiquadProcess(benchmark::State& state)
{
  Biquad f(static_cast<int>(state.range(0)), 425 / 44100.0, 0.707, 6);
  std::vector<float> in(signal().begin(), signal().end());
  for (auto _ : state)
  {
    float acc = 0;
    for (float x : in)
      acc += f.process(x);
    benchmark::DoNotOptimize(acc);
  }
  perSample(state);
}
BENCHMARK(BM_BiquadProcess)->Arg(kBandpass)->Arg(kLowshelf);

// Eleven filters retuned per block, as the chain does at each block start (block of 1024 samples).
void BM_BiquadRetuneEleven(benchmark::State& state)
{
  Biquad f[11];
  for (auto _ : state)
  {
    for (int i = 0; i < 11; i++)
      f[i].setBiquad(i % 7, (425 + i * 300) / 44100.0, 0.707, 6);
    benchmark::DoNotOptimize(f);
  }
}
BENCHMARK(BM_BiquadRetuneEleven);

// processStereo followed by the six setters, once per sample, as each band does.
void BM_CompressorChainStep(benchmark::State& state)
{
  compressor c;
  const auto& in = signal();
  for (auto _ : state)
  {
    double acc = 0;
    for (double x : in)
    {
      acc += c.processStereo(x, x);
      c.setAttack(10);
      c.setRelease(400);
      c.setHold(0);
      c.setRatio(std::fabs(x) + 4); // the ratio moves with the signal
      c.setThreshold(1 - 30);
      c.setKnee(0.2);
    }
    benchmark::DoNotOptimize(acc);
  }
  perSample(state);
}
BENCHMARK(BM_CompressorChainStep);

void BM_CompressorProcess(benchmark::State& state)
{
  compressor c;
  c.setThreshold(-20);
  c.setKnee(0.4);
  const auto& in = signal();
  for (auto _ : state)
  {
    double acc = 0;
    for (double x : in)
      acc += c.process(x);
    benchmark::DoNotOptimize(acc);
  }
  perSample(state);
}
BENCHMARK(BM_CompressorProcess);

void BM_VUProcess(benchmark::State& state)
{
  VUClass vu(1.0);
  const auto& in = signal();
  for (auto _ : state)
  {
    double acc = 0;
    for (double x : in)
      acc += vu.Process(x, 44100);
    benchmark::DoNotOptimize(acc);
  }
  perSample(state);
}
BENCHMARK(BM_VUProcess);

void BM_OSAAProcess(benchmark::State& state)
{
  OSAA f;
  const auto& in = signal();
  for (auto _ : state)
  {
    double acc = 0;
    for (double x : in)
      acc += f.process(x);
    benchmark::DoNotOptimize(acc);
  }
  perSample(state);
}
BENCHMARK(BM_OSAAProcess);

// One host sample of one channel with oversampling on: up, down, then the zero-stuffed sub-sample through both.
void BM_OSAAUpDownPerHostSample(benchmark::State& state)
{
  OSAA up, down;
  const auto& in = signal();
  for (auto _ : state)
  {
    double acc = 0;
    for (double x : in)
    {
      acc += down.process(2 * up.process(x));
      down.process(2 * up.process(0.0));
    }
    benchmark::DoNotOptimize(acc);
  }
  perSample(state);
}
BENCHMARK(BM_OSAAUpDownPerHostSample);
} // namespace

BENCHMARK_MAIN();
