// The hosting library in-process: loading, parameters, processing, state and restarts against the test module.
#include "HostedPlugin.h"
#include "TestGainIDs.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace brevant::host;

namespace
{

std::shared_ptr<HostModule> LoadTestModule()
{
  std::string error;
  auto module = HostModule::Load(TESTGAIN_BUNDLE, error);
  EXPECT_TRUE(module) << error;
  return module;
}

std::unique_ptr<HostedPlugin> CreatePlug(const std::string& className = "TestGain")
{
  auto module = LoadTestModule();
  if (!module)
    return nullptr;
  std::string error;
  const ClassInfo* cls = module->FindClass(className);
  EXPECT_NE(cls, nullptr);
  auto plug = cls ? HostedPlugin::Create(module, *cls, error) : nullptr;
  EXPECT_TRUE(plug) << error;
  return plug;
}

template <typename T> struct Block
{
  Block(int channels, int frames, double start = 0.0)
      : data(static_cast<size_t>(channels), std::vector<T>(static_cast<size_t>(frames)))
  {
    for (size_t c = 0; c < data.size(); ++c)
    {
      for (size_t i = 0; i < data[c].size(); ++i)
        data[c][i] = static_cast<T>(std::sin(start + 0.01 * static_cast<double>(i) * static_cast<double>(c + 1)));
      ptrs.push_back(data[c].data());
    }
  }
  std::vector<std::vector<T>> data;
  std::vector<T*> ptrs;
};

constexpr double kMinus6dB = 0.50118723362727224; // 10^(-6/20)

TEST(HostModule, LoadsBundleFolderOrLibraryAndReportsFailures)
{
  std::string error;
  auto module = HostModule::Load(TESTGAIN_BUNDLE, error);
  ASSERT_TRUE(module) << error;
  EXPECT_EQ(module->Classes().size(), 3u);
  EXPECT_EQ(module->AudioEffects().size(), 2u);
  EXPECT_EQ(module->FindClass("testgain split")->index, 1);
  EXPECT_EQ(ClassIdString(module->Classes()[0].cid), "7E570001-3A1B4C2D-8E9FA0B1-C2D3E4F5");
  EXPECT_EQ(module->Host().kName, std::string("brevant-host"));

  EXPECT_TRUE(HostModule::Load(TESTGAIN_LIBRARY, error)) << error;
  EXPECT_FALSE(HostModule::Load(TESTGAIN_BUNDLE "/missing.vst3", error));
  EXPECT_NE(error.find("not found"), std::string::npos);
  EXPECT_FALSE(HostModule::Load(NOENTRY_BUNDLE, error));
  EXPECT_NE(error.find("does not export ModuleEntry, ModuleExit, GetPluginFactory"), std::string::npos) << error;
}

TEST(HostedPlugin, DescribesBusesAndParameters)
{
  auto plug = CreatePlug();
  ASSERT_TRUE(plug);
  EXPECT_TRUE(plug->IsSingleComponent());
  const auto ins = plug->Buses(kAudio, kInput);
  ASSERT_EQ(ins.size(), 2u);
  EXPECT_EQ(ins[1].name, "Sidechain");
  EXPECT_FALSE(ins[1].isMain);
  EXPECT_EQ(ins[0].arrangement, SpeakerArr::kStereo);

  const auto params = plug->Params();
  ASSERT_EQ(params.size(), 3u);
  EXPECT_EQ(params[0].units, "dB");
  EXPECT_EQ(params[2].stepCount, testgain::kMaxLatency);
  EXPECT_EQ(plug->FindParam("LATENCY")->id, testgain::kLatencyId);
  EXPECT_FALSE(plug->FindParam("Gain2"));
  EXPECT_DOUBLE_EQ(plug->PlainToNormalized(testgain::kGainId, 100.0), 1.0) << "clamped";
  EXPECT_DOUBLE_EQ(plug->NormalizedToPlain(testgain::kGainId, 0.0), testgain::kMinGainDb);
}

TEST(HostedPlugin, ProcessesFloatBlocksWithParameterChanges)
{
  auto plug = CreatePlug();
  ASSERT_TRUE(plug);
  ASSERT_TRUE(plug->SetParamPlain(testgain::kGainId, -6.0));
  EXPECT_DOUBLE_EQ(plug->GetParamNormalized(testgain::kGainId), 54.0 / 72.0);
  ASSERT_TRUE(plug->Setup(48000.0, 256));
  ASSERT_TRUE(plug->Start());
  Block<float> in(2, 200), out(2, 200);
  ASSERT_TRUE(plug->Process(200, in.ptrs, out.ptrs));
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 200; i += 37)
      EXPECT_FLOAT_EQ(out.data[c][i], static_cast<float>(kMinus6dB * in.data[c][i]));

