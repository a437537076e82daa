// Lifecycle as validators and hosts drive it: initialize and terminate in and out of order, activation and
// processing toggles, the interfaces a host looks for, and the editor request.

#include "Conformance.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstchannelcontextinfo.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "public.sdk/source/common/memorystream.h"

using namespace conformance;

namespace
{
// What a host sees of an initialized instance: bus and parameter counts, and every parameter's ID and value.
std::vector<double> Snapshot(Instance& plug)
{
  std::vector<double> out;
  for (auto dir : {kInput, kOutput})
    for (auto type : {kAudio, kEvent})
      out.push_back(plug.component->getBusCount(type, dir));
  const int32 n = plug.controller->getParameterCount();
  out.push_back(n);
  for (int32 i = 0; i < n; i++)
  {
    ParameterInfo info{};
    plug.controller->getParameterInfo(i, info);
    out.push_back(info.id);
    out.push_back(plug.controller->getParamNormalized(info.id));
  }
  return out;
}
} // namespace

TEST(ConformanceLifecycle, InitializeAndTerminateInAndOutOfOrder)
{
  {
    Instance plug(false);
    ASSERT_TRUE(plug.Valid());
    // Terminate before initialize, and twice: harmless.
    plug.component->terminate();
    plug.component->terminate();
    ASSERT_EQ(plug.Initialize(), kResultOk);
    const auto fresh = Snapshot(plug);
    EXPECT_EQ(plug.controller->getParameterCount(), 33);

    // A second initialize is refused and duplicates nothing.
    EXPECT_NE(plug.component->initialize(static_cast<FUnknown*>(&HostModule::Host())), kResultOk);
    EXPECT_NE(plug.controller->initialize(static_cast<FUnknown*>(&HostModule::Host())), kResultOk);
    EXPECT_EQ(Snapshot(plug), fresh);

    // Terminate and initialize again, repeatedly, each round processing in both sample sizes.
    for (int round = 0; round < 3; round++)
    {
      for (int32 size : {kSample32, kSample64})
      {
        ASSERT_EQ(plug.Setup(size, 512), kResultOk);
        ASSERT_TRUE(plug.Start());
        if (size == kSample32)
        {
          Block<float> block(plug, 512);
          block.Signal();
          EXPECT_EQ(plug.processor->process(block.Data(512)), kResultOk);
          EXPECT_TRUE(block.OutputFinite(512));
        }
        else
        {
          Block<double> block(plug, 512);
          block.Signal();
          EXPECT_EQ(plug.processor->process(block.Data(512)), kResultOk);
          EXPECT_TRUE(block.OutputFinite(512));
        }
        plug.Stop();
      }
      ASSERT_EQ(plug.Terminate(), kResultOk);
      EXPECT_EQ(plug.component->getBusCount(kAudio, kInput), 0) << "terminate drops the buses";
      ASSERT_EQ(plug.Initialize(), kResultOk);
      EXPECT_EQ(Snapshot(plug), fresh) << "round " << round;
    }
  }
  {
    // Without a host context: initialized once all the same, and no more than once.
    Instance plug(false);
    EXPECT_EQ(plug.component->initialize(nullptr), kResultOk);
    EXPECT_NE(plug.component->initialize(nullptr), kResultOk);
    EXPECT_EQ(plug.component->getBusCount(kAudio, kInput), 2);
    EXPECT_EQ(plug.controller->getParameterCount(), 33);
    plug.initialized = true;
  }
  {
    // Released without terminate (a crashing host's cleanup), and released right after creation.
    Instance plug(true);
    plug.initialized = false;
  }
  {
    // Asked about before initialize: nothing to report, nothing to crash on.
    Instance plug(false);
    EXPECT_EQ(plug.component->getBusCount(kAudio, kInput), 0);
    EXPECT_EQ(plug.controller->getParameterCount(), 0);
    ParameterInfo info{};
    EXPECT_NE(plug.controller->getParameterInfo(0, info), kResultOk);
    MemoryStream stream;
    plug.component->getState(&stream);
    // Processing an instance never set up leaves silence.
    Buses<float> in({2}, 32), out({2}, 32);
    in.Fill(0.5f);
    out.Fill(0.5f);
    ProcessData data = MakeProcessData(in, out, 32);
    plug.processor->process(data);
    EXPECT_EQ(out.data[0][0], std::vector<float>(32, 0.f));
  }
  {
    // A host that connects the single component to itself (controller and component being one object) and
    // terminates without disconnecting leaks nothing.
    Instance plug;
    auto* point = plug.Query<IConnectionPoint>();
    ASSERT_NE(point, nullptr);
    point->connect(point);
    point->release();
  }
}

