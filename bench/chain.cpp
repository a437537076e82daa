// Throughput of Brevant's whole signal chain: stereo blocks of 512 samples at 48 kHz through ProcessBlock, every
// band compressing, oversampling off and on. "realtime" is seconds of audio processed per second (the realtime
// factor of one instance on one core), items_per_second the sample frames per second. The literal reference
// transcription the tests hold the chain to runs in the same program:
// - BM_SpeedupOverReference times the two block by block in turn and reports the ratio of the median block times
//   (robust on a busy machine);
// - BM_ChainBypassed is an idle instance (the plug-in's own "Bypass" at 0);
// - BM_ChainSilenceAfterLoud and BM_ChainSilenceProfile check that silence after music, with or without a keyed
//   side-chain, never costs more per block than the music did (no subnormal slowdown).
// Before the chain was arranged for speed (the per-sample transcription in the plug-in), the same
// BM_SpeedupOverReference run gave a realtime factor of 51 (oversampling off) and 35 (on), 1.3 and 1.9 times the
// reference.

#include "Brevant.h"
#include "ReferenceChain.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace
{

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;
constexpr int kBlocksOfMaterial = 256; // about 2.7 s, cycled

// Drums-and-bass-like material: a decaying low tone on every beat, a mid tone, noise bursts.
const std::vector<double>& Material(int channel)
{
  static const std::array<std::vector<double>, 4> m = []
  {
    std::array<std::vector<double>, 4> out;
    for (int c = 0; c < 4; c++)
    {
      uint32_t r = 12345u + 977u * static_cast<uint32_t>(c);
      out[c].resize(static_cast<size_t>(kBlock) * kBlocksOfMaterial);
      for (size_t i = 0; i < out[c].size(); i++)
      {
        r = r * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / kRate, beat = std::fmod(t, 0.5);
        const double noise = (r >> 8) / double(1 << 23) - 1.0;
        out[c][i] = 0.6 * std::sin(2 * M_PI * 55.0 * t) * std::exp(-beat * 6.0) +
                    0.2 * std::sin(2 * M_PI * (440.0 + 110.0 * c) * t) + 0.15 * noise * std::exp(-beat * 20.0);
      }
    }
    return out;
  }();
  return m[channel];
}

// The settings every benchmark uses: all three bands compressing (drive 20 dB: over the threshold on the beats;
// "hot", 40 dB: all the time), oversampling as asked.
std::vector<std::pair<int, double>> Settings(bool oversampling, bool hot = false)
{
  const double drive = hot ? 40.0 : 20.0;
  return {{kLowInput, drive},   {kMidInput, drive},    {kHighInput, drive * 0.75},
          {kLowOutput, 6.0},    {kHighOutput, 6.0},    {kLowAttack, 5.0},
          {kMidAttack, 5.0},    {kHighAttack, 2.0},    {kLowRelease, 150.0},
          {kMidRelease, 150.0}, {kHighRelease, 100.0}, {kOversampling, oversampling ? 1.0 : 0.0}};
}

struct PlugDeleter
{
  void operator()(Brevant* p) const { p->release(); }
};

std::unique_ptr<Brevant, PlugDeleter> MakePlug(bool oversampling, bool hot = false)
{
  std::unique_ptr<Brevant, PlugDeleter> plug(new Brevant(iplug::InstanceInfo()));
  plug->SetSampleRate(kRate);
  plug->OnParamReset(iplug::kReset);
  for (auto& [idx, v] : Settings(oversampling, hot))
  {
    plug->GetParam(idx)->Set(v);
    plug->OnParamChange(idx);
  }
  return plug;
}

void Report(benchmark::State& state)
{
  const double frames = static_cast<double>(state.iterations()) * kBlock;
  state.SetItemsProcessed(static_cast<int64_t>(frames));
  state.counters["realtime"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

// Brevant::ProcessBlock over the cycled material, one block per iteration.
template <typename Processor> void RunBlocks(benchmark::State& state, Processor&& process)
{
  std::vector<double> outL(kBlock), outR(kBlock);
  int block = 0;
  for (auto _ : state)
  {
    const size_t pos = static_cast<size_t>(block) * kBlock;
    double* in[4] = {const_cast<double*>(Material(0).data() + pos), const_cast<double*>(Material(1).data() + pos),
                     const_cast<double*>(Material(2).data() + pos), const_cast<double*>(Material(3).data() + pos)};
    double* out[2] = {outL.data(), outR.data()};
    process(in, out);
    benchmark::DoNotOptimize(outL.data());
    block = (block + 1) % kBlocksOfMaterial;
  }
  Report(state);
}

void BM_Chain(benchmark::State& state)
{
  auto plug = MakePlug(state.range(0) != 0, state.range(1) != 0);
  RunBlocks(state, [&](double** in, double** out) { plug->ProcessBlock(in, out, kBlock); });
}
BENCHMARK(BM_Chain)->ArgNames({"oversampling", "hot"})->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMicrosecond);

void BM_Reference(benchmark::State& state)
{
  auto plug = MakePlug(state.range(0) != 0, state.range(1) != 0); // only for the converted parameter values
  refchain::Chain ref;
  for (int i = 0; i < kNumParams; i++)
    ref.OnParamChange(i, plug->GetParam(i)->Value());
  RunBlocks(state, [&](double** in, double** out) { ref.ProcessBlock(in, out, kBlock, kRate); });
}
BENCHMARK(BM_Reference)
    ->ArgNames({"oversampling", "hot"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// The chain and the reference block by block in turn, each block timed: the ratio of the medians holds up on a
// busy machine where the separate runs above drift.
void BM_SpeedupOverReference(benchmark::State& state)
{
  auto plug = MakePlug(state.range(0) != 0, state.range(1) != 0);
  refchain::Chain ref;
  for (int i = 0; i < kNumParams; i++)
    ref.OnParamChange(i, plug->GetParam(i)->Value());
  std::vector<double> outL(kBlock), outR(kBlock), chainTimes, refTimes;
  double* out[2] = {outL.data(), outR.data()};
  int block = 0;
  for (auto _ : state)
  {
    const size_t pos = static_cast<size_t>(block) * kBlock;
    double* in[4] = {const_cast<double*>(Material(0).data() + pos), const_cast<double*>(Material(1).data() + pos),
                     const_cast<double*>(Material(2).data() + pos), const_cast<double*>(Material(3).data() + pos)};
    auto t0 = std::chrono::steady_clock::now();
    plug->ProcessBlock(in, out, kBlock);
    auto t1 = std::chrono::steady_clock::now();
    ref.ProcessBlock(in, out, kBlock, kRate);
    auto t2 = std::chrono::steady_clock::now();
    chainTimes.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    refTimes.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    block = (block + 1) % kBlocksOfMaterial;
  }
  auto median = [](std::vector<double>& v)
  {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  const double chainUs = median(chainTimes), refUs = median(refTimes);
  state.counters["chain_us"] = chainUs;
  state.counters["reference_us"] = refUs;
  state.counters["speedup"] = refUs / chainUs;
  state.counters["chain_realtime"] = kBlock / kRate * 1e6 / chainUs;
}
BENCHMARK(BM_SpeedupOverReference)
    ->ArgNames({"oversampling", "hot"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// An idle instance: the plug-in's own "Bypass" at 0.
void BM_ChainBypassed(benchmark::State& state)
{
  auto plug = MakePlug(false);
  plug->GetParam(kBypass)->Set(0.0);
  plug->OnParamChange(kBypass);
  RunBlocks(state, [&](double** in, double** out) { plug->ProcessBlock(in, out, kBlock); });
}
BENCHMARK(BM_ChainBypassed)->Unit(benchmark::kMicrosecond);

// Silence after a loud passage: filter states, envelopes and meters decay towards zero for many seconds. The
// time per block must stay that of music (no subnormal slowdown). Each iteration is one block of digital silence;
// the passage before it is played once, untimed.
void BM_ChainSilenceAfterLoud(benchmark::State& state)
{
  auto plug = MakePlug(state.range(0) != 0);
  if (state.range(1))
  {
    for (int idx : {kLowSidechain, kMidSidechain, kHighSidechain})
    {
      plug->GetParam(idx)->Set(1.0);
      plug->OnParamChange(idx);
    }
  }
  std::vector<double> outL(kBlock), outR(kBlock), zeros(kBlock, 0.0);
  double* out[2] = {outL.data(), outR.data()};
  for (int b = 0; b < kBlocksOfMaterial; b++)
  {
    const size_t pos = static_cast<size_t>(b) * kBlock;
    double* in[4] = {const_cast<double*>(Material(0).data() + pos), const_cast<double*>(Material(1).data() + pos),
                     const_cast<double*>(Material(2).data() + pos), const_cast<double*>(Material(3).data() + pos)};
    plug->ProcessBlock(in, out, kBlock);
  }
  double* silent[4] = {zeros.data(), zeros.data(), zeros.data(), zeros.data()};
  for (auto _ : state)
  {
    plug->ProcessBlock(silent, out, kBlock);
    benchmark::DoNotOptimize(outL.data());
  }
  Report(state);
}
BENCHMARK(BM_ChainSilenceAfterLoud)
    ->ArgNames({"oversampling", "keyed"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// The same story told second by second: after the loud passage (every band keyed to a side-chain that falls
// silent too, so envelopes and detector filters decay towards zero), two minutes of silence. Reports the median
// block time of the slowest second of silence against that of the music.
void BM_ChainSilenceProfile(benchmark::State& state)
{
  constexpr int kBlocksPerSecond = static_cast<int>(kRate / kBlock);
  double ratio = 0;
  for (auto _ : state)
  {
    auto plug = MakePlug(false);
    for (int idx : {kLowSidechain, kMidSidechain, kHighSidechain})
    {
      plug->GetParam(idx)->Set(1.0);
      plug->OnParamChange(idx);
    }
    for (int idx : {kLowRelease, kMidRelease, kHighRelease})
    {
      plug->GetParam(idx)->Set(100.0);
      plug->OnParamChange(idx);
    }
    std::vector<double> outL(kBlock), outR(kBlock), zeros(kBlock, 0.0), times;
    double* out[2] = {outL.data(), outR.data()};
    auto timed = [&](double** in)
    {
      const auto t0 = std::chrono::steady_clock::now();
      plug->ProcessBlock(in, out, kBlock);
      times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    };
    auto median = [&](size_t from, size_t n)
    {
      std::vector<double> v(times.begin() + static_cast<long>(from), times.begin() + static_cast<long>(from + n));
      std::nth_element(v.begin(), v.begin() + static_cast<long>(n / 2), v.end());
      return v[n / 2];
    };
    for (int b = 0; b < kBlocksOfMaterial; b++)
    {
      const size_t pos = static_cast<size_t>(b) * kBlock;
      double* in[4] = {const_cast<double*>(Material(0).data() + pos), const_cast<double*>(Material(1).data() + pos),
                       const_cast<double*>(Material(2).data() + pos), const_cast<double*>(Material(3).data() + pos)};
      timed(in);
    }
    const double music = median(0, kBlocksOfMaterial);
    double* silent[4] = {zeros.data(), zeros.data(), zeros.data(), zeros.data()};
    double slowest = 0;
    for (int second = 0; second < 120; second++)
    {
      const size_t from = times.size();
      for (int b = 0; b < kBlocksPerSecond; b++)
        timed(silent);
      slowest = std::max(slowest, median(from, kBlocksPerSecond));
    }
    ratio = slowest / music;
  }
  state.counters["slowest_silent_second_vs_music"] = ratio;
}
BENCHMARK(BM_ChainSilenceProfile)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
