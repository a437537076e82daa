// Buses as a host scans and arranges them: every media type and direction, invalid indices, activation, the
// arrangements in agreement with the bus information, and every supported and several unsupported layouts.

#include "Conformance.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <cstring>

using namespace conformance;

namespace
{
using Arrs = std::vector<SpeakerArrangement>;
constexpr SpeakerArrangement kM = SpeakerArr::kMono;
constexpr SpeakerArrangement kS = SpeakerArr::kStereo;

struct Layout
{
  Arrs in, out;
};

// The plug-in's eight channel layouts as speaker arrangements.
const std::vector<Layout> kSupported = {{{kM}, {kM}},     {{kM, kM}, {kM}}, {{kM, kS}, {kM}}, {{kM, kS}, {kS}},
                                        {{kS, kM}, {kM}}, {{kS, kM}, {kS}}, {{kS}, {kS}},     {{kS, kS}, {kS}}};

tresult Arrange(Instance& plug, Arrs in, Arrs out)
{
  return plug.processor->setBusArrangements(in.data(), static_cast<int32>(in.size()), out.data(),
                                            static_cast<int32>(out.size()));
}

Arrs Current(Instance& plug, BusDirection dir)
{
  Arrs arrs;
  for (int32 i = 0; i < plug.component->getBusCount(kAudio, dir); i++)
  {
    SpeakerArrangement arr = 0;
    EXPECT_EQ(plug.processor->getBusArrangement(dir, i, arr), kResultOk);
    arrs.push_back(arr);
  }
  return arrs;
}

// Every bus's information is complete, stable between calls and in agreement with its arrangement.
void ExpectConsistentBuses(Instance& plug)
{
  for (auto dir : {kInput, kOutput})
  {
    const int32 n = plug.component->getBusCount(kAudio, dir);
    for (int32 i = 0; i < n; i++)
    {
      BusInfo a{}, b{};
      ASSERT_EQ(plug.component->getBusInfo(kAudio, dir, i, a), kResultOk);
      ASSERT_EQ(plug.component->getBusInfo(kAudio, dir, i, b), kResultOk);
      EXPECT_EQ(std::memcmp(&a, &b, sizeof(a)), 0);
      EXPECT_EQ(a.mediaType, kAudio);
      EXPECT_EQ(a.direction, dir);
      EXPECT_FALSE(Str(a.name).empty());
      SpeakerArrangement arr = 0;
      ASSERT_EQ(plug.processor->getBusArrangement(dir, i, arr), kResultOk);
      EXPECT_EQ(SpeakerArr::getChannelCount(arr), a.channelCount);
      EXPECT_GT(a.channelCount, 0);
      // The first bus is the main one and on by default; further ones are auxiliary (a side-chain) and off.
      EXPECT_EQ(a.busType, i == 0 ? kMain : kAux);
      EXPECT_EQ((a.flags & BusInfo::kDefaultActive) != 0, i == 0);
    }
  }
}
} // namespace

