#pragma once
// What a host hands a VST3 effect, kept small: component handler, host application (with an optional run loop),
// parameter changes, event lists, attribute lists and audio buffers. Objects live on the test's stack: their
// reference counts are tracked but never delete them.

#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstattributes.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace vst3test
{
using namespace Steinberg;
using namespace Steinberg::Vst;

// Reference counting for objects the test owns.
#define VST3TEST_REFCOUNT                                                                                              \
  uint32 PLUGIN_API addRef() override { return ++refCount; }                                                           \
  uint32 PLUGIN_API release() override { return --refCount; }                                                          \
  int32 refCount = 1;

inline std::string ToAscii(const TChar* text)
{
  std::string s;
  for (int i = 0; text && text[i]; i++)
    s.push_back(static_cast<char>(text[i]));
  return s;
}

inline std::u16string ToUTF16(const char* text)
{
  std::u16string s;
  for (int i = 0; text && text[i]; i++)
    s.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i])));
  return s;
}

class ComponentHandler : public IComponentHandler, public IComponentHandler2
{
public:
  tresult PLUGIN_API beginEdit(ParamID id) override
  {
    edits.push_back({'b', id, 0.0});
    return kResultOk;
  }
  tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override
  {
    edits.push_back({'p', id, value});
    return kResultOk;
  }
  tresult PLUGIN_API endEdit(ParamID id) override
  {
    edits.push_back({'e', id, 0.0});
    return kResultOk;
  }
  tresult PLUGIN_API restartComponent(int32 flags) override
  {
    restarts.push_back(flags);
    return kResultOk;
  }
  tresult PLUGIN_API setDirty(TBool) override { return kResultOk; }
  tresult PLUGIN_API requestOpenEditor(FIDString) override { return kResultOk; }
  tresult PLUGIN_API startGroupEdit() override
  {
    groupEdits++;
    return kResultOk;
  }
  tresult PLUGIN_API finishGroupEdit() override { return kResultOk; }

  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IComponentHandler)
    QUERY_INTERFACE(iid, obj, IComponentHandler::iid, IComponentHandler)
    QUERY_INTERFACE(iid, obj, IComponentHandler2::iid, IComponentHandler2)
    *obj = nullptr;
    return kNoInterface;
  }
  VST3TEST_REFCOUNT

  struct Edit
  {
    char kind;
    ParamID id;
    ParamValue value;
  };
  std::vector<Edit> edits;
  std::vector<int32> restarts;
  int groupEdits = 0;
};

/** A run loop that fires its timers when the test says so. */
class RunLoop : public Linux::IRunLoop
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
    for (size_t i = 0; i < timers.size(); i++)
    {
      if (timers[i] == handler)
      {
        timers.erase(timers.begin() + static_cast<long>(i));
        handler->release();
        return kResultOk;
      }
    }
    return kResultFalse;
  }
  void Fire()
  {
    const auto copy = timers;
    for (auto* t : copy)
      t->onTimer();
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, Linux::IRunLoop)
    QUERY_INTERFACE(iid, obj, Linux::IRunLoop::iid, Linux::IRunLoop)
    *obj = nullptr;
    return kNoInterface;
  }
  VST3TEST_REFCOUNT

  std::vector<Linux::ITimerHandler*> timers;
};

/** The host context: its name, and its run loop when it offers one. */
class HostApplication : public IHostApplication
{
public:
  explicit HostApplication(const char* name = "Brevant Test Host", RunLoop* runLoop = nullptr)
      : mName(name), mRunLoop(runLoop)
  {
  }
  tresult PLUGIN_API getName(String128 name) override
  {
    UString(name, 128).fromAscii(mName.c_str());
    return kResultOk;
  }
  tresult PLUGIN_API createInstance(TUID, TUID, void** obj) override
  {
    *obj = nullptr;
    return kResultFalse;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IHostApplication)
    QUERY_INTERFACE(iid, obj, IHostApplication::iid, IHostApplication)
    if (mRunLoop && FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid))
    {
      mRunLoop->addRef();
      *obj = static_cast<Linux::IRunLoop*>(mRunLoop);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  VST3TEST_REFCOUNT

private:
  std::string mName;
  RunLoop* mRunLoop;
};

/** A context that offers nothing at all. */
class EmptyContext : public FUnknown
{
public:
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, FUnknown)
    *obj = nullptr;
    return kNoInterface;
  }
  VST3TEST_REFCOUNT
};

class ParamValueQueue : public IParamValueQueue
{
public:
  ParamValueQueue(ParamID id, std::vector<std::pair<int32, ParamValue>> points) : mId(id), mPoints(std::move(points)) {}
  ParamID PLUGIN_API getParameterId() override { return mId; }
  int32 PLUGIN_API getPointCount() override { return static_cast<int32>(mPoints.size()); }
  tresult PLUGIN_API getPoint(int32 index, int32& offset, ParamValue& value) override
  {
    if (index < 0 || index >= getPointCount())
      return kResultFalse;
    offset = mPoints[index].first;
    value = mPoints[index].second;
    return kResultOk;
  }
  tresult PLUGIN_API addPoint(int32 offset, ParamValue value, int32& index) override
  {
    index = getPointCount();
    mPoints.push_back({offset, value});
    return kResultOk;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IParamValueQueue)
    QUERY_INTERFACE(iid, obj, IParamValueQueue::iid, IParamValueQueue)
    *obj = nullptr;
    return kNoInterface;
  }
  VST3TEST_REFCOUNT

private:
  ParamID mId;
  std::vector<std::pair<int32, ParamValue>> mPoints;
};

