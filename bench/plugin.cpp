// The plug-in as a host meets it: the built bundle loaded, driven through its VST3 interfaces at 32-bit (float
// buffers) over 60 s of stereo material at 48 kHz in blocks of 512, every band compressing, oversampling off and on.
// Beside it, on the same signal in the same run: the chain alone (Brevant::ProcessBlock in-process, 64-bit) and
// the literal reference transcription. Each iteration is one pass over the whole minute; the counters give the
// fastest pass in processor time of the thread (a busy machine only ever adds time):
//   ns_per_frame  nanoseconds per stereo sample frame
//   realtime      seconds of audio per second of processing (one instance, one core)
//   worst_diff    (the chain alone) the largest difference of any output sample from the literal reference's
//   vs_busy       (silence) the cost of a silent frame once the tail has settled, against a frame of the music
// Beside them, a minute of digital silence after the music's tail has settled, through the same interfaces.
// BM_PluginClapFloat does the same through the CLAP plug-in (Brevant.clap) with 0 or 32 parameter events per block
// (evenly spaced, a gentle ramp of the global output), so the cost of processing a block in pieces between events
// shows beside the cost without events.
// The label names the vector maths' path and width (BREVANT_SIMD=sse2|avx2|avx512 forces one, in the hosted
// bundle too).
//
//   build/bench/plugin --benchmark_filter=.

#include "Brevant.h"
#include "ClapTestHost.h"
#include "HostedPlugin.h"
#include "ReferenceChain.h"
#include "VectorMath.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;
constexpr size_t kFrames = 60 * 48000;

// Drums-and-bass-like material as in chain.cpp (a decaying low tone on every beat, a mid tone, noise bursts), for
// a whole minute, in float: what a 32-bit host hands over. Channels: L, R, side-chain L, R.
const std::array<std::vector<float>, 4>& Material()
{
  static const std::array<std::vector<float>, 4> m = []
  {
    std::array<std::vector<float>, 4> out;
    for (int c = 0; c < 4; c++)
    {
      uint32_t r = 12345u + 977u * static_cast<uint32_t>(c);
      out[c].resize(kFrames);
      for (size_t i = 0; i < kFrames; i++)
      {
        r = r * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / kRate, beat = std::fmod(t, 0.5);
        const double noise = (r >> 8) / double(1 << 23) - 1.0;
        out[c][i] = static_cast<float>(0.6 * std::sin(2 * M_PI * 55.0 * t) * std::exp(-beat * 6.0) +
                                       0.2 * std::sin(2 * M_PI * (440.0 + 110.0 * c) * t) +
                                       0.15 * noise * std::exp(-beat * 20.0));
      }
    }
    return out;
  }();
  return m;
}

std::vector<std::pair<int, double>> Settings(bool oversampling)
{
  return {{kLowInput, 20.0},    {kMidInput, 20.0},    {kHighInput, 15.0},    {kLowOutput, 6.0},
          {kHighOutput, 6.0},   {kLowAttack, 5.0},    {kMidAttack, 5.0},     {kHighAttack, 2.0},
          {kLowRelease, 150.0}, {kMidRelease, 150.0}, {kHighRelease, 100.0}, {kOversampling, oversampling ? 1.0 : 0.0}};
}