TEST(ConformanceBuses, ScanEveryMediaTypeAndDirection)
{
  Instance plug;
  EXPECT_EQ(plug.component->getBusCount(kAudio, kInput), 2);
  EXPECT_EQ(plug.component->getBusCount(kAudio, kOutput), 1);
  EXPECT_EQ(plug.component->getBusCount(kEvent, kInput), 0);
  EXPECT_EQ(plug.component->getBusCount(kEvent, kOutput), 0);
  ExpectConsistentBuses(plug);

  BusInfo info{};
  ASSERT_EQ(plug.component->getBusInfo(kAudio, kInput, 0, info), kResultOk);
  EXPECT_EQ(Str(info.name), "Main");
  ASSERT_EQ(plug.component->getBusInfo(kAudio, kInput, 1, info), kResultOk);
  EXPECT_EQ(Str(info.name), "Aux");
  ASSERT_EQ(plug.component->getBusInfo(kAudio, kOutput, 0, info), kResultOk);
  EXPECT_EQ(Str(info.name), "Output");

  // Invalid indices, media types and directions are refused everywhere, and activation of what is not there too.
  SpeakerArrangement arr = 0;
  for (int32 bad : {-1, 2, 100})
  {
    EXPECT_NE(plug.component->getBusInfo(kAudio, kInput, bad, info), kResultOk) << bad;
    EXPECT_NE(plug.component->activateBus(kAudio, kInput, bad, true), kResultOk) << bad;
    EXPECT_NE(plug.processor->getBusArrangement(kInput, bad, arr), kResultOk) << bad;
  }
  EXPECT_NE(plug.component->getBusInfo(kAudio, kOutput, 1, info), kResultOk);
  EXPECT_NE(plug.processor->getBusArrangement(kOutput, 1, arr), kResultOk);
  EXPECT_NE(plug.component->getBusInfo(kEvent, kInput, 0, info), kResultOk);
  EXPECT_NE(plug.component->activateBus(kEvent, kInput, 0, true), kResultOk);
  EXPECT_EQ(plug.component->getBusCount(kNumMediaTypes, kInput), 0);
  EXPECT_NE(plug.component->getBusInfo(kNumMediaTypes, kInput, 0, info), kResultOk);
  EXPECT_EQ(plug.component->getBusCount(kAudio, 7), 0);
  EXPECT_NE(plug.processor->getBusArrangement(7, 0, arr), kResultOk);

  // Valid activation both ways.
  for (auto [dir, n] : {std::pair{kInput, 2}, std::pair{kOutput, 1}})
    for (int32 i = 0; i < n; i++)
    {
      EXPECT_EQ(plug.component->activateBus(kAudio, dir, i, true), kResultOk);
      EXPECT_EQ(plug.component->activateBus(kAudio, dir, i, false), kResultOk);
    }

  // No routing between buses is claimed, or what is claimed exists.
  RoutingInfo in{kAudio, 0, 0}, out{};
  if (plug.component->getRoutingInfo(in, out) == kResultOk)
  {
    EXPECT_LT(out.busIndex, plug.component->getBusCount(out.mediaType, kOutput));
    EXPECT_GE(out.channel, -1);
  }
}

TEST(ConformanceBuses, EverySupportedLayoutIsAcceptedAndProcessed)
{
  Instance plug;
  for (const auto& layout : kSupported)
  {
    SCOPED_TRACE(::testing::Message() << layout.in.size() << " in, first " << layout.in[0] << ", out "
                                      << layout.out[0]);
    ASSERT_EQ(Arrange(plug, layout.in, layout.out), kResultOk);
    EXPECT_EQ(Current(plug, kInput), layout.in);
    EXPECT_EQ(Current(plug, kOutput), layout.out);
    ExpectConsistentBuses(plug);
    BusInfo info{};
    if (layout.in.size() == 1)
    {
      ASSERT_EQ(plug.component->getBusInfo(kAudio, kInput, 0, info), kResultOk);
      EXPECT_EQ(Str(info.name), "Input");
    }

    // Processed with the side-chain on and off, host bypass off and on: the host bypass passes the main input.
    ASSERT_EQ(plug.Setup(kSample32, 64), kResultOk);
    for (bool sidechain : {false, true})
    {
      if (layout.in.size() > 1)
      {
        ASSERT_EQ(plug.component->activateBus(kAudio, kInput, 1, sidechain), kResultOk);
      }
      ASSERT_TRUE(plug.Start());
      Block<float> block(plug, 64);
      block.Signal();
      ParameterChanges changes;
      for (double bypass : {0.0, 1.0})
      {
        changes.Clear();
        changes.Add(kHostBypassID, 0, bypass);
        ProcessData& data = block.Data(64);
        data.inputParameterChanges = &changes;
        ASSERT_EQ(plug.processor->process(data), kResultOk);
        EXPECT_TRUE(block.OutputFinite(64));
      }
      EXPECT_EQ(block.out.data[0][0], block.in.data[0][0]);
      if (layout.in[0] == kS && layout.out[0] == kS)
      {
        EXPECT_EQ(block.out.data[0][1], block.in.data[0][1]);
      }
      changes.Clear();
      changes.Add(kHostBypassID, 0, 0.0);
      block.Data(64).inputParameterChanges = &changes;
      plug.processor->process(block.data);
      plug.Stop();
    }
  }
}

