// Processing as validators and DAWs call it: every sample size, rate and block size, empty and partial process
// data, silence flags, block sizes that vary, automation at any offset, with and without a transport, in place.

#include "Conformance.h"

#include <cmath>
#include <random>

using namespace conformance;

namespace
{
// Runs the test signal through a fresh instance in blocks of the given sizes; returns output bus 0, channel by channel.
template <typename T>
std::vector<std::vector<T>> Render(const std::vector<int>& blockSizes, int maxBlock, bool withContext = true)
{
  Instance plug;
  EXPECT_EQ(plug.Setup(sizeof(T) == 4 ? kSample32 : kSample64, maxBlock, 44100.0), kResultOk);
  EXPECT_TRUE(plug.Start());
  Block<T> block(plug, maxBlock);
  ProcessContext context{};
  context.state = ProcessContext::kPlaying | ProcessContext::kTempoValid | ProcessContext::kProjectTimeMusicValid;
  context.tempo = 120.0;
  context.sampleRate = 44100.0;
  std::vector<std::vector<T>> out(block.out.data[0].size());
  int64_t pos = 0;
  for (int n : blockSizes)
  {
    block.Signal(pos);
    ProcessData& data = block.Data(n);
    context.projectTimeSamples = pos;
    data.processContext = withContext ? &context : nullptr;
    EXPECT_EQ(plug.processor->process(data), kResultOk);
    for (size_t c = 0; c < out.size(); c++)
      out[c].insert(out[c].end(), block.out.data[0][c].begin(), block.out.data[0][c].begin() + n);
    pos += n;
  }
  return out;
}
} // namespace

TEST(ConformanceProcessing, SetupForEverySampleSizeRateAndBlockSize)
{
  Instance plug;
  EXPECT_EQ(plug.processor->canProcessSampleSize(kSample32), kResultOk);
  EXPECT_EQ(plug.processor->canProcessSampleSize(kSample64), kResultOk);
  EXPECT_NE(plug.processor->canProcessSampleSize(2), kResultOk);
  EXPECT_NE(plug.processor->canProcessSampleSize(-1), kResultOk);
  EXPECT_NE(plug.Setup(2, 512), kResultOk);

  for (int32 size : {kSample32, kSample64})
    for (double rate : {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0})
      for (int32 maxBlock : {1, 64, 441, 1024, 4096, 8192})
      {
        SCOPED_TRACE(::testing::Message() << size << " " << rate << " " << maxBlock);
        ASSERT_EQ(plug.Setup(size, maxBlock, rate), kResultOk);
        ASSERT_TRUE(plug.Start());
        const int n = maxBlock;
        if (size == kSample32)
        {
          Block<float> block(plug, n);
          block.Signal();
          EXPECT_EQ(plug.processor->process(block.Data(n)), kResultOk);
          EXPECT_TRUE(block.OutputFinite(n));
        }
        else
        {
          Block<double> block(plug, n);
          block.Signal();
          EXPECT_EQ(plug.processor->process(block.Data(n)), kResultOk);
          EXPECT_TRUE(block.OutputFinite(n));
        }
        plug.Stop();
      }
  for (int32 mode : {kRealtime, kPrefetch, kOffline})
    EXPECT_EQ(plug.Setup(kSample32, 256, 44100.0, mode), kResultOk);
  EXPECT_EQ(plug.processor->getLatencySamples(), 0u);
  EXPECT_LT(plug.processor->getTailSamples(), 10u * 192000u) << "a tail of seconds at most";
}