TEST(ConformanceLifecycle, ValuesSurviveTerminateAndInitialize)
{
  // The controller is built again on initialize: it must show the instance's values, not the defaults.
  Instance plug;
  ASSERT_EQ(plug.controller->setParamNormalized(0, 0.75), kResultOk);
  const auto state = plug.State();
  ASSERT_EQ(plug.Terminate(), kResultOk);
  ASSERT_EQ(plug.Initialize(), kResultOk);
  EXPECT_DOUBLE_EQ(plug.controller->getParamNormalized(0), 0.75);
  EXPECT_EQ(plug.State(), state);
}

TEST(ConformanceLifecycle, ActivationAndProcessingToggles)
{
  Instance plug;
  ASSERT_EQ(plug.Setup(kSample32, 256), kResultOk);
  ASSERT_EQ(plug.controller->setParamNormalized(3, 0.5), kResultOk);
  const auto state = plug.State();
  Block<float> block(plug, 256);
  block.Signal();

  for (int round = 0; round < 5; round++)
  {
    EXPECT_EQ(plug.component->setActive(true), kResultOk);
    for (int i = 0; i < 3; i++)
    {
      EXPECT_EQ(plug.processor->setProcessing(true), kResultOk);
      EXPECT_EQ(plug.processor->process(block.Data(256)), kResultOk);
      EXPECT_EQ(plug.processor->setProcessing(false), kResultOk);
    }
    // Processing set twice in a row, and suspended while processing: both tolerated.
    EXPECT_EQ(plug.processor->setProcessing(true), kResultOk);
    EXPECT_EQ(plug.processor->setProcessing(true), kResultOk);
    EXPECT_EQ(plug.component->setActive(false), kResultOk);
    EXPECT_TRUE(block.OutputFinite(256));
    // The settings outlive suspend and resume.
    EXPECT_EQ(plug.State(), state) << "round " << round;
  }
  // Setup while active is the host's mistake; the plug-in keeps working.
  EXPECT_EQ(plug.component->setActive(true), kResultOk);
  EXPECT_EQ(plug.Setup(kSample32, 128), kResultOk);
  EXPECT_EQ(plug.processor->process(block.Data(128)), kResultOk);
  EXPECT_EQ(plug.component->setActive(false), kResultOk);
}

