// The effect object's life with a host: interfaces, initialisation and host identity, state streams, latency
// reports, track information, program names, and the class factory.

#include "IPlugVST3_Factory.h"
#include "TestPlugVST3.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/main/pluginfactory.h"

#include <gtest/gtest.h>

#include <cstring>

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
  MemoryStream stream(const_cast<uint8_t*>(bytes.data()), static_cast<TSize>(bytes.size()));
  return plug->setState(&stream);
}

// Delivers its bytes in pieces but reports every read as failed, as WaveLab's streams do.
class FailingReadStream final : public MemoryStream
{
public:
  using MemoryStream::MemoryStream;
  tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override
  {
    MemoryStream::read(buffer, std::min(numBytes, 50), numBytesRead);
    return kResultFalse;
  }
};
} // namespace

TEST(IPlugVST3Lifecycle, OneObjectBehindEveryInterface)
{
  TestInstance t;
  FUnknown* unknown = static_cast<IAudioProcessor*>(t.plug);
  for (const FUID* iid : {&IComponent::iid, &IAudioProcessor::iid, &IEditController::iid, &IMidiMapping::iid,
                          &ChannelContext::IInfoListener::iid, &IUnitInfo::iid})
  {
    FUnknown* obj = nullptr;
    ASSERT_EQ(unknown->queryInterface(iid->toTUID(), reinterpret_cast<void**>(&obj)), kResultOk);
    EXPECT_EQ(dynamic_cast<TestPlugVST3*>(obj), t.plug);
    EXPECT_EQ(obj->release(), 1u); // one counter for every interface
  }
  // The editor view holds the object while it lives.
  Steinberg::IPlugView* view = t->createView("editor");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->release(), 0u);
  EXPECT_EQ(t->createView("other"), nullptr);
  EXPECT_EQ(t->createView(nullptr), nullptr);
}

TEST(IPlugVST3Lifecycle, InitializeIdentifiesTheHostAndAnnouncesEveryParameter)
{
  NamedHost reaper("REAPER");
  TestInstance r({}, &reaper);
  EXPECT_EQ(r->GetHost(), iplug::kHostReaper);
  ASSERT_EQ(r->changes.size(), static_cast<size_t>(kNumTestParams));
  EXPECT_EQ(r->changes.back().idx, kNumTestParams - 1);
  EXPECT_EQ(r->changes.back().source, iplug::kReset);

  // A context without the application interface leaves the host unidentified; a second initialize is refused.
  MemoryStream notAHost;
  TestInstance n({}, &notAHost);
  EXPECT_EQ(n->GetHost(), iplug::kHostUninit);
  EXPECT_NE(n->initialize(&reaper), kResultOk);
  EXPECT_EQ(n->getParameterCount(), kNumTestParams + 1);

  // A host that offers its run loop in the context gets the framework timer on it, until terminate.
  RunLoop loop;
  NamedHost bitwig("Bitwig Studio", &loop);
  {
    TestInstance b({}, &bitwig);
    EXPECT_EQ(b->GetHost(), iplug::kHostBitwig);
    EXPECT_EQ(loop.timers.size(), 1u);
  }
  EXPECT_TRUE(loop.timers.empty());
}

TEST(IPlugVST3Lifecycle, StateStreams)
{
  TestInstance t;
  t->setParamNormalized(kTestSteps, 0.9);
  t->setParamNormalized(kTestFreq, 0.3);
  t.Start(kSample64);
  t.Automate({{iplug::kVST3BypassParamID, 0, 1.0}});

  // The plug-in's chunk (here one double per parameter), then the bypass flag.
  const std::vector<uint8_t> state = StateOf(t.plug);
  ASSERT_EQ(state.size(), 8u * kNumTestParams + 4u);
  EXPECT_EQ(std::vector<uint8_t>(state.end() - 4, state.end()), (std::vector<uint8_t>{1, 0, 0, 0}));

  TestInstance u;
  u->changes.clear();
  ASSERT_EQ(Load(u.plug, state), kResultOk);
  for (int i = 0; i < kNumTestParams; i++)
  {
    EXPECT_EQ(u->GetParam(i)->Value(), t->GetParam(i)->Value()) << i;
    EXPECT_DOUBLE_EQ(u->getParamNormalized(i), t->GetParam(i)->GetNormalized()) << i;
  }
  EXPECT_DOUBLE_EQ(u->getParamNormalized(iplug::kVST3BypassParamID), 1.0);
  EXPECT_TRUE(u->GetBypassed()); // at once: saved again before processing, the switch must not be lost
  EXPECT_EQ(u->changes.size(), static_cast<size_t>(kNumTestParams));

  // Refused: without the trailing flag, every truncation, nothing, no stream. A refusal changes nothing.
  TestInstance v;
  v->setParamNormalized(kTestGain, 0.25);
  const std::vector<uint8_t> before = StateOf(v.plug);
  for (size_t n = 0; n < state.size() - 4; n += 5)
  {
    EXPECT_EQ(Load(v.plug, std::vector<uint8_t>(state.begin(), state.begin() + static_cast<long>(n))), kResultFalse);
    ASSERT_EQ(StateOf(v.plug), before) << n;
  }
  EXPECT_EQ(Load(v.plug, std::vector<uint8_t>(state.begin(), state.end() - 4)), kResultFalse);
  EXPECT_EQ(StateOf(v.plug), before);
  EXPECT_EQ(v->setState(nullptr), kResultFalse);
  EXPECT_EQ(v->getState(nullptr), kResultFalse);

  // Streams that report failed reads: read on only for WaveLab.
  FailingReadStream s1(const_cast<uint8_t*>(state.data()), static_cast<TSize>(state.size()));
  EXPECT_EQ(v->setState(&s1), kResultFalse);
  NamedHost wavelab("WaveLab Pro 11");
  TestInstance w({}, &wavelab);
  FailingReadStream s2(const_cast<uint8_t*>(state.data()), static_cast<TSize>(state.size()));
  EXPECT_EQ(w->setState(&s2), kResultOk);
  EXPECT_DOUBLE_EQ(w->GetParam(kTestSteps)->Value(), 9.0);
}

