#pragma once
// The host side of the binding's tests: brevant-host's objects, a host with any name (and a run loop that fires
// when the test says so), and audio buffers for one process call.

#include "HostObjects.h"

#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <string>
#include <vector>

namespace vst3test
{
using namespace Steinberg;
using namespace Steinberg::Vst;
using brevant::host::ComponentHandler;
using brevant::host::EventList;
using brevant::host::ParameterChanges;

inline std::string Str(const TChar* text) { return brevant::host::ToUtf8(text); }

class RunLoop final : public Linux::IRunLoop
{
public:
  tresult PLUGIN_API registerEventHandler(Linux::IEventHandler*, Linux::FileDescriptor) override
  {
    return kResultFalse;
  }
  tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override { return kResultOk; }
  tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval) override
  {
    handler->addRef();
    timers.push_back(handler);
    return kResultOk;
  }
  tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override
  {
    std::erase(timers, handler);
    handler->release();
    return kResultOk;
  }
  void Fire()
  {
    for (auto* t : std::vector<Linux::ITimerHandler*>(timers))
      t->onTimer();
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, Linux::IRunLoop)
    QUERY_INTERFACE(iid, obj, Linux::IRunLoop::iid, Linux::IRunLoop)
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }

  std::vector<Linux::ITimerHandler*> timers;
};

class NamedHost final : public HostApplication
{
public:
  explicit NamedHost(std::string name = "Brevant Test Host", RunLoop* runLoop = nullptr)
      : mName(std::move(name)), mRunLoop(runLoop)
  {
  }
  tresult PLUGIN_API getName(String128 name) override
  {
    UString(name, 128).fromAscii(mName.c_str());
    return kResultOk;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    if (mRunLoop && FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid))
    {
      *obj = static_cast<Linux::IRunLoop*>(mRunLoop);
      return kResultOk;
    }
    return HostApplication::queryInterface(iid, obj);
  }

private:
  std::string mName;
  RunLoop* mRunLoop;
};

/** Audio buffers for one process call; T is float or double. */
template <typename T> struct Buses
{
  Buses(std::vector<int> channelsPerBus, int nFrames)
  {
    for (int n : channelsPerBus)
      data.emplace_back(static_cast<size_t>(n), std::vector<T>(static_cast<size_t>(nFrames), T(0)));
    for (auto& bus : data)
    {
      ptrs.emplace_back();
      for (auto& ch : bus)
        ptrs.back().push_back(ch.data());
    }
    buses.resize(data.size());
    for (size_t b = 0; b < data.size(); b++)
    {
      buses[b].numChannels = static_cast<int32>(data[b].size());
      if constexpr (sizeof(T) == 4)
        buses[b].channelBuffers32 = ptrs[b].data();
      else
        buses[b].channelBuffers64 = ptrs[b].data();
    }
  }
  void Fill(T value)
  {
    for (auto& bus : data)
      for (auto& ch : bus)
        std::fill(ch.begin(), ch.end(), value);
  }
  T& at(int bus, int ch, int frame) { return data[bus][ch][frame]; }

  std::vector<std::vector<std::vector<T>>> data;
  std::vector<std::vector<T*>> ptrs;
  std::vector<AudioBusBuffers> buses;
};

template <typename T> ProcessData MakeProcessData(Buses<T>& in, Buses<T>& out, int nFrames)
{
  ProcessData data;
  data.symbolicSampleSize = sizeof(T) == 4 ? kSample32 : kSample64;
  data.numSamples = nFrames;
  data.numInputs = static_cast<int32>(in.buses.size());
  data.numOutputs = static_cast<int32>(out.buses.size());
  data.inputs = in.buses.empty() ? nullptr : in.buses.data();
  data.outputs = out.buses.empty() ? nullptr : out.buses.data();
  return data;
}

} // namespace vst3test