  // Automation inside a block: the plug-in applies the queue's last point.
  ASSERT_TRUE(plug->QueueParamChange(testgain::kGainId, 0.0, 10));
  ASSERT_TRUE(plug->QueueParamChange(testgain::kGainId, 60.0 / 72.0, 50)); // 0 dB
  ASSERT_TRUE(plug->Process(200, in.ptrs, out.ptrs));
  EXPECT_FLOAT_EQ(out.data[0][5], in.data[0][5]);

  // Refusals: wrong sample type, oversized block, negative offsets.
  Block<double> din(2, 10), dout(2, 10);
  EXPECT_FALSE(plug->Process(10, din.ptrs, dout.ptrs));
  EXPECT_FALSE(plug->Process(257, in.ptrs, out.ptrs));
  EXPECT_FALSE(plug->QueueParamChange(testgain::kGainId, 0.5, -1));
  plug->Stop();
  EXPECT_FALSE(plug->Process(10, in.ptrs, out.ptrs)) << "not started";
}

TEST(HostedPlugin, ProcessesDoubleBlocksWithSidechainAndMissingChannels)
{
  auto plug = CreatePlug();
  ASSERT_TRUE(plug);
  ASSERT_TRUE(plug->SetBusArrangements({SpeakerArr::kStereo, SpeakerArr::kMono}, {SpeakerArr::kStereo}));
  ASSERT_TRUE(plug->ActivateBus(kAudio, kInput, 1, true));
  ASSERT_TRUE(plug->Setup(44100.0, 64, kSample64, kOffline));
  ASSERT_TRUE(plug->Start());
  Block<double> in(2, 64), sc(1, 64, 1.0), out(2, 64);
  ASSERT_TRUE(plug->Process(64, in.ptrs, out.ptrs, sc.ptrs));
  for (int c = 0; c < 2; ++c)
    EXPECT_NEAR(out.data[c][20], in.data[c][20] + sc.data[0][20], 1e-12);

  // Channels the caller leaves out are silent inputs; a missing side-chain is silence too.
  std::vector<double*> oneIn = {in.ptrs[0]};
  ASSERT_TRUE(plug->Process(64, oneIn, out.ptrs));
  EXPECT_NEAR(out.data[0][20], in.data[0][20], 1e-12);
  EXPECT_EQ(out.data[1][20], 0.0);
  // A zero-length block only delivers parameters.
  ASSERT_TRUE(plug->SetParamPlain(testgain::kBypassId, 1.0));
  ASSERT_TRUE(plug->Process(0, std::span<double* const>(), std::span<double* const>()));
  ASSERT_TRUE(plug->Process(64, in.ptrs, out.ptrs, sc.ptrs));
  EXPECT_DOUBLE_EQ(out.data[1][20], in.data[1][20]) << "bypassed";
  EXPECT_EQ(plug->Context().projectTimeSamples, 192);
}

TEST(HostedPlugin, LatencyChangeIsReportedAndReadAgain)
{
  auto plug = CreatePlug();
  ASSERT_TRUE(plug);
  uint32 latency = 99;
  EXPECT_FALSE(plug->TakeLatencyChange(latency));
  ASSERT_TRUE(plug->SetParamPlain(testgain::kLatencyId, 8.0));
  EXPECT_EQ(plug->Handler().RestartCount(kLatencyChanged), 1);
  ASSERT_TRUE(plug->TakeLatencyChange(latency));
  EXPECT_EQ(latency, 8u);
  EXPECT_FALSE(plug->TakeLatencyChange(latency)) << "reported once";

  ASSERT_TRUE(plug->Setup(48000.0, 32));
  ASSERT_TRUE(plug->Start());
  Block<float> in(2, 32), out(2, 32);
  ASSERT_TRUE(plug->Process(32, in.ptrs, out.ptrs));
  EXPECT_EQ(out.data[0][7], 0.0f);
  EXPECT_FLOAT_EQ(out.data[0][8], in.data[0][0]) << "the host compensates nothing";
}

TEST(HostedPlugin, ForwardsControllerEditsToTheProcessor)
{
  auto plug = CreatePlug();
  ASSERT_TRUE(plug);
  ASSERT_TRUE(plug->Setup(48000.0, 16));
  ASSERT_TRUE(plug->Start());
  // As if the plug-in's editor had moved the gain to -60 dB.
  plug->Handler().beginEdit(testgain::kGainId);
  plug->Handler().performEdit(testgain::kGainId, 0.0);
  plug->Handler().endEdit(testgain::kGainId);
  Block<float> in(2, 16), out(2, 16);
  ASSERT_TRUE(plug->Process(16, in.ptrs, out.ptrs));
  EXPECT_NEAR(out.data[0][10], 0.001 * in.data[0][10], 1e-7);
  const auto edits = plug->Handler().Edits();
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_EQ(edits[1].kind, ComponentHandler::EEdit::kPerform);
}

