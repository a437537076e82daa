#pragma once
// Brevant in-process, driven through its VST3 processor interface the way a host drives it, with buffers the test
// owns: main stereo input, stereo side-chain (bus 1) and stereo output, 64-bit samples.

#include "Brevant.h"
#include "VST3TestHost.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace chaintest
{
using namespace Steinberg;
using namespace Steinberg::Vst;

class Plug
{
public:
  explicit Plug(double sampleRate = 48000.0, int maxBlock = 1024, bool sidechain = true)
      : host("Brevant Test Host", &runLoop), plug(new Brevant(iplug::InstanceInfo()))
  {
    plug->initialize(&host);
    plug->setComponentHandler(&handler);
    ProcessSetup setup{kRealtime, kSample64, maxBlock, sampleRate};
    plug->setupProcessing(setup);
    plug->activateBus(kAudio, kInput, 0, true);
    plug->activateBus(kAudio, kOutput, 0, true);
    plug->activateBus(kAudio, kInput, 1, sidechain);
    plug->setActive(true);
    plug->setProcessing(true);
  }
  ~Plug()
  {
    plug->setProcessing(false);
    plug->setActive(false);
    plug->setComponentHandler(nullptr);
    plug->terminate();
    plug->release();
  }
  Plug(const Plug&) = delete;
  Plug& operator=(const Plug&) = delete;

  Brevant* operator->() { return plug; }

  /** One process call over channel pointers (null side-chain pointers: no side-chain bus in the call). */
  tresult Process(double* inL, double* inR, double* scL, double* scR, double* outL, double* outR, int nFrames,
                  IParameterChanges* changes = nullptr)
  {
    double* main[2] = {inL, inR};
    double* sc[2] = {scL, scR};
    double* out[2] = {outL, outR};
    AudioBusBuffers inBuses[2] = {};
    inBuses[0].numChannels = inR ? 2 : 1;
    inBuses[0].channelBuffers64 = main;
    inBuses[1].numChannels = scR ? 2 : (scL ? 1 : 0);
    inBuses[1].channelBuffers64 = sc;
    AudioBusBuffers outBus = {};
    outBus.numChannels = outR ? 2 : 1;
    outBus.channelBuffers64 = out;
    ProcessData data;
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample64;
    data.numSamples = nFrames;
    data.numInputs = scL ? 2 : 1;
    data.numOutputs = 1;
    data.inputs = inBuses;
    data.outputs = &outBus;
    data.inputParameterChanges = changes;
    const tresult result = plug->process(data);
    outputSilenceFlags = outBus.silenceFlags;
    return result;
  }

  uint64 outputSilenceFlags = 0; // what the last process call reported

  /** Plain values through the host's automation path; applied with the next process call. */
  void Queue(vst3test::ParameterChanges& changes, int idx, double plain)
  {
    changes.Add(static_cast<ParamID>(idx), 0, plug->GetParam(idx)->ToNormalized(plain));
  }

  /** What the main thread has been handed: meter readings as the controller shows them. */
  double Meter(int band) { return plug->getParamNormalized(static_cast<ParamID>(kLowMeter + band)); }

  vst3test::RunLoop runLoop;
  vst3test::NamedHost host;
  vst3test::ComponentHandler handler;
  Brevant* plug;
};

/** Deterministic test signals. */
class Rng
{
public:
  explicit Rng(uint64_t seed = 1) : mState(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next()
  {
    mState ^= mState << 13;
    mState ^= mState >> 7;
    mState ^= mState << 17;
    return mState;
  }
  double Uniform() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; } // [0, 1)
  double Bipolar() { return 2.0 * Uniform() - 1.0; }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }

private:
  uint64_t mState;
};

/** Music-like material: tones, noise and bursts at changing levels, with quiet stretches. */
inline std::vector<double> TestSignal(size_t n, double sampleRate, uint64_t seed)
{
  Rng rng(seed);
  std::vector<double> s(n);
  double level = 0.5, phase1 = 0.0, phase2 = 0.0, burst = 0.0;
  for (size_t i = 0; i < n; i++)
  {
    if (i % 4096 == 0)
      level = rng.Uniform() < 0.15 ? 0.0 : 0.05 + 1.4 * rng.Uniform();
    if (rng.Uniform() < 2e-4)
      burst = 1.0;
    burst *= 0.999;
    phase1 += 2 * M_PI * 110.0 / sampleRate;
    phase2 += 2 * M_PI * (2500.0 + 2000.0 * std::sin(i * 1e-5)) / sampleRate;
    s[i] = level * (0.5 * std::sin(phase1) + 0.25 * std::sin(phase2) + 0.15 * rng.Bipolar()) + burst * rng.Bipolar();
  }
  return s;
}

} // namespace chaintest
