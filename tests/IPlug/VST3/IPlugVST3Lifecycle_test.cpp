// The effect object's life with a host: interfaces, initialisation and host identity, state streams, latency
// reports, track information, program names, and the class factory.

#include "IPlugByteChunk.h"
#include "IPlugVST3_Factory.h"
#include "TestPlugVST3.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/main/pluginfactory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace vst3test;

namespace
{
std::vector<uint8_t> StateOf(TestPlugVST3* plug)
{
  MemoryStream stream;
  EXPECT_EQ(plug->getState(&stream), kResultOk);
  const auto* bytes = reinterpret_cast<const uint8_t*>(stream.getData());
  return std::vector<uint8_t>(bytes, bytes + stream.getSize());
}

tresult Load(TestPlugVST3* plug, const std::vector<uint8_t>& bytes)
{
  MemoryStream stream;
  int32 written = 0;
  if (!bytes.empty())
    stream.write(const_cast<uint8_t*>(bytes.data()), static_cast<int32>(bytes.size()), &written);
  stream.seek(0, IBStream::kIBSeekSet, nullptr);
  return plug->setState(&stream);
}
} // namespace

TEST(IPlugVST3Lifecycle, OneObjectBehindEveryInterface)
{
  TestInstance t;
  FUnknown* unknown = static_cast<IAudioProcessor*>(t.plug);
  IComponent* component = nullptr;
  IAudioProcessor* processor = nullptr;
  IEditController* controller = nullptr;
  IMidiMapping* mapping = nullptr;
  ChannelContext::IInfoListener* listener = nullptr;
  IUnitInfo* units = nullptr;
  ASSERT_EQ(unknown->queryInterface(IComponent::iid, reinterpret_cast<void**>(&component)), kResultOk);
  ASSERT_EQ(unknown->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&processor)), kResultOk);
  ASSERT_EQ(unknown->queryInterface(IEditController::iid, reinterpret_cast<void**>(&controller)), kResultOk);
  ASSERT_EQ(unknown->queryInterface(IMidiMapping::iid, reinterpret_cast<void**>(&mapping)), kResultOk);
  ASSERT_EQ(unknown->queryInterface(ChannelContext::IInfoListener::iid, reinterpret_cast<void**>(&listener)),
            kResultOk);
  ASSERT_EQ(unknown->queryInterface(IUnitInfo::iid, reinterpret_cast<void**>(&units)), kResultOk);

  EXPECT_EQ(static_cast<iplug::IPlugVST3*>(t.plug), dynamic_cast<iplug::IPlugVST3*>(component));
  EXPECT_EQ(static_cast<iplug::IPlugVST3*>(t.plug), dynamic_cast<iplug::IPlugVST3*>(processor));
  EXPECT_EQ(static_cast<iplug::IPlugVST3*>(t.plug), dynamic_cast<iplug::IPlugVST3*>(controller));
  EXPECT_EQ(static_cast<iplug::IPlugVST3*>(t.plug), dynamic_cast<iplug::IPlugVST3*>(mapping));

  // Every reference counts on the one counter; the instance stays alive until the last one goes.
  EXPECT_EQ(component->release(), 6u);
  processor->release();
  controller->release();
  mapping->release();
  listener->release();
  EXPECT_EQ(units->release(), 1u);

  EXPECT_EQ(t->createView("editor"), nullptr); // no editor view until the graphics layer provides one
  EXPECT_EQ(t->createView(nullptr), nullptr);
}