TEST(HostedPlugin, StateRoundTripsBetweenInstances)
{
  auto a = CreatePlug();
  ASSERT_TRUE(a);
  a->SetParamPlain(testgain::kGainId, -12.0);
  a->SetParamPlain(testgain::kLatencyId, 3.0);
  ASSERT_TRUE(a->Setup(48000.0, 8) && a->Start());
  Block<float> in(2, 8), out(2, 8);
  ASSERT_TRUE(a->Process(8, in.ptrs, out.ptrs));
  std::vector<std::uint8_t> state;
  ASSERT_TRUE(a->GetState(state));

  auto b = CreatePlug();
  ASSERT_TRUE(b);
  ASSERT_TRUE(b->SetState(state));
  EXPECT_DOUBLE_EQ(b->GetParamNormalized(testgain::kGainId), a->GetParamNormalized(testgain::kGainId));
  EXPECT_EQ(b->LatencySamples(), 3u);

  // A truncated state is refused and leaves the instance as it was.
  state.resize(state.size() - 3);
  EXPECT_FALSE(b->SetState(state));
  EXPECT_FALSE(b->LastError().empty());
  EXPECT_EQ(b->LatencySamples(), 3u);
  EXPECT_FALSE(b->SetState({}));
}

TEST(HostedPlugin, SeparateControllerIsCreatedConnectedAndSynchronised)
{
  auto plug = CreatePlug("TestGain Split");
  ASSERT_TRUE(plug);
  EXPECT_FALSE(plug->IsSingleComponent());
  ASSERT_NE(plug->Controller(), nullptr);
  EXPECT_EQ(plug->Params().size(), 3u);

  // The component's state reaches the controller.
  auto single = CreatePlug();
  single->SetParamPlain(testgain::kGainId, 6.0);
  single->Setup(48000.0, 8);
  single->Start();
  Block<float> in(2, 8), out(2, 8);
  single->Process(8, in.ptrs, out.ptrs);
  std::vector<std::uint8_t> state;
  ASSERT_TRUE(single->GetState(state));
  ASSERT_TRUE(plug->SetState(state));
  EXPECT_DOUBLE_EQ(plug->GetParamNormalized(testgain::kGainId), 66.0 / 72.0);

  // The processor only does 32-bit; on activation it messages its controller, which asks for a restart.
  EXPECT_FALSE(plug->Setup(48000.0, 8, kSample64));
  EXPECT_NE(plug->LastError().find("64-bit"), std::string::npos);
  ASSERT_TRUE(plug->Setup(48000.0, 8, kSample32));
  ASSERT_TRUE(plug->Start());
  EXPECT_EQ(plug->Handler().RestartCount(kParamValuesChanged), 1);
  ASSERT_TRUE(plug->Process(8, in.ptrs, out.ptrs));
  EXPECT_FLOAT_EQ(out.data[0][4], static_cast<float>(std::pow(10.0, 6.0 / 20.0) * in.data[0][4]));
}

TEST(ParameterChanges, KeepsPointsOrderedAndQueuesReusable)
{
  ParameterChanges changes(1);
  ASSERT_TRUE(changes.Add(7, 30, 0.3));
  ASSERT_TRUE(changes.Add(7, 10, 0.1));
  ASSERT_TRUE(changes.Add(7, 30, 0.35)); // same offset: replaced
  ASSERT_TRUE(changes.Add(9, 0, 1.0));   // grows past the reservation
  EXPECT_FALSE(changes.Add(9, -1, 1.0));
  ASSERT_EQ(changes.getParameterCount(), 2);
  auto* q = changes.getParameterData(0);
  ASSERT_EQ(q->getPointCount(), 2);
  int32 offset = 0;
  ParamValue value = 0;
  ASSERT_EQ(q->getPoint(1, offset, value), kResultTrue);
  EXPECT_EQ(offset, 30);
  EXPECT_DOUBLE_EQ(value, 0.35);
  EXPECT_EQ(q->getPoint(2, offset, value), kResultFalse);
  EXPECT_EQ(changes.getParameterData(2), nullptr);

  changes.Clear();
  EXPECT_EQ(changes.getParameterCount(), 0);
  int32 index = -1;
  auto* reused = changes.addParameterData(3, index);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(reused->getParameterId(), 3u);
  EXPECT_EQ(reused->getPointCount(), 0);
}

} // namespace
