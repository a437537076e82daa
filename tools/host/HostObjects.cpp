#include "HostObjects.h"

#include "public.sdk/source/vst/hosting/pluginterfacesupport.h"

#include <algorithm>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace brevant::host
{

std::string ToUtf8(const char16* text, size_t maxUnits)
{
  std::string out;
  for (size_t i = 0; text && i < maxUnits && text[i]; ++i)
  {
    uint32 cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < maxUnits && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00u);
    else if (cp >= 0xD800 && cp <= 0xDFFF)
      cp = 0xFFFD;
    if (cp < 0x80)
      out += static_cast<char>(cp);
    else if (cp < 0x800)
    {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else if (cp < 0x10000)
    {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else
    {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

//--- HostApp -----------------------------------------------------------------------------------------

tresult PLUGIN_API HostApp::getName(String128 name)
{
  size_t i = 0;
  for (; kName[i] && i < 127; ++i)
    name[i] = static_cast<char16>(kName[i]);
  name[i] = 0;
  return kResultTrue;
}

tresult PLUGIN_API HostApp::queryInterface(const TUID iid, void** obj)
{
  QUERY_INTERFACE(iid, obj, FUnknown::iid, IHostApplication)
  QUERY_INTERFACE(iid, obj, IHostApplication::iid, IHostApplication)
  if (mRunLoopOnContext && FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid))
    return mRunLoop->queryInterface(iid, obj);
  // The SDK's class asks its interface-support object with the wrong ID; ask with the one requested.
  if (auto* support = getPlugInterfaceSupport(); support && support->queryInterface(iid, obj) == kResultTrue)
    return kResultOk;
  *obj = nullptr;
  return kNoInterface;
}

//--- ComponentHandler --------------------------------------------------------------------------------

tresult PLUGIN_API ComponentHandler::beginEdit(ParamID id)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mEdits.push_back({EEdit::kBegin, id, 0.0});
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::performEdit(ParamID id, ParamValue valueNormalized)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mEdits.push_back({EEdit::kPerform, id, valueNormalized});
  mPerformed.emplace_back(id, valueNormalized);
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::endEdit(ParamID id)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mEdits.push_back({EEdit::kEnd, id, 0.0});
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::restartComponent(int32 flags)
{
  std::lock_guard<std::mutex> lock(mMutex);
  mRestarts.push_back(flags);
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::setDirty(TBool state)
{
  mDirty = state != 0;
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::requestOpenEditor(FIDString /*name*/)
{
  return kResultFalse; // no editor windows here
}

tresult PLUGIN_API ComponentHandler::startGroupEdit() { return kResultOk; }

tresult PLUGIN_API ComponentHandler::finishGroupEdit()
{
  ++mGroupEdits;
  return kResultOk;
}

std::vector<ComponentHandler::Edit> ComponentHandler::Edits() const
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mEdits;
}

std::vector<int32> ComponentHandler::Restarts() const
{
  std::lock_guard<std::mutex> lock(mMutex);
  return mRestarts;
}

int ComponentHandler::RestartCount(int32 flag) const
{
  std::lock_guard<std::mutex> lock(mMutex);
  return static_cast<int>(
      std::count_if(mRestarts.begin(), mRestarts.end(), [flag](int32 f) { return (f & flag) != 0; }));
}

void ComponentHandler::Clear()
{
  std::lock_guard<std::mutex> lock(mMutex);
  mEdits.clear();
  mRestarts.clear();
  mPerformed.clear();
  mDirty = false;
  mGroupEdits = 0;
}

std::vector<std::pair<ParamID, double>> ComponentHandler::TakePerformed()
{
  std::lock_guard<std::mutex> lock(mMutex);
  std::vector<std::pair<ParamID, double>> out;
  out.swap(mPerformed);
  return out;
}

//--- ParamValueQueue ---------------------------------------------------------------------------------

ParamValueQueue::ParamValueQueue(ParamID id) : mId(id) { mPoints.reserve(16); }

void ParamValueQueue::Reset(ParamID id)
{
  mId = id;
  mPoints.clear();
}

tresult PLUGIN_API ParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value)
{
  if (index < 0 || index >= getPointCount())
    return kResultFalse;
  sampleOffset = mPoints[static_cast<size_t>(index)].first;
  value = mPoints[static_cast<size_t>(index)].second;
  return kResultTrue;
}

tresult PLUGIN_API ParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index)
{
  if (sampleOffset < 0)
    return kInvalidArgument;
  auto it = std::lower_bound(mPoints.begin(), mPoints.end(), sampleOffset,
                             [](const std::pair<int32, double>& p, int32 offset) { return p.first < offset; });
  if (it != mPoints.end() && it->first == sampleOffset)
    it->second = value;
  else
    it = mPoints.insert(it, {sampleOffset, value});
  index = static_cast<int32>(it - mPoints.begin());
  return kResultTrue;
}

tresult PLUGIN_API ParamValueQueue::queryInterface(const TUID iid, void** obj)
{
  QUERY_INTERFACE(iid, obj, FUnknown::iid, IParamValueQueue)
  QUERY_INTERFACE(iid, obj, IParamValueQueue::iid, IParamValueQueue)
  *obj = nullptr;
  return kNoInterface;
}

//--- ParameterChanges --------------------------------------------------------------------------------

ParameterChanges::ParameterChanges(int reserveQueues) { Reserve(reserveQueues); }

void ParameterChanges::Reserve(int queues)
{
  while (static_cast<int>(mQueues.size()) < queues)
    mQueues.push_back(std::make_unique<ParamValueQueue>());
}

bool ParameterChanges::Add(ParamID id, int32 sampleOffset, double value)
{
  int32 index = 0;
  IParamValueQueue* queue = addParameterData(id, index);
  return queue && queue->addPoint(sampleOffset, value, index) == kResultTrue;
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index)
{
  return index >= 0 && index < mUsed ? mQueues[static_cast<size_t>(index)].get() : nullptr;
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const ParamID& id, int32& index)
{
  for (int32 i = 0; i < mUsed; ++i)
  {
    if (mQueues[static_cast<size_t>(i)]->getParameterId() == id)
    {
      index = i;
      return mQueues[static_cast<size_t>(i)].get();
    }
  }
  if (mUsed == static_cast<int32>(mQueues.size()))
    Reserve(mUsed * 2 + 1); // only when more parameters change in one block than were reserved for
  auto* queue = mQueues[static_cast<size_t>(mUsed)].get();
  queue->Reset(id);
  index = mUsed++;
  return queue;
}

tresult PLUGIN_API ParameterChanges::queryInterface(const TUID iid, void** obj)
{
  QUERY_INTERFACE(iid, obj, FUnknown::iid, IParameterChanges)
  QUERY_INTERFACE(iid, obj, IParameterChanges::iid, IParameterChanges)
  *obj = nullptr;
  return kNoInterface;
}

//--- EventList ---------------------------------------------------------------------------------------

tresult PLUGIN_API EventList::getEvent(int32 index, Event& e)
{
  if (index < 0 || index >= getEventCount())
    return kResultFalse;
  e = mEvents[static_cast<size_t>(index)];
  return kResultTrue;
}

tresult PLUGIN_API EventList::addEvent(Event& e)
{
  mEvents.push_back(e);
  return kResultTrue;
}

tresult PLUGIN_API EventList::queryInterface(const TUID iid, void** obj)
{
  QUERY_INTERFACE(iid, obj, FUnknown::iid, IEventList)
  QUERY_INTERFACE(iid, obj, IEventList::iid, IEventList)
  *obj = nullptr;
  return kNoInterface;
}

} // namespace brevant::host