TEST(IPlugVST3Lifecycle, HostIdentificationAndRunLoop)
{
  {
    HostApplication reaper("REAPER");
    TestInstance t({}, &reaper);
    EXPECT_EQ(t->GetHost(), iplug::kHostReaper);
  }
  {
    EmptyContext nothing;
    TestInstance t({}, &nothing);
    EXPECT_EQ(t->GetHost(), iplug::kHostUninit);
  }
  {
    // A host that offers its run loop in the context gets the framework timer on it.
    RunLoop loop;
    HostApplication host("Bitwig Studio", &loop);
    {
      TestInstance t({}, &host);
      EXPECT_EQ(t->GetHost(), iplug::kHostBitwig);
      EXPECT_EQ(loop.timers.size(), 1u);
    }
    EXPECT_TRUE(loop.timers.empty()); // handed back at terminate
  }
  // Initialising twice is refused and adds nothing.
  TestInstance t;
  HostApplication again;
  EXPECT_NE(t->initialize(&again), kResultOk);
  EXPECT_EQ(t->getParameterCount(), kNumTestParams + 1);
}

TEST(IPlugVST3Lifecycle, InitializeAnnouncesEveryParameter)
{
  auto* plug = new TestPlugVST3();
  HostApplication host;
  plug->initialize(&host);
  ASSERT_EQ(plug->changes.size(), static_cast<size_t>(kNumTestParams));
  for (int i = 0; i < kNumTestParams; i++)
  {
    EXPECT_EQ(plug->changes[i].idx, i);
    EXPECT_EQ(plug->changes[i].source, iplug::kReset);
  }
  plug->terminate();
  plug->release();
}

TEST(IPlugVST3Lifecycle, StateRoundTrip)
{
  TestInstance t;
  t->setParamNormalized(kTestSteps, 0.9);
  t->setParamNormalized(kTestFreq, 0.3);
  t->setParamNormalized(kTestMode, 1.0);
  t.Start(kSample64);
  {
    // Host bypass on, as the processor sees it.
    Buses<double> in({2}, 4), out({2}, 4);
    ProcessData data = MakeProcessData(in, out, 4);
    ParameterChanges changes;
    changes.Add(iplug::kVST3BypassParamID, {{0, 1.0}});
    data.inputParameterChanges = &changes;
    t->process(data);
  }

  const std::vector<uint8_t> state = StateOf(t.plug);
  // One double per parameter (this plug-in keeps no editor record), then the bypass flag.
  ASSERT_EQ(state.size(), 8u * kNumTestParams + 4u);
  EXPECT_EQ(std::vector<uint8_t>(state.end() - 4, state.end()), (std::vector<uint8_t>{1, 0, 0, 0}));

  TestInstance u;
  u->setParamNormalized(kTestGain, 0.1);
  u->changes.clear();
  ASSERT_EQ(Load(u.plug, state), kResultOk);
  for (int i = 0; i < kNumTestParams; i++)
  {
    EXPECT_EQ(u->GetParam(i)->Value(), t->GetParam(i)->Value()) << i;
    EXPECT_DOUBLE_EQ(u->getParamNormalized(i), t->GetParam(i)->GetNormalized()) << i;
  }
  EXPECT_DOUBLE_EQ(u->getParamNormalized(iplug::kVST3BypassParamID), 1.0);
  EXPECT_FALSE(u->GetBypassed()); // the processor follows when the host sends the switch
  // The restore announced every parameter.
  EXPECT_EQ(u->changes.size(), static_cast<size_t>(kNumTestParams));
  const std::vector<uint8_t> restored = StateOf(u.plug);
  EXPECT_EQ(std::vector<uint8_t>(restored.begin(), restored.end() - 4),
            std::vector<uint8_t>(state.begin(), state.end() - 4));
}