TEST(ConformanceLifecycle, InterfacesAHostLooksFor)
{
  Instance plug;
  // A single-component effect names no separate controller class; hosts then use the component itself.
  TUID cid = {};
  EXPECT_NE(plug.component->getControllerClassId(cid), kResultOk);

  auto* controller2 = plug.Query<IEditController2>();
  auto* mapping = plug.Query<IMidiMapping>();
  auto* units = plug.Query<IUnitInfo>();
  auto* listener = plug.Query<ChannelContext::IInfoListener>();
  auto* requirements = plug.Query<IProcessContextRequirements>();
  auto* connection = plug.Query<IConnectionPoint>();
  ASSERT_TRUE(controller2 && mapping && units && listener && requirements && connection);

  // IEditController2: no knob modes of its own, no help or about box.
  EXPECT_NE(controller2->openHelp(false), kResultOk);
  EXPECT_NE(controller2->openAboutBox(true), kResultOk);

  // The transport the framework hands to the plug-in is what it asks the host for.
  const uint32 needs = requirements->getProcessContextRequirements();
  for (uint32 flag :
       {IProcessContextRequirements::kNeedTempo, IProcessContextRequirements::kNeedTimeSignature,
        IProcessContextRequirements::kNeedProjectTimeMusic, IProcessContextRequirements::kNeedBarPositionMusic,
        IProcessContextRequirements::kNeedCycleMusic, IProcessContextRequirements::kNeedTransportState})
    EXPECT_NE(needs & flag, 0u) << std::hex << flag;

  // Track information: a null list is refused; a host's list is taken.
  EXPECT_NE(listener->setChannelContextInfos(nullptr), kResultOk);
  auto list = owned(new HostAttributeList);
  const char16 name[] = u"Drums";
  list->setString(ChannelContext::kChannelNameKey, name);
  list->setInt(ChannelContext::kChannelNameLengthKey, 5);
  list->setInt(ChannelContext::kChannelColorKey, 0xFF336699);
  list->setInt(ChannelContext::kChannelIndexKey, 3);
  EXPECT_EQ(listener->setChannelContextInfos(list), kResultOk);
  // A length far beyond the text does not read past it.
  list->setInt(ChannelContext::kChannelNameLengthKey, 1 << 30);
  EXPECT_EQ(listener->setChannelContextInfos(list), kResultOk);

  for (FUnknown* i : std::initializer_list<FUnknown*>{controller2, mapping, units, listener, requirements, connection})
    i->release();
}

TEST(ConformanceLifecycle, NoEditorYetAndNothingElseByName)
{
  Instance plug;
  for (const char* name : {"editor", "Editor", "", "something"})
  {
    IPlugView* view = plug.controller->createView(name);
    if (view)
    {
      // An editor, once there is one, is offered only under its exact name and for the X11 window type.
      EXPECT_STREQ(name, ViewType::kEditor);
      EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
      view->release();
    }
  }
  EXPECT_EQ(plug.controller->createView(nullptr), nullptr);
}

TEST(ConformanceLifecycle, InstancesSideBySideShareNothing)
{
  // The same input through two instances: one left alone, one changed and processed in between. The untouched
  // one must match an instance that ran on its own.
  auto run = [](std::vector<Instance*> plugs, int blocks, bool changeSecond)
  {
    std::vector<std::vector<double>> outputs(plugs.size());
    std::vector<std::unique_ptr<Block<double>>> buffers;
    for (auto* p : plugs)
    {
      EXPECT_EQ(p->Setup(kSample64, 128, 44100.0), kResultOk);
      EXPECT_TRUE(p->Start());
      buffers.push_back(std::make_unique<Block<double>>(*p, 128));
    }
    ParameterChanges changes;
    for (int b = 0; b < blocks; b++)
    {
      for (size_t k = 0; k < plugs.size(); k++)
      {
        buffers[k]->Signal(b * 128);
        ProcessData& data = buffers[k]->Data(128);
        changes.Clear();
        if (changeSecond && k == 1)
        {
          for (ParamID id = 0; id < 20; id++)
            changes.Add(id, (b * 7 + static_cast<int>(id)) % 128, (b % 3) * 0.5);
          data.inputParameterChanges = &changes;
        }
        EXPECT_EQ(plugs[k]->processor->process(data), kResultOk);
        for (auto& ch : buffers[k]->out.data[0])
          outputs[k].insert(outputs[k].end(), ch.begin(), ch.end());
      }
    }
    for (auto* p : plugs)
      p->Stop();
    return outputs;
  };

  Instance solo;
  const auto reference = run({&solo}, 40, false)[0];
  Instance a, b;
  const auto pair = run({&a, &b}, 40, true);
  EXPECT_EQ(pair[0], reference);
  EXPECT_NE(a.State(), b.State());
}
