// Host-side objects a VST3 plug-in talks to: the host application, the component handler that records edits
// and restarts, parameter-change queues and event lists for process calls.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include "HostRunLoop.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace brevant::host
{

// UTF-16 (String128 and the like, at most maxUnits) to UTF-8.
std::string ToUtf8(const Steinberg::char16* text, size_t maxUnits = 128);

// IHostApplication named "brevant-host"; messages and attribute lists come from the SDK's host classes.
class HostApp : public Steinberg::Vst::HostApplication
{
public:
  static constexpr const char* kName = "brevant-host";

  Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;

  // Offered to plug-ins as Steinberg::Linux::IRunLoop; runs when the host advances it (HostedPlugin::Idle).
  HostRunLoop& RunLoop() { return *mRunLoop; }
  // Whether the context offers the run loop as well as the editor's frame (some hosts offer it on the frame only).
  void OfferRunLoopOnContext(bool offer) { mRunLoopOnContext = offer; }

private:
  Steinberg::IPtr<HostRunLoop> mRunLoop = Steinberg::owned(new HostRunLoop);
  bool mRunLoopOnContext = true;
};

// Records what the plug-in's controller tells the host. Callable from any thread: plug-ins may report from a
// timer thread when the host offers no run loop.
class ComponentHandler : public Steinberg::FObject,
                         public Steinberg::Vst::IComponentHandler,
                         public Steinberg::Vst::IComponentHandler2
{
public:
  enum class EEdit
  {
    kBegin,
    kPerform,
    kEnd
  };
  struct Edit
  {
    EEdit kind;
    Steinberg::Vst::ParamID id;
    double value; // kPerform only
  };

  //--- IComponentHandler
  Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
  Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                            Steinberg::Vst::ParamValue valueNormalized) override;
  Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
  Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;
  //--- IComponentHandler2
  Steinberg::tresult PLUGIN_API setDirty(Steinberg::TBool state) override;
  Steinberg::tresult PLUGIN_API requestOpenEditor(Steinberg::FIDString name) override;
  Steinberg::tresult PLUGIN_API startGroupEdit() override;
  Steinberg::tresult PLUGIN_API finishGroupEdit() override;

  std::vector<Edit> Edits() const;
  // The flags of every restartComponent call, in order.
  std::vector<Steinberg::int32> Restarts() const;
  // How many restartComponent calls carried this flag (e.g. Steinberg::Vst::kLatencyChanged).
  int RestartCount(Steinberg::int32 flag) const;
  bool IsDirty() const { return mDirty; }
  int GroupEdits() const { return mGroupEdits; } // finished start/finish pairs
  void Clear();

  // Values the controller performed since the last call, for the host to send to the processor.
  std::vector<std::pair<Steinberg::Vst::ParamID, double>> TakePerformed();

  OBJ_METHODS(ComponentHandler, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(IComponentHandler)
  DEF_INTERFACE(IComponentHandler2)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

private:
  mutable std::mutex mMutex;
  std::vector<Edit> mEdits;
  std::vector<Steinberg::int32> mRestarts;
  std::vector<std::pair<Steinberg::Vst::ParamID, double>> mPerformed;
  std::atomic<bool> mDirty{false};
  std::atomic<int> mGroupEdits{0};
};

// Host-owned objects handed to process calls: the plug-in never owns them, so reference counting is a no-op.
#define BREVANT_HOST_OWNED_REFCOUNT                                                                                    \
  Steinberg::uint32 PLUGIN_API addRef() override { return 1; }                                                         \
  Steinberg::uint32 PLUGIN_API release() override { return 1; }

// Points of one parameter within a block, kept in sample-offset order; a point at an offset already present
// replaces its value.
class ParamValueQueue : public Steinberg::Vst::IParamValueQueue
{
public:
  explicit ParamValueQueue(Steinberg::Vst::ParamID id = 0);

  void Reset(Steinberg::Vst::ParamID id);

  Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return mId; }
  Steinberg::int32 PLUGIN_API getPointCount() override { return static_cast<Steinberg::int32>(mPoints.size()); }
  Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                         Steinberg::Vst::ParamValue& value) override;
  Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
                                         Steinberg::int32& index) override;

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  BREVANT_HOST_OWNED_REFCOUNT

private:
  Steinberg::Vst::ParamID mId;
  std::vector<std::pair<Steinberg::int32, double>> mPoints;
};

// The changes of one block: one queue per parameter. Queues are kept between blocks and reused.
class ParameterChanges : public Steinberg::Vst::IParameterChanges
{
public:
  explicit ParameterChanges(int reserveQueues = 64);

  void Clear() { mUsed = 0; }
  // Adds a point for the block (host side); false for a negative offset.
  bool Add(Steinberg::Vst::ParamID id, Steinberg::int32 sampleOffset, double value);
  // Ensures this many queues exist without allocating during a block.
  void Reserve(int queues);

  Steinberg::int32 PLUGIN_API getParameterCount() override { return mUsed; }
  Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
  Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                Steinberg::int32& index) override;

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  BREVANT_HOST_OWNED_REFCOUNT

private:
  std::vector<std::unique_ptr<ParamValueQueue>> mQueues;
  Steinberg::int32 mUsed = 0;
};

class EventList : public Steinberg::Vst::IEventList
{
public:
  explicit EventList(int reserve = 512) { mEvents.reserve(static_cast<size_t>(reserve)); }

  void Clear() { mEvents.clear(); }
  const std::vector<Steinberg::Vst::Event>& Events() const { return mEvents; }

  Steinberg::int32 PLUGIN_API getEventCount() override { return static_cast<Steinberg::int32>(mEvents.size()); }
  Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event& e) override;
  Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& e) override;

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  BREVANT_HOST_OWNED_REFCOUNT

private:
  std::vector<Steinberg::Vst::Event> mEvents;
};

} // namespace brevant::host