TEST(IPlugVST3Lifecycle, RefusedStatesChangeNothing)
{
  TestInstance t;
  t->setParamNormalized(kTestSteps, 0.9);
  const std::vector<uint8_t> good = StateOf(t.plug);

  TestInstance u;
  u->setParamNormalized(kTestGain, 0.25);
  const std::vector<uint8_t> before = StateOf(u.plug);

  // The state without its trailing bypass flag.
  EXPECT_EQ(Load(u.plug, std::vector<uint8_t>(good.begin(), good.end() - 4)), kResultFalse);
  EXPECT_EQ(StateOf(u.plug), before);
  EXPECT_DOUBLE_EQ(u->getParamNormalized(kTestGain), 0.25);

  // Every truncation, and nothing at all.
  for (size_t n = 0; n < good.size() - 4; n += 7)
  {
    EXPECT_EQ(Load(u.plug, std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n))), kResultFalse) << n;
    ASSERT_EQ(StateOf(u.plug), before) << n;
  }
  EXPECT_EQ(u->setState(nullptr), kResultFalse);
  EXPECT_EQ(u->getState(nullptr), kResultFalse);

  // Random bytes of every length: whatever is accepted leaves every value within its range.
  std::mt19937 rng(7);
  for (int trial = 0; trial < 200; trial++)
  {
    std::vector<uint8_t> junk(static_cast<size_t>(rng() % 200));
    for (auto& b : junk)
      b = static_cast<uint8_t>(rng());
    Load(u.plug, junk);
    for (int i = 0; i < kNumTestParams; i++)
    {
      const iplug::IParam* p = u->GetParam(i);
      ASSERT_NE(p, nullptr);
      const double v = p->Value();
      ASSERT_TRUE(v >= p->GetMin() && v <= p->GetMax()) << i;
      ASSERT_TRUE(u->getParamNormalized(i) >= 0.0 && u->getParamNormalized(i) <= 1.0) << i;
    }
  }
}

TEST(IPlugVST3Lifecycle, LatencyChangeReachesTheHostFromTheMainThread)
{
  RunLoop loop;
  HostApplication host("Test Host", &loop);
  TestInstance t({}, &host);
  t.Start(kSample64);
  t.handler.restarts.clear();

  // The processor changes its latency while processing: the host hears of it on the next timer tick.
  t->latencyToSet = 64;
  Buses<double> in({2}, 8), out({2}, 8);
  ProcessData data = MakeProcessData(in, out, 8);
  t->process(data);
  EXPECT_TRUE(t.handler.restarts.empty());
  EXPECT_EQ(t->getLatencySamples(), 64u);
  loop.Fire();
  ASSERT_EQ(t.handler.restarts.size(), 1u);
  EXPECT_EQ(t.handler.restarts[0], kLatencyChanged);
  loop.Fire();
  EXPECT_EQ(t.handler.restarts.size(), 1u);

  // A host without a run loop hears of it at its next main-thread call.
  TestInstance v;
  v.Start(kSample64);
  v.handler.restarts.clear();
  v->latencyToSet = 32;
  v->process(data);
  v->setParamNormalized(kTestGain, 0.5);
  ASSERT_EQ(v.handler.restarts.size(), 1u);
  EXPECT_EQ(v.handler.restarts[0], kLatencyChanged);
  EXPECT_EQ(v->getLatencySamples(), 32u);
}