// Processor time of this thread: on a machine shared with other work, time spent descheduled is not ours.
double ThreadSeconds()
{
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Times whole passes, one per iteration, and reports the fastest.
template <typename Pass> void TimePasses(benchmark::State& state, Pass&& pass)
{
  double best = 1e300;
  for (auto _ : state)
  {
    const double t0 = ThreadSeconds();
    pass();
    best = std::min(best, ThreadSeconds() - t0);
  }
  state.counters["ns_per_frame"] = best * 1e9 / kFrames;
  state.counters["realtime"] = kFrames / kRate / best;
}

std::string PathLabel()
{
  const auto& k = brevant::simd::Active();
  return std::string(k.name) + ", " + std::to_string(k.width * 64) + "-bit vectors";
}

// The built bundle hosted with stereo main and side-chain inputs, set up for 32-bit blocks and started; null
// (and the benchmark skipped) when it cannot be.
std::unique_ptr<brevant::host::HostedPlugin> HostBundle(benchmark::State& state)
{
  std::string error;
  auto module = brevant::host::HostModule::Load(BREVANT_BUNDLE_DIR, error);
  auto plug = module ? brevant::host::HostedPlugin::Create(module, error) : nullptr;
  if (!plug || !plug->SetBusArrangements({SpeakerArr::kStereo, SpeakerArr::kStereo}, {SpeakerArr::kStereo}) ||
      !plug->ActivateBus(kAudio, kInput, 1, true))
  {
    state.SkipWithError(("cannot host the bundle: " + error).c_str());
    return nullptr;
  }
  for (auto& [idx, v] : Settings(state.range(0) != 0))
    plug->SetParamPlain(static_cast<ParamID>(idx), v);
  plug->Setup(kRate, kBlock, kSample32);
  plug->Start();
  return plug;
}

void BM_PluginVst3Float(benchmark::State& state)
{
  auto plug = HostBundle(state);
  if (!plug)
    return;
  const auto& m = Material();
  std::vector<float> outL(kBlock), outR(kBlock);
  TimePasses(state,
             [&]
             {
               for (size_t pos = 0; pos < kFrames; pos += kBlock)
               {
                 float* in[2] = {const_cast<float*>(m[0].data() + pos), const_cast<float*>(m[1].data() + pos)};
                 float* sc[2] = {const_cast<float*>(m[2].data() + pos), const_cast<float*>(m[3].data() + pos)};
                 float* out[2] = {outL.data(), outR.data()};
                 plug->Process(kBlock, in, out, sc);
                 benchmark::DoNotOptimize(outL.data());
               }
             });
  plug->Stop();
  state.SetLabel(PathLabel());
}
BENCHMARK(BM_PluginVst3Float)->ArgName("oversampling")->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_PluginClapFloat(benchmark::State& state)
{
  std::string error;
  auto module = claptest::Module::Load(BREVANT_CLAP_FILE, error);
  auto plug = module ? claptest::Plugin::Create(*module, error) : nullptr;
  if (!plug)
  {
    state.SkipWithError(("cannot host the CLAP plug-in: " + error).c_str());
    return;
  }
  for (auto& [idx, v] : Settings(state.range(0) != 0))
    plug->events.Value(static_cast<clap_id>(idx), v);
  plug->Flush();
  plug->Activate(kRate, kBlock);
  const int nEvents = static_cast<int>(state.range(1));
  const auto& m = Material();
  std::vector<float> outL(kBlock), outR(kBlock);
  double gain = 0.0;
  std::vector<float*> in(2), sc(2), out = {outL.data(), outR.data()};
  TimePasses(state,
             [&]
             {
               for (size_t pos = 0; pos < kFrames; pos += kBlock)
               {
                 for (int e = 0; e < nEvents; e++)
                 {
                   gain = gain > -1.0 ? gain - 0.001 : 0.0;
                   plug->events.Value(kGlobalOutput, gain, static_cast<uint32_t>(e * kBlock / nEvents));
                 }
                 for (int c = 0; c < 2; c++)
                 {
                   in[c] = const_cast<float*>(m[c].data() + pos);
                   sc[c] = const_cast<float*>(m[c + 2].data() + pos);
                 }
                 plug->Process<float>(kBlock, in, out, sc);
                 benchmark::DoNotOptimize(outL.data());
               }
             });
  plug->Deactivate();
  state.SetLabel(PathLabel());
}
BENCHMARK(BM_PluginClapFloat)
    ->ArgNames({"oversampling", "events"})
    ->Args({0, 0})
    ->Args({0, 32})
    ->Args({1, 0})
    ->Args({1, 32})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// A minute of silence once the music's tail has settled (the filters' lowest pole takes about half a minute to
// bring its state to exact zeros), against the same instance's cost for the music, each the fastest of its passes.
void BM_PluginVst3FloatSilence(benchmark::State& state)
{
  auto plug = HostBundle(state);
  if (!plug)
    return;
  const auto& m = Material();
  const std::vector<float> zeros(kBlock, 0.0f);
  std::vector<float> outL(kBlock), outR(kBlock);
  auto pass = [&](bool music, size_t frames)
  {
    for (size_t pos = 0; pos + kBlock <= frames; pos += kBlock)
    {
      float* in[2] = {const_cast<float*>(music ? m[0].data() + pos : zeros.data()),
                      const_cast<float*>(music ? m[1].data() + pos : zeros.data())};
      float* sc[2] = {const_cast<float*>(music ? m[2].data() + pos : zeros.data()),
                      const_cast<float*>(music ? m[3].data() + pos : zeros.data())};
      float* out[2] = {outL.data(), outR.data()};
      plug->Process(kBlock, in, out, sc);
      benchmark::DoNotOptimize(outL.data());
    }
  };
  double busy = 1e300;
  for (int i = 0; i < 2; i++)
  {
    const double t0 = ThreadSeconds();
    pass(true, kFrames);
    busy = std::min(busy, ThreadSeconds() - t0);
  }
  pass(false, 45 * 48000); // the tail
  const bool flagged = plug->OutputSilenceFlags(0) == 3;
  TimePasses(state, [&] { pass(false, kFrames); });
  state.counters["vs_busy"] = (kFrames / kRate / state.counters["realtime"]) / busy;
  plug->Stop();
  state.SetLabel(PathLabel() + (flagged ? ", flagged silent" : ", NOT FLAGGED SILENT"));
}
BENCHMARK(BM_PluginVst3FloatSilence)
    ->ArgName("oversampling")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// The same minute through ProcessBlock (the samples widened to double) or through the reference, block by block.
template <typename Processor> void RunDouble(benchmark::State& state, Processor&& process)
{
  const auto& m = Material();
  std::array<std::vector<double>, 4> in;
  for (int c = 0; c < 4; c++)
    in[c].assign(m[c].begin(), m[c].end());
  std::vector<double> outL(kBlock), outR(kBlock);
  TimePasses(state,
             [&]
             {
               for (size_t pos = 0; pos < kFrames; pos += kBlock)
               {
                 double* ins[4] = {in[0].data() + pos, in[1].data() + pos, in[2].data() + pos, in[3].data() + pos};
                 double* out[2] = {outL.data(), outR.data()};
                 process(ins, out);
                 benchmark::DoNotOptimize(outL.data());
               }
             });
}

struct PlugDeleter
{
  void operator()(Brevant* p) const { p->release(); }
};

std::unique_ptr<Brevant, PlugDeleter> MakePlug(bool oversampling)
{
  std::unique_ptr<Brevant, PlugDeleter> plug(new Brevant(iplug::InstanceInfo()));
  plug->SetSampleRate(kRate);
  plug->OnParamReset(iplug::kReset);
  for (auto& [idx, v] : Settings(oversampling))
  {
    plug->GetParam(idx)->Set(v);
    plug->OnParamChange(idx);
  }
  return plug;
}

void BM_ChainAlone(benchmark::State& state)
{
  auto plug = MakePlug(state.range(0) != 0);
  RunDouble(state, [&](double** in, double** out) { plug->ProcessBlock(in, out, kBlock); });

  // The same minute through a fresh chain and the reference side by side: the largest difference.
  auto fresh = MakePlug(state.range(0) != 0);
  refchain::Chain ref;
  for (int i = 0; i < kNumParams; i++)
    ref.OnParamChange(i, fresh->GetParam(i)->Value());
  const auto& m = Material();
  std::array<std::vector<double>, 4> in;
  for (int c = 0; c < 4; c++)
    in[c].assign(m[c].begin(), m[c].end());
  std::vector<double> aL(kBlock), aR(kBlock), bL(kBlock), bR(kBlock);
  double worst = 0.0;
  for (size_t pos = 0; pos < kFrames; pos += kBlock)
  {
    double* ins[4] = {in[0].data() + pos, in[1].data() + pos, in[2].data() + pos, in[3].data() + pos};
    double* a[2] = {aL.data(), aR.data()};
    double* b[2] = {bL.data(), bR.data()};
    fresh->ProcessBlock(ins, a, kBlock);
    ref.ProcessBlock(ins, b, kBlock, kRate);
    for (int i = 0; i < kBlock; i++)
      worst = std::max({worst, std::fabs(aL[i] - bL[i]), std::fabs(aR[i] - bR[i])});
  }
  state.counters["worst_diff"] = worst;
  state.SetLabel(PathLabel());
}
BENCHMARK(BM_ChainAlone)->ArgName("oversampling")->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_LiteralReference(benchmark::State& state)
{
  auto plug = MakePlug(state.range(0) != 0); // only for the converted parameter values
  refchain::Chain ref;
  for (int i = 0; i < kNumParams; i++)
    ref.OnParamChange(i, plug->GetParam(i)->Value());
  RunDouble(state, [&](double** in, double** out) { ref.ProcessBlock(in, out, kBlock, kRate); });
}
BENCHMARK(BM_LiteralReference)->ArgName("oversampling")->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