TEST(ConformanceProcessing, EmptyAndPartialProcessData)
{
  Instance plug;
  ASSERT_EQ(plug.Setup(kSample32, 128), kResultOk);
  ASSERT_TRUE(plug.Start());

  // Zero frames with no buffers at all: a parameter flush. The changes still arrive.
  ParameterChanges changes;
  changes.Add(3, 0, 1.0);
  ProcessData flush;
  flush.symbolicSampleSize = kSample32;
  flush.numSamples = 0;
  flush.inputParameterChanges = &changes;
  const auto before = plug.State();
  EXPECT_EQ(plug.processor->process(flush), kResultOk);
  EXPECT_NE(plug.State(), before) << "the flushed change was applied";

  Block<float> block(plug, 128);
  block.Signal();
  // Zero (and fewer) frames with buffers; then nothing but outputs; then buses announced with null buffer tables.
  EXPECT_EQ(plug.processor->process(block.Data(0)), kResultOk);
  EXPECT_EQ(plug.processor->process(block.Data(-5)), kResultOk);
  ProcessData& outputsOnly = block.Data(128);
  outputsOnly.numInputs = 0;
  outputsOnly.inputs = nullptr;
  EXPECT_EQ(plug.processor->process(outputsOnly), kResultOk);
  EXPECT_TRUE(block.OutputFinite(128));

  std::vector<AudioBusBuffers> nullIn(2), nullOut(1);
  for (auto* buses : {&nullIn, &nullOut})
    for (auto& bus : *buses)
      bus.numChannels = 2;
  ProcessData nulls = block.Data(128);
  nulls.inputs = nullIn.data();
  nulls.outputs = nullOut.data();
  EXPECT_EQ(plug.processor->process(nulls), kResultOk);
  ProcessData noOutputs = block.Data(128);
  noOutputs.numOutputs = 0;
  noOutputs.outputs = nullptr;
  EXPECT_EQ(plug.processor->process(noOutputs), kResultOk);

  // A block larger than announced is still processed whole.
  Block<float> large(plug, 1000);
  large.Signal();
  EXPECT_EQ(plug.processor->process(large.Data(1000)), kResultOk);
  EXPECT_TRUE(large.OutputFinite(1000));
}

TEST(ConformanceProcessing, SilenceFlags)
{
  Instance plug;
  ASSERT_EQ(plug.Setup(kSample32, 256), kResultOk);
  ASSERT_TRUE(plug.Start());
  Block<float> block(plug, 256);

  for (int round = 0; round < 3; round++)
  {
    // Silent input, flagged silent; then real input with stale flags on the outputs.
    block.in.Fill(0.f);
    ProcessData& data = block.Data(256);
    for (int32 b = 0; b < data.numInputs; b++)
      data.inputs[b].silenceFlags = (uint64(1) << data.inputs[b].numChannels) - 1;
    data.outputs[0].silenceFlags = 0;
    ASSERT_EQ(plug.processor->process(data), kResultOk);
    const uint64 all = (uint64(1) << data.outputs[0].numChannels) - 1;
    EXPECT_EQ(data.outputs[0].silenceFlags & ~all, 0u) << "flags for channels that do not exist";

    block.Signal(round * 256);
    data = block.Data(256);
    data.outputs[0].silenceFlags = all;
    ASSERT_EQ(plug.processor->process(data), kResultOk);
    // A channel flagged silent must be silent.
    for (int32 c = 0; c < data.outputs[0].numChannels; c++)
    {
      if (data.outputs[0].silenceFlags & (uint64(1) << c))
      {
        for (float s : block.out.data[0][static_cast<size_t>(c)])
          ASSERT_EQ(s, 0.f) << "channel " << c << " flagged silent but is not";
      }
    }
    EXPECT_NE(data.outputs[0].silenceFlags, all) << "audible output flagged silent";
  }
}

TEST(ConformanceProcessing, BusesTheHostLeftOffGetSilence)
{
  // A host that passes buffers for a bus it never activated reads silence there, not what it left in them.
  Instance plug;
  ASSERT_EQ(plug.component->activateBus(kAudio, kOutput, 0, false), kResultOk);
  for (int32 size : {kSample32, kSample64})
  {
    ASSERT_EQ(plug.Setup(size, 64), kResultOk);
    ASSERT_TRUE(plug.Start());
    if (size == kSample32)
    {
      Block<float> block(plug, 64);
      block.Signal();
      block.out.Fill(0.5f);
      ASSERT_EQ(plug.processor->process(block.Data(64)), kResultOk);
      for (const auto& ch : block.out.data[0])
        EXPECT_EQ(ch, std::vector<float>(64, 0.f));
      EXPECT_EQ(block.data.outputs[0].silenceFlags, 3u);
    }
    else
    {
      Block<double> block(plug, 64);
      block.Signal();
      block.out.Fill(0.5);
      ASSERT_EQ(plug.processor->process(block.Data(64)), kResultOk);
      for (const auto& ch : block.out.data[0])
        EXPECT_EQ(ch, std::vector<double>(64, 0.0));
    }
    plug.Stop();
  }
}