TEST(IPlugVST3Lifecycle, ChannelContextAndPrograms)
{
  TestInstance t;
  AttributeList list;
  list.setInt(ChannelContext::kChannelNameLengthKey, 5);
  list.strings[ChannelContext::kChannelNameKey] = u"Drums";
  list.setInt(ChannelContext::kChannelColorKey, 0xFF336699);
  list.setInt(ChannelContext::kChannelIndexKey, 4);
  list.setInt(ChannelContext::kChannelIndexNamespaceOrderKey, 2);
  list.strings[ChannelContext::kChannelIndexNamespaceKey] = u"Mixer"; // no length given
  ASSERT_EQ(t->setChannelContextInfos(&list), kResultOk);

  WDL_String name;
  t->GetTrackName(name);
  EXPECT_STREQ(name.Get(), "Drums");
  t->GetTrackNamespace(name);
  EXPECT_STREQ(name.Get(), "Mixer");
  int r = 0, g = 0, b = 0;
  t->GetTrackColor(r, g, b);
  EXPECT_EQ(r, 0x33);
  EXPECT_EQ(g, 0x66);
  EXPECT_EQ(b, 0x99);
  EXPECT_EQ(t->GetTrackIndex(), 4);
  EXPECT_EQ(t->GetTrackNamespaceIndex(), 2);

  // A length the host got wrong reads no further than the buffer it implies.
  AttributeList liar;
  liar.setInt(ChannelContext::kChannelNameLengthKey, 2);
  liar.strings[ChannelContext::kChannelNameKey] = u"Overlong";
  liar.setInt(ChannelContext::kChannelUIDLengthKey, 1LL << 40);
  liar.strings[ChannelContext::kChannelUIDKey] = u"uid";
  ASSERT_EQ(t->setChannelContextInfos(&liar), kResultOk);
  t->GetTrackName(name);
  EXPECT_STREQ(name.Get(), "Ov");
  EXPECT_EQ(t->setChannelContextInfos(nullptr), kResultFalse);

  String128 program{};
  EXPECT_EQ(t->getProgramListCount(), 0);
  ASSERT_EQ(t->getProgramName(iplug::kVST3PresetParamID, 0, program), kResultOk);
  EXPECT_EQ(ToAscii(program), "empty");
  EXPECT_EQ(t->getProgramName(0, 0, program), kResultFalse);
  EXPECT_EQ(t->getProgramName(iplug::kVST3PresetParamID, 1, program), kResultFalse);
  TestPlugOptions noPresets;
  noPresets.nPresets = 0;
  TestInstance n(noPresets);
  EXPECT_EQ(n->getProgramName(iplug::kVST3PresetParamID, 0, program), kResultFalse);
}

// --- class factory, with this suite's plug-in as the module's class ---------------------------------------

namespace
{
const iplug::VST3ClassDescription kTestClass = {
    "Quillmere", "https://quillmere.example", "test@quillmere.example", "TestPlug", "Fx|Dynamics",
    "1.0.0",     iplug::FourCC("Qlmr"),       iplug::FourCC("TsPl")};
int sMadePlugs = 0;
bool sFailConstruction = false;
} // namespace

iplug::IPlugVST3* iplug::MakePlug(const InstanceInfo&)
{
  if (sFailConstruction)
    throw std::runtime_error("no");
  sMadePlugs++;
  return new TestPlugVST3();
}

TEST(IPlugVST3Lifecycle, ClassFactory)
{
  IPluginFactory* factory = iplug::GetVST3PluginFactory(kTestClass, iplug::CreateVST3Instance);
  IPluginFactory* again = iplug::GetVST3PluginFactory(kTestClass, iplug::CreateVST3Instance);
  ASSERT_EQ(factory, again);
  EXPECT_EQ(factory->countClasses(), 1);
  again->release();

  TUID cid;
  iplug::MakeVST3ClassID(iplug::FourCC("Qlmr"), iplug::FourCC("TsPl"), cid);
  const uint8_t expected[16] = {0xF2, 0xAE, 0xE7, 0x0D, 0x00, 0xDE, 0x4F, 0x4E, 'Q', 'l', 'm', 'r', 'T', 's', 'P', 'l'};
  EXPECT_EQ(std::memcmp(cid, expected, 16), 0);

  // Asked for any of the three roles, it makes the one object.
  for (const FUID* iid : {&IComponent::iid, &IAudioProcessor::iid, &IEditController::iid})
  {
    FUnknown* obj = nullptr;
    ASSERT_EQ(factory->createInstance(cid, iid->toTUID(), reinterpret_cast<void**>(&obj)), kResultOk);
    ASSERT_NE(obj, nullptr);
    auto* plug = dynamic_cast<TestPlugVST3*>(obj);
    ASSERT_NE(plug, nullptr);
    EXPECT_EQ(plug->release(), 0u);
  }

  // A constructor that throws gives the host no instance and no exception.
  sFailConstruction = true;
  FUnknown* obj = nullptr;
  EXPECT_NE(factory->createInstance(cid, IComponent::iid, reinterpret_cast<void**>(&obj)), kResultOk);
  EXPECT_EQ(obj, nullptr);
  sFailConstruction = false;

  factory->release();
  EXPECT_EQ(gPluginFactory, nullptr);
}
