// The built bundle end to end, hosted as a DAW hosts it: every channel layout of the I/O table, the side-chain bus
// switched on and off, the plug-in's own bypass, and what reaches the host's main thread (latency restarts and
// meter readings through the run loop).

#include "ChainHarness.h"
#include "HostedPlugin.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace brevant::host;

namespace
{

constexpr int kFrames = 4096;
constexpr int kBlock = 256;

std::unique_ptr<HostedPlugin> LoadBrevant()
{
  std::string error;
  auto module = HostModule::Load(BREVANT_BUNDLE_DIR, error);
  EXPECT_TRUE(module) << error;
  auto plug = module ? HostedPlugin::Create(module, error) : nullptr;
  EXPECT_TRUE(plug) << error;
  return plug;
}

SpeakerArrangement Arr(int channels) { return channels == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo; }

struct Render
{
  std::vector<std::vector<double>> out;
  int latency = 0;
};

// Renders kFrames of test signal through a layout "in[.sc]-out"; sc = 0 means no side-chain bus requested,
// scActive false leaves a requested side-chain bus inactive.
Render RenderLayout(int in, int sc, int out, bool scActive, std::vector<std::pair<int, double>> params,
                    bool loudSidechain = true)
{
  Render r;
  auto plug = LoadBrevant();
  if (!plug)
    return r;
  std::vector<SpeakerArrangement> ins{Arr(in)};
  if (sc)
    ins.push_back(Arr(sc));
  EXPECT_TRUE(plug->SetBusArrangements(ins, {Arr(out)})) << in << "." << sc << "-" << out;
  EXPECT_EQ(plug->BusChannels(kInput, 0), in);
  EXPECT_EQ(plug->BusChannels(kOutput, 0), out);
  if (sc)
  {
    EXPECT_TRUE(plug->ActivateBus(kAudio, kInput, 1, scActive));
  }
  for (auto& [idx, v] : params)
    EXPECT_TRUE(plug->SetParamPlain(static_cast<ParamID>(idx), v));
  EXPECT_TRUE(plug->Setup(48000.0, kBlock, kSample64));
  EXPECT_TRUE(plug->Start());

  std::vector<std::vector<double>> inputs, sidechain;
  for (int c = 0; c < in; c++)
    inputs.push_back(chaintest::TestSignal(kFrames, 48000.0, 11 + static_cast<uint64_t>(c)));
  for (int c = 0; c < sc; c++)
    sidechain.push_back(loudSidechain ? chaintest::TestSignal(kFrames, 48000.0, 21 + static_cast<uint64_t>(c))
                                      : std::vector<double>(kFrames, 0.0));
  r.out.assign(static_cast<size_t>(out), std::vector<double>(kFrames));
  for (int pos = 0; pos < kFrames; pos += kBlock)
  {
    std::vector<double*> i, s, o;
    for (auto& ch : inputs)
      i.push_back(ch.data() + pos);
    for (auto& ch : sidechain)
      s.push_back(ch.data() + pos);
    for (auto& ch : r.out)
      o.push_back(ch.data() + pos);
    EXPECT_TRUE(plug->Process(kBlock, i, o, s));
    plug->Idle(kBlock * 1000.0 / 48000.0);
  }
  uint32 latency = 0;
  r.latency = plug->TakeLatencyChange(latency) ? static_cast<int>(latency) : -1;
  plug->Stop();
  return r;
}

TEST(ChainHost, EveryLayoutOfTheTableProcesses)
{
  const std::vector<std::pair<int, double>> drive{{kLowInput, 25.0}, {kMidInput, 25.0}, {kHighInput, 20.0}};
  const Render stereo = RenderLayout(2, 0, 2, false, drive);
  const Render stereoScOff = RenderLayout(2, 2, 2, false, drive);
  const Render mono = RenderLayout(1, 0, 1, false, drive);
  ASSERT_EQ(stereo.out.size(), 2u);
  ASSERT_EQ(mono.out.size(), 1u);

  // Side-chain switches off: an inactive side-chain bus changes nothing.
  EXPECT_EQ(stereoScOff.out, stereo.out);
  // Mono processes its one channel.
  double peak = 0;
  for (double v : mono.out[0])
    peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 0.05);

  const int layouts[][3] = {{1, 1, 1}, {1, 2, 1}, {1, 2, 2}, {2, 1, 1}, {2, 1, 2}, {2, 2, 2}};
  for (auto& l : layouts)
  {
    const Render r = RenderLayout(l[0], l[1], l[2], true, drive);
    ASSERT_EQ(r.out.size(), static_cast<size_t>(l[2]));
    for (auto& ch : r.out)
      for (double v : ch)
        ASSERT_TRUE(std::isfinite(v)) << l[0] << "." << l[1] << "-" << l[2];
  }
}

TEST(ChainHost, SidechainBusFeedsTheDetectorsOnlyWhileActive)
{
  const std::vector<std::pair<int, double>> keyed{
      {kLowSidechain, 1.0}, {kMidSidechain, 1.0}, {kHighSidechain, 1.0}, {kLowInput, 30.0}, {kMidInput, 30.0}};
  const Render active = RenderLayout(2, 2, 2, true, keyed);
  const Render inactive = RenderLayout(2, 2, 2, false, keyed);
  const Render silent = RenderLayout(2, 2, 2, true, keyed, false);
  EXPECT_NE(active.out, inactive.out);
  // An inactive bus reads as silence.
  EXPECT_EQ(inactive.out, silent.out);
}

TEST(ChainHost, BypassAndMainThreadHandOver)
{
  auto plug = LoadBrevant();
  ASSERT_TRUE(plug);
  ASSERT_TRUE(plug->Setup(48000.0, kBlock, kSample64));
  ASSERT_TRUE(plug->SetParamPlain(kLowInput, 30.0));
  ASSERT_TRUE(plug->SetParamPlain(kOversampling, 1.0));
  ASSERT_TRUE(plug->Start());
  std::vector<double> l = chaintest::TestSignal(kBlock, 48000.0, 5), r = l, outL(kBlock), outR(kBlock);
  std::vector<double*> in{l.data(), r.data()}, out{outL.data(), outR.data()};

  // The latency follows the switch after the first block; the host hears of it on its main thread.
  uint32 latency = 0;
  ASSERT_TRUE(plug->Process(kBlock, in, out));
  EXPECT_EQ(plug->LatencySamples(), 64u);
  EXPECT_FALSE(plug->TakeLatencyChange(latency));
  for (int i = 0; i < 40; i++)
  {
    ASSERT_TRUE(plug->Process(kBlock, in, out));
    plug->Idle(kBlock * 1000.0 / 48000.0);
  }
  EXPECT_TRUE(plug->TakeLatencyChange(latency));
  EXPECT_EQ(latency, 64u);
  // The meters reach the controller, where the host reads them.
  EXPECT_LT(plug->GetParamNormalized(kLowMeter), 0.9);

  ASSERT_TRUE(plug->SetParamPlain(kBypass, 0.0));
  for (int i = 0; i < 4; i++)
  {
    ASSERT_TRUE(plug->Process(kBlock, in, out));
    plug->Idle(kBlock * 1000.0 / 48000.0);
  }
  EXPECT_EQ(outL, l);
  EXPECT_EQ(outR, r);
  EXPECT_TRUE(plug->TakeLatencyChange(latency));
  EXPECT_EQ(latency, 0u);
  for (ParamID id : {kLowMeter, kMidMeter, kHighMeter})
    EXPECT_EQ(plug->GetParamNormalized(id), 1.0);
}

} // namespace
