#pragma once
// Shared by the conformance checks: the built Brevant bundle loaded as a host loads it (dlopen, ModuleEntry, the
// factory), raw instances for the calls a validator makes that a well-behaved host library never would, and process
// blocks that cover every audio bus.

#include "HostedPlugin.h"
#include "VST3TestHost.h"

#include "pluginterfaces/vst/ivstunits.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace conformance
{
using namespace vst3test;
using brevant::host::HostedPlugin;
using brevant::host::HostModule;

/** The host's bypass switch. */
constexpr ParamID kHostBypassID = 0x10000;

/** The bundle, loaded once for the whole run (reload checks load their own). */
std::shared_ptr<HostModule> Module();

/** Brevant as a DAW hosts it, through the hosting library. */
std::unique_ptr<HostedPlugin> OpenHosted();

/** One raw instance from the factory: component, processor and controller interfaces of one object. */
class Instance
{
public:
  explicit Instance(bool initialize = true);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool Valid() const { return component && processor && controller; }
  /** initialize, then activates the buses flagged default-active, as hosts do. */
  tresult Initialize();
  void ActivateDefaultBuses();
  tresult Terminate();

  /** Channel count of every audio bus in one direction, from getBusArrangement. */
  std::vector<int> Channels(BusDirection dir) const;
  tresult Setup(int32 sampleSize, int32 maxBlock, double sampleRate = 48000.0, int32 mode = kRealtime);
  /** setActive(true) + setProcessing(true), and the reverse. */
  bool Start();
  void Stop();

  std::vector<uint8_t> State();
  tresult Load(const std::vector<uint8_t>& bytes);

  template <typename T> T* Query() const
  {
    T* obj = nullptr;
    if (component->queryInterface(T::iid, reinterpret_cast<void**>(&obj)) != kResultOk)
      return nullptr;
    return obj;
  }

  std::shared_ptr<HostModule> module;
  IComponent* component = nullptr;
  IAudioProcessor* processor = nullptr;
  IEditController* controller = nullptr;
  IPtr<ComponentHandler> handler;
  bool initialized = false;
  bool started = false;
};

/** Buffers for every audio bus of an instance, sized for maxFrames, and the process data pointing at them. */
template <typename T> class Block
{
public:
  Block(const Instance& plug, int maxFrames)
      : in(plug.Channels(kInput), maxFrames), out(plug.Channels(kOutput), maxFrames), mMaxFrames(maxFrames)
  {
  }

  /** Process data for n frames with every other field empty (no changes, events or context). */
  ProcessData& Data(int nFrames)
  {
    data = MakeProcessData(in, out, nFrames);
    return data;
  }

  /** Fills every input channel with a deterministic test signal starting at sample `start`. */
  void Signal(int64_t start = 0);
  /** True when every sample of every output channel is finite. */
  bool OutputFinite(int nFrames) const;

  Buses<T> in, out;
  ProcessData data;

private:
  int mMaxFrames;
};

/** The test signal: a different mix of tones per channel, within ±0.8. */
double TestSignal(int channel, int64_t frame);

/** Writes bytes into a fresh memory stream positioned at its start. */
IPtr<IBStream> StreamOf(const std::vector<uint8_t>& bytes);

} // namespace conformance