TEST(ConformanceBuses, UnsupportedLayoutsAreRefusedAndChangeNothing)
{
  Instance plug;
  ASSERT_EQ(Arrange(plug, {kM, kM}, {kM}), kResultOk);
  const std::vector<Layout> unsupported = {
      {{kS, kS}, {kM}},
      {{kM}, {kS}},
      {{kS}, {kM}},
      {{SpeakerArr::k51}, {SpeakerArr::k51}},
      {{kS, kS, kS}, {kS}},
      {{kS, kS}, {kS, kS}},
      {{}, {kS}},
      {{kS}, {}},
      {{}, {}},
      {{SpeakerArr::kEmpty}, {kS}},
      {{kS, SpeakerArr::kEmpty}, {SpeakerArr::kEmpty}},
  };
  for (const auto& layout : unsupported)
  {
    Arrs in = layout.in, out = layout.out;
    EXPECT_NE(Arrange(plug, in, out), kResultOk) << in.size() << " inputs, " << out.size() << " outputs";
    EXPECT_EQ(Current(plug, kInput), (Arrs{kM, kM}));
    EXPECT_EQ(Current(plug, kOutput), (Arrs{kM}));
  }
  // Null arrays with counts are refused without being read.
  EXPECT_NE(plug.processor->setBusArrangements(nullptr, 2, nullptr, 1), kResultOk);
  EXPECT_EQ(Current(plug, kInput), (Arrs{kM, kM}));
  ExpectConsistentBuses(plug);

  // The unchanged layout still processes.
  ASSERT_EQ(plug.Setup(kSample64, 32), kResultOk);
  ASSERT_TRUE(plug.Start());
  Block<double> block(plug, 32);
  block.Signal();
  EXPECT_EQ(plug.processor->process(block.Data(32)), kResultOk);
  EXPECT_TRUE(block.OutputFinite(32));
}

namespace
{
// One block of the test signal with the host bypass on; returns output bus 0.
template <typename T> std::vector<std::vector<T>> BypassedBlock(Instance& plug)
{
  ParameterChanges changes;
  changes.Add(kHostBypassID, 0, 1.0);
  EXPECT_TRUE(plug.Start());
  Block<T> block(plug, 64);
  block.Signal();
  ProcessData& data = block.Data(64);
  data.inputParameterChanges = &changes;
  EXPECT_EQ(plug.processor->process(data), kResultOk);
  plug.Stop();
  return block.out.data[0];
}
} // namespace

TEST(ConformanceBuses, ChannelsALayoutNoLongerHasReadSilence)
{
  // Stereo processed, then mono main input with stereo output: the main input's second channel is gone, and the
  // host bypass copies it to the right output. It must read as silence, not as the last stereo block.
  {
    Instance plug;
    ASSERT_EQ(plug.Setup(kSample32, 64), kResultOk);
    BypassedBlock<float>(plug);
    ASSERT_EQ(Arrange(plug, {kM, kS}, {kS}), kResultOk);
    plug.ActivateDefaultBuses();
    EXPECT_EQ(BypassedBlock<float>(plug)[1], std::vector<float>(64, 0.f));
  }
  {
    Instance plug;
    ASSERT_EQ(plug.Setup(kSample64, 64), kResultOk);
    BypassedBlock<double>(plug);
    ASSERT_EQ(Arrange(plug, {kM, kS}, {kS}), kResultOk);
    plug.ActivateDefaultBuses();
    EXPECT_EQ(BypassedBlock<double>(plug)[1], std::vector<double>(64, 0.0));
  }
}