TEST(ConformanceProcessing, BlockSizesThatVary)
{
  // The same signal cut into blocks of every size from 1 up to the maximum, in 32 and 64 bits, gives the same
  // output as fixed blocks, and the two sample sizes agree.
  std::mt19937 rng(7);
  std::vector<int> varied;
  int total = 0;
  for (int n = 1; n <= 512; n = n * 2 + 1)
  {
    varied.push_back(n);
    total += n;
  }
  while (total < 8192)
  {
    const int n = std::uniform_int_distribution<int>(0, 512)(rng);
    varied.push_back(n);
    total += n;
  }
  const std::vector<int> fixed(static_cast<size_t>(total / 512), 512);
  varied.push_back(total % 512 == 0 ? 0 : 512 - total % 512);
  const auto a64 = Render<double>(fixed, 512);
  const auto b64 = Render<double>(varied, 512);
  const auto a32 = Render<float>(fixed, 512);
  const auto b32 = Render<float>(varied, 512);
  ASSERT_EQ(a64.size(), b64.size());
  for (size_t c = 0; c < a64.size(); c++)
  {
    ASSERT_GE(b64[c].size(), a64[c].size());
    for (size_t i = 0; i < a64[c].size(); i++)
    {
      ASSERT_NEAR(a64[c][i], b64[c][i], 1e-9) << "channel " << c << " sample " << i;
      ASSERT_NEAR(a32[c][i], b32[c][i], 1e-6) << "channel " << c << " sample " << i;
      ASSERT_NEAR(a32[c][i], a64[c][i], 1e-5) << "channel " << c << " sample " << i;
    }
  }
  // Without a transport the audio is the same.
  const auto noContext = Render<double>(fixed, 512, false);
  EXPECT_EQ(noContext, a64);
}

TEST(ConformanceProcessing, AutomationAtAnyOffsetWithOrWithoutChangesEventsAndContext)
{
  Instance plug;
  ASSERT_EQ(plug.Setup(kSample64, 256, 96000.0), kResultOk);
  ASSERT_TRUE(plug.Start());
  Block<double> block(plug, 256);
  ParameterChanges changes;
  EventList events, outEvents;
  ParameterChanges outChanges;
  ProcessContext context{};
  std::mt19937 rng(3);

  for (int b = 0; b < 60; b++)
  {
    const int n = 1 + b * 4;
    block.Signal(b * 256);
    ProcessData& data = block.Data(n);
    changes.Clear();
    // Several points per parameter at offsets across the block, some at its very edges and one past it.
    for (ParamID id = 0; id < 31; id++)
      for (int32 offset : {0, n / 2, n - 1, n + 10})
        changes.Add(id, offset, std::uniform_real_distribution<double>(0.0, 1.0)(rng));
    // IDs that name nothing, and values no host should send.
    for (ParamID id : {31u, 0x10001u, 0x10002u, 0x7FFFFFFFu, 0xFFFFFFFFu})
      changes.Add(id, 0, 0.5);
    if (b % 5 == 4)
      changes.Add(static_cast<ParamID>(b % 31), 0, b % 2 ? NAN : 7.0);
    if (b % 4 != 3)
      data.inputParameterChanges = &changes;
    if (b % 3 == 0)
    {
      data.inputEvents = &events;
      data.outputEvents = &outEvents;
      data.outputParameterChanges = &outChanges;
    }
    if (b % 2 == 0)
    {
      context.state = b % 4 == 0 ? ProcessContext::kPlaying | ProcessContext::kTempoValid : 0;
      context.tempo = b % 8 == 0 ? 0.0 : 140.0;
      context.projectTimeSamples = -1000 + b * 100;
      data.processContext = &context;
    }
    ASSERT_EQ(plug.processor->process(data), kResultOk) << "block " << b;
    ASSERT_TRUE(block.OutputFinite(n)) << "block " << b;
  }

  // The last point of a queue is the value the plug-in keeps: the state follows it.
  Instance other;
  changes.Clear();
  changes.Add(4, 10, 0.9);
  changes.Add(4, 200, 0.25);
  ProcessData& data = block.Data(256);
  data.inputParameterChanges = &changes;
  ASSERT_EQ(other.Setup(kSample64, 256), kResultOk);
  ASSERT_TRUE(other.Start());
  ASSERT_EQ(other.processor->process(data), kResultOk);
  other.Stop();
  Instance reference;
  ASSERT_EQ(reference.controller->setParamNormalized(4, 0.25), kResultOk);
  EXPECT_EQ(other.State(), reference.State());
}