class ParameterChanges : public IParameterChanges
{
public:
  /** A queue of points (offset, normalized value) for one parameter. */
  void Add(ParamID id, std::vector<std::pair<int32, ParamValue>> points)
  {
    mQueues.emplace_back(id, std::move(points));
  }
  /** A slot the host left empty. */
  void AddNull() { mNullAt.push_back(static_cast<int32>(mQueues.size() + mNullAt.size())); }

  int32 PLUGIN_API getParameterCount() override { return static_cast<int32>(mQueues.size() + mNullAt.size()); }
  IParamValueQueue* PLUGIN_API getParameterData(int32 index) override
  {
    int32 skipped = 0;
    for (int32 n : mNullAt)
    {
      if (n == index)
        return nullptr;
      if (n < index)
        skipped++;
    }
    const int32 q = index - skipped;
    return (q >= 0 && q < static_cast<int32>(mQueues.size())) ? &mQueues[q] : nullptr;
  }
  IParamValueQueue* PLUGIN_API addParameterData(const ParamID&, int32& index) override
  {
    index = -1;
    return nullptr;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IParameterChanges)
    QUERY_INTERFACE(iid, obj, IParameterChanges::iid, IParameterChanges)
    *obj = nullptr;
    return kNoInterface;
  }
  VST3TEST_REFCOUNT

private:
  std::vector<ParamValueQueue> mQueues;
  std::vector<int32> mNullAt;
};

class EventList : public IEventList
{
public:
  int32 PLUGIN_API getEventCount() override { return static_cast<int32>(events.size()); }
  tresult PLUGIN_API getEvent(int32 index, Event& e) override
  {
    if (index < 0 || index >= getEventCount())
      return kResultFalse;
    e = events[index];
    return kResultOk;
  }
  tresult PLUGIN_API addEvent(Event& e) override
  {
    events.push_back(e);
    if (e.type == Event::kDataEvent && e.data.bytes)
      dataCopies.emplace_back(e.data.bytes, e.data.bytes + e.data.size);
    return kResultOk;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IEventList)
    QUERY_INTERFACE(iid, obj, IEventList::iid, IEventList)
    *obj = nullptr;
    return kNoInterface;
  }
  VST3TEST_REFCOUNT

  std::vector<Event> events;
  std::vector<std::vector<uint8>> dataCopies;
};

class AttributeList : public IAttributeList
{
public:
  tresult PLUGIN_API setInt(AttrID id, int64 value) override
  {
    ints[id] = value;
    return kResultOk;
  }
  tresult PLUGIN_API getInt(AttrID id, int64& value) override
  {
    auto it = ints.find(id);
    if (it == ints.end())
      return kResultFalse;
    value = it->second;
    return kResultOk;
  }
  tresult PLUGIN_API setFloat(AttrID, double) override { return kResultFalse; }
  tresult PLUGIN_API getFloat(AttrID, double&) override { return kResultFalse; }
  tresult PLUGIN_API setString(AttrID id, const TChar* string) override
  {
    strings[id] = reinterpret_cast<const char16_t*>(string);
    return kResultOk;
  }
  tresult PLUGIN_API getString(AttrID id, TChar* string, uint32 sizeInBytes) override
  {
    auto it = strings.find(id);
    if (it == strings.end())
      return kResultFalse;
    const uint32 units = sizeInBytes / sizeof(TChar);
    // Like a careless host: copies as much as fits and terminates only when there is room.
    uint32 i = 0;
    for (; i < units && i < it->second.size(); i++)
      string[i] = static_cast<TChar>(it->second[i]);
    if (i < units)
      string[i] = 0;
    return kResultOk;
  }
  tresult PLUGIN_API setBinary(AttrID, const void*, uint32) override { return kResultFalse; }
  tresult PLUGIN_API getBinary(AttrID, const void*&, uint32&) override { return kResultFalse; }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
  {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IAttributeList)
    QUERY_INTERFACE(iid, obj, IAttributeList::iid, IAttributeList)
    *obj = nullptr;
    return kNoInterface;
  }
  VST3TEST_REFCOUNT

  std::map<std::string, int64> ints;
  std::map<std::string, std::u16string> strings;
};

/** Audio buffers for one process call, in either sample size. */
template <typename T> struct Buses
{
  Buses(std::vector<int> channelsPerBus, int nFrames)
  {
    for (int n : channelsPerBus)
    {
      data.emplace_back();
      for (int c = 0; c < n; c++)
        data.back().emplace_back(static_cast<size_t>(nFrames), T(0));
    }
    ptrs.resize(data.size());
    buses.resize(data.size());
    for (size_t b = 0; b < data.size(); b++)
    {
      for (auto& ch : data[b])
        ptrs[b].push_back(ch.data());
      buses[b].numChannels = static_cast<int32>(data[b].size());
      if constexpr (sizeof(T) == 4)
        buses[b].channelBuffers32 = reinterpret_cast<Sample32**>(ptrs[b].data());
      else
        buses[b].channelBuffers64 = reinterpret_cast<Sample64**>(ptrs[b].data());
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

/** One process call's data over the given buses. */
template <typename T> ProcessData MakeProcessData(Buses<T>& in, Buses<T>& out, int nFrames)
{
  ProcessData data;
  data.processMode = kRealtime;
  data.symbolicSampleSize = sizeof(T) == 4 ? kSample32 : kSample64;
  data.numSamples = nFrames;
  data.numInputs = static_cast<int32>(in.buses.size());
  data.numOutputs = static_cast<int32>(out.buses.size());
  data.inputs = in.buses.empty() ? nullptr : in.buses.data();
  data.outputs = out.buses.empty() ? nullptr : out.buses.data();
  return data;
}

} // namespace vst3test