TEST(IPlugVST3Lifecycle, LatencyChangeReachesTheHostFromTheMainThread)
{
  RunLoop loop;
  NamedHost host("Test Host", &loop);
  TestInstance t({}, &host);
  t.Start(kSample64);
  t.handler->Clear();

  // Set while processing: stored at once, reported on the next timer tick, once.
  t->latencyToSet = 64;
  t.Automate({});
  EXPECT_EQ(t->getLatencySamples(), 64u);
  EXPECT_TRUE(t.handler->Restarts().empty());
  loop.Fire();
  loop.Fire();
  EXPECT_EQ(t.handler->Restarts(), (std::vector<int32>{kLatencyChanged}));

  // A host without a run loop hears of it at its next main-thread call.
  TestInstance v;
  v.Start(kSample64);
  v.handler->Clear();
  v->latencyToSet = 32;
  v.Automate({});
  v->setParamNormalized(kTestGain, 0.5);
  EXPECT_EQ(v.handler->Restarts(), (std::vector<int32>{kLatencyChanged}));
}

TEST(IPlugVST3Lifecycle, TrackInformationProgramsAndEditorSize)
{
  TestInstance t;
  HostAttributeList list;
  list.setInt(ChannelContext::kChannelNameLengthKey, 5);
  list.setString(ChannelContext::kChannelNameKey, STR16("Drums"));
  list.setInt(ChannelContext::kChannelColorKey, 0xFF336699);
  list.setString(ChannelContext::kChannelIndexNamespaceKey, STR16("Mixer")); // no length given
  ASSERT_EQ(t->setChannelContextInfos(&list), kResultOk);
  WDL_String name;
  t->GetTrackName(name);
  EXPECT_STREQ(name.Get(), "Drums");
  t->GetTrackNamespace(name);
  EXPECT_STREQ(name.Get(), "Mixer");
  int r = 0, g = 0, b = 0;
  t->GetTrackColor(r, g, b);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0x33, 0x66, 0x99}));

  // A length the host got wrong reads no further than the buffer it implies.
  HostAttributeList liar;
  liar.setInt(ChannelContext::kChannelNameLengthKey, 2);
  liar.setString(ChannelContext::kChannelNameKey, STR16("Overlong"));
  liar.setInt(ChannelContext::kChannelUIDLengthKey, 1LL << 40);
  liar.setString(ChannelContext::kChannelUIDKey, STR16("uid"));
  ASSERT_EQ(t->setChannelContextInfos(&liar), kResultOk);
  t->GetTrackName(name);
  EXPECT_STREQ(name.Get(), "Ov");
  EXPECT_EQ(t->setChannelContextInfos(nullptr), kResultFalse);

  String128 program{};
  EXPECT_EQ(t->getProgramListCount(), 0);
  ASSERT_EQ(t->getProgramName(iplug::kVST3PresetParamID, 0, program), kResultOk);
  EXPECT_EQ(Str(program), "empty");
  EXPECT_EQ(t->getProgramName(0, 0, program), kResultFalse);

  EXPECT_TRUE(t->EditorResize(640, 480));
  EXPECT_EQ(t->GetEditorWidth(), 640);
}

// --- the class factory, with this suite's plug-in as the module's class ----------------------------------

namespace
{
bool sFailConstruction = false;
}

iplug::IPlugVST3* iplug::MakePlug(const InstanceInfo&)
{
  if (sFailConstruction)
    throw std::runtime_error("no");
  return new TestPlugVST3();
}

TEST(IPlugVST3Lifecycle, ClassFactory)
{
  const iplug::VST3ClassDescription desc = {"Quillmere", "https://q.example",   "t@q.example",        "TestPlug", "Fx",
                                            "1.0.0",     iplug::FourCC("Qlmr"), iplug::FourCC("TsPl")};
  IPluginFactory* factory = iplug::GetVST3PluginFactory(desc, iplug::CreateVST3Instance);
  IPluginFactory* again = iplug::GetVST3PluginFactory(desc, iplug::CreateVST3Instance);
  ASSERT_EQ(factory, again);
  EXPECT_EQ(again->release(), 1u);
  EXPECT_EQ(factory->countClasses(), 1);

  TUID cid;
  iplug::MakeVST3ClassID(iplug::FourCC("Qlmr"), iplug::FourCC("TsPl"), cid);
  const uint8_t expected[16] = {0xF2, 0xAE, 0xE7, 0x0D, 0x00, 0xDE, 0x4F, 0x4E, 'Q', 'l', 'm', 'r', 'T', 's', 'P', 'l'};
  EXPECT_EQ(std::memcmp(cid, expected, 16), 0);

  FUnknown* obj = nullptr;
  ASSERT_EQ(factory->createInstance(cid, IEditController::iid, reinterpret_cast<void**>(&obj)), kResultOk);
  ASSERT_NE(dynamic_cast<TestPlugVST3*>(obj), nullptr);
  EXPECT_EQ(obj->release(), 0u);

  // A constructor that throws gives the host no instance and no exception.
  sFailConstruction = true;
  obj = nullptr;
  EXPECT_NE(factory->createInstance(cid, IComponent::iid, reinterpret_cast<void**>(&obj)), kResultOk);
  EXPECT_EQ(obj, nullptr);
  sFailConstruction = false;

  EXPECT_EQ(factory->release(), 0u);
  EXPECT_EQ(gPluginFactory, nullptr);
}