TEST(ConformanceProcessing, InPlaceAndInputsLeftAlone)
{
  // Hosts may hand the same buffers for input and output; and separate input buffers must come back untouched.
  for (int32 size : {kSample32, kSample64})
  {
    SCOPED_TRACE(size);
    Instance separate, inPlace;
    for (Instance* p : {&separate, &inPlace})
    {
      ASSERT_EQ(p->Setup(size, 256), kResultOk);
      ASSERT_TRUE(p->Start());
    }
    Block<double> a(separate, 256), b(inPlace, 256);
    Block<float> fa(separate, 256), fb(inPlace, 256);
    for (int blockIndex = 0; blockIndex < 8; blockIndex++)
    {
      if (size == kSample64)
      {
        a.Signal(blockIndex * 256);
        b.Signal(blockIndex * 256);
        const auto inputs = a.in.data;
        ASSERT_EQ(separate.processor->process(a.Data(256)), kResultOk);
        EXPECT_EQ(a.in.data, inputs);
        ProcessData& d = b.Data(256);
        d.outputs[0].channelBuffers64 = d.inputs[0].channelBuffers64;
        ASSERT_EQ(inPlace.processor->process(d), kResultOk);
        EXPECT_EQ(b.in.data[0], a.out.data[0]);
      }
      else
      {
        fa.Signal(blockIndex * 256);
        fb.Signal(blockIndex * 256);
        const auto inputs = fa.in.data;
        ASSERT_EQ(separate.processor->process(fa.Data(256)), kResultOk);
        EXPECT_EQ(fa.in.data, inputs);
        ProcessData& d = fb.Data(256);
        d.outputs[0].channelBuffers32 = d.inputs[0].channelBuffers32;
        ASSERT_EQ(inPlace.processor->process(d), kResultOk);
        EXPECT_EQ(fb.in.data[0], fa.out.data[0]);
      }
    }
  }
}

TEST(ConformanceProcessing, HostBypassPassesAudioDelayedByTheReportedLatency)
{
  // With and without the oversampling (which adds latency): once the host knows the latency, the host bypass
  // delays the input by exactly that much, so the host's delay compensation holds across the switch.
  for (double oversampling : {0.0, 1.0})
  {
    SCOPED_TRACE(oversampling);
    auto plug = OpenHosted();
    ASSERT_TRUE(plug);
    ASSERT_TRUE(plug->Setup(48000.0, 256, kSample64));
    ASSERT_TRUE(plug->Start());
    const auto param = plug->FindParam("Oversampling");
    ASSERT_TRUE(param);
    ASSERT_TRUE(plug->SetParamNormalized(param->id, oversampling));

    std::vector<double> inL, inR, outL, outR;
    std::vector<double> l(256), r(256), ol(256), or_(256);
    double* in[2] = {l.data(), r.data()};
    double* out[2] = {ol.data(), or_.data()};
    uint32 latency = 0;
    for (int b = 0; b < 12; b++)
    {
      if (b == 4)
      {
        ASSERT_TRUE(plug->SetParamNormalized(kHostBypassID, 1.0));
      }
      for (int i = 0; i < 256; i++)
      {
        l[static_cast<size_t>(i)] = TestSignal(0, b * 256 + i);
        r[static_cast<size_t>(i)] = TestSignal(1, b * 256 + i);
      }
      ASSERT_TRUE(plug->Process(256, in, out));
      plug->Idle(256 * 1000.0 / 48000.0);
      plug->TakeLatencyChange(latency);
      inL.insert(inL.end(), l.begin(), l.end());
      inR.insert(inR.end(), r.begin(), r.end());
      outL.insert(outL.end(), ol.begin(), ol.end());
      outR.insert(outR.end(), or_.begin(), or_.end());
    }
    EXPECT_EQ(latency, plug->LatencySamples());
    EXPECT_EQ(latency, oversampling > 0.5 ? 64u : 0u);
    for (size_t i = 6 * 256; i < outL.size(); i++)
    {
      ASSERT_EQ(outL[i], inL[i - latency]) << i;
      ASSERT_EQ(outR[i], inR[i - latency]) << i;
    }
    EXPECT_EQ(plug->OutputSilenceFlags(0), 0u);

    // Silence in (the host feeds and flags it), silence out once the delay has run out, flagged.
    for (int k = 0; k < 4; k++)
      ASSERT_TRUE(plug->Process(256, {}, out));
    EXPECT_EQ(plug->OutputSilenceFlags(0), 3u);
    EXPECT_EQ(ol, std::vector<double>(256, 0.0));
  }
}
