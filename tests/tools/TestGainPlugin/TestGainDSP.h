// Processing shared by both test plug-in classes: out = gain * (input delayed by the latency) + side-chain.
#pragma once

#include "TestGainIDs.h"

#include "base/source/fstreamer.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace testgain
{

inline double GainDbFromNormalized(double v) { return kMinGainDb + v * (kMaxGainDb - kMinGainDb); }
inline int LatencyFromNormalized(double v)
{
  return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * kMaxLatency));
}

struct Values
{
  std::atomic<double> gain{(0.0 - kMinGainDb) / (kMaxGainDb - kMinGainDb)}; // 0 dB
  std::atomic<double> bypass{0.0};
  std::atomic<double> latency{0.0};

  std::atomic<double>* Find(Steinberg::Vst::ParamID id)
  {
    switch (id)
    {
    case kGainId:
      return &gain;
    case kBypassId:
      return &bypass;
    case kLatencyId:
      return &latency;
    default:
      return nullptr;
    }
  }

  bool Write(Steinberg::IBStream* stream) const
  {
    Steinberg::IBStreamer s(stream, kLittleEndian);
    return s.writeInt32(kStateMagic) && s.writeDouble(gain) && s.writeDouble(bypass) && s.writeDouble(latency);
  }

  // Reads everything before changing anything, so a broken stream leaves the values as they were.
  bool Read(Steinberg::IBStream* stream)
  {
    Steinberg::IBStreamer s(stream, kLittleEndian);
    Steinberg::int32 magic = 0;
    double g, b, l;
    if (!s.readInt32(magic) || magic != kStateMagic || !s.readDouble(g) || !s.readDouble(b) || !s.readDouble(l))
      return false;
    gain = std::clamp(g, 0.0, 1.0);
    bypass = std::clamp(b, 0.0, 1.0);
    latency = std::clamp(l, 0.0, 1.0);
    return true;
  }
};

class Processor
{
public:
  void Prepare(int numChannels)
  {
    mDelay.assign(static_cast<size_t>(numChannels), std::vector<double>(kMaxLatency + 1, 0.0));
    mPos = 0;
  }

  void Reset()
  {
    for (auto& line : mDelay)
      std::fill(line.begin(), line.end(), 0.0);
    mPos = 0;
  }

  // Applies the last point of each queue, as the plug-in's own values.
  static void ApplyChanges(Steinberg::Vst::IParameterChanges* changes, Values& values)
  {
    if (!changes)
      return;
    for (Steinberg::int32 i = 0; i < changes->getParameterCount(); ++i)
    {
      auto* queue = changes->getParameterData(i);
      Steinberg::int32 offset;
      Steinberg::Vst::ParamValue value;
      if (!queue || queue->getPointCount() <= 0 ||
          queue->getPoint(queue->getPointCount() - 1, offset, value) != Steinberg::kResultOk)
        continue;
      if (auto* v = values.Find(queue->getParameterId()))
        *v = value;
    }
  }

  void Process(Steinberg::Vst::ProcessData& data, const Values& values, bool sidechainActive)
  {
    if (data.numSamples <= 0 || data.numOutputs < 1 || data.numInputs < 1)
      return;
    if (data.symbolicSampleSize == Steinberg::Vst::kSample64)
      Run<double>(data, values, sidechainActive);
    else
      Run<float>(data, values, sidechainActive);
  }

private:
  template <typename T> static T** Channels(Steinberg::Vst::AudioBusBuffers& bus)
  {
    if constexpr (sizeof(T) == sizeof(double))
      return reinterpret_cast<T**>(bus.channelBuffers64);
    else
      return reinterpret_cast<T**>(bus.channelBuffers32);
  }

  template <typename T> void Run(Steinberg::Vst::ProcessData& data, const Values& values, bool sidechainActive)
  {
    const double gain = std::pow(10.0, GainDbFromNormalized(values.gain) / 20.0);
    const bool bypass = values.bypass > 0.5;
    const int latency = LatencyFromNormalized(values.latency);
    auto& in = data.inputs[0];
    auto& out = data.outputs[0];
    const bool useSidechain = sidechainActive && data.numInputs > 1 && data.inputs[1].numChannels > 0;
    const int nChans = std::min({out.numChannels, in.numChannels, static_cast<int>(mDelay.size())});
    const int size = kMaxLatency + 1;
    int pos = mPos;
    for (int c = 0; c < nChans; ++c)
    {
      const T* src = Channels<T>(in)[c];
      T* dst = Channels<T>(out)[c];
      const T* sc = useSidechain ? Channels<T>(data.inputs[1])[std::min(c, data.inputs[1].numChannels - 1)] : nullptr;
      auto& line = mDelay[static_cast<size_t>(c)];
      pos = mPos;
      for (Steinberg::int32 i = 0; i < data.numSamples; ++i)
      {
        line[static_cast<size_t>(pos)] = src[i];
        const double delayed = line[static_cast<size_t>((pos - latency + size) % size)];
        pos = (pos + 1) % size;
        double y = bypass ? static_cast<double>(src[i]) : gain * delayed;
        if (sc && !bypass)
          y += sc[i];
        dst[i] = static_cast<T>(y);
      }
    }
    mPos = pos;
    for (int c = nChans; c < out.numChannels; ++c)
      std::fill(Channels<T>(out)[c], Channels<T>(out)[c] + data.numSamples, T(0));
  }

  std::vector<std::vector<double>> mDelay;
  int mPos = 0;
};

} // namespace testgain
