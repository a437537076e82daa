// The audio thread's rules: over many blocks with automation, side-chain switching, oversampling and bypass
// toggles, in both sample sizes, `process` allocates nothing and takes no lock.

#include "AudioThreadProbe.h"
#include "ChainHarness.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace chaintest;

namespace
{

TEST(AudioThreadProbe, SeesAllocationsAndLocks)
{
  std::mutex mutex;
  probe::Armed armed;
  auto* p = new int(3);
  asm volatile("" : : "r"(p) : "memory");
  delete p;
  {
    std::lock_guard<std::mutex> lock(mutex);
  }
  EXPECT_GE(armed.Seen().allocations, 1);
  EXPECT_GE(armed.Seen().locks, 1);
}

void RunBlocks(int32 sampleSize)
{
  constexpr int kBlock = 256;
  constexpr int kBlocks = 1500;
  Plug plug(48000.0, kBlock, true);
  if (sampleSize == kSample32)
  {
    plug->setProcessing(false);
    plug->setActive(false);
    ProcessSetup setup{kRealtime, kSample32, kBlock, 48000.0};
    ASSERT_EQ(plug->setupProcessing(setup), kResultOk);
    plug->setActive(true);
    plug->setProcessing(true);
  }
  std::vector<double> in[4], out[2];
  std::vector<float> in32[4], out32[2];
  for (int c = 0; c < 4; c++)
  {
    in[c] = TestSignal(kBlock * 64, 48000.0, 40 + static_cast<uint64_t>(c));
    in32[c].assign(in[c].begin(), in[c].end());
  }
  for (auto& o : out)
    o.resize(kBlock);
  for (auto& o : out32)
    o.resize(kBlock);

  Rng rng(9);
  int64_t allocations = 0, locks = 0;
  for (int b = 0; b < kBlocks; b++)
  {
    // Host side, before the call: this block's automation, and now and then the side-chain bus.
    vst3test::ParameterChanges changes;
    for (int n = rng.Below(4); n > 0; n--)
    {
      const int idx = rng.Below(kNumParams);
      changes.Add(static_cast<ParamID>(idx), rng.Below(kBlock), rng.Uniform());
    }
    if (b % 7 == 0)
      plug.Queue(changes, kOversampling, (b / 7) % 2);
    if (b % 11 == 0)
      changes.Add(iplug::kVST3BypassParamID, 0, (b / 11) % 3 == 0 ? 1.0 : 0.0);
    if (b % 50 == 25)
      plug->activateBus(kAudio, kInput, 1, (b / 50) % 2 == 0);
    const size_t pos = static_cast<size_t>(b % 64) * kBlock;
    const int n = b % 13 == 0 ? 0 : kBlock - rng.Below(kBlock / 2);

    probe::Counts seen;
    if (sampleSize == kSample64)
    {
      double* i[4] = {in[0].data() + pos, in[1].data() + pos, in[2].data() + pos, in[3].data() + pos};
      probe::Armed armed;
      plug.Process(i[0], i[1], i[2], i[3], out[0].data(), out[1].data(), n, &changes);
      seen = armed.Seen();
    }
    else
    {
      float* i[4] = {in32[0].data() + pos, in32[1].data() + pos, in32[2].data() + pos, in32[3].data() + pos};
      float* o[2] = {out32[0].data(), out32[1].data()};
      AudioBusBuffers inBuses[2] = {}, outBus = {};
      inBuses[0].numChannels = 2;
      inBuses[0].channelBuffers32 = i;
      inBuses[1].numChannels = 2;
      inBuses[1].channelBuffers32 = i + 2;
      outBus.numChannels = 2;
      outBus.channelBuffers32 = o;
      ProcessData data;
      data.symbolicSampleSize = kSample32;
      data.numSamples = n;
      data.numInputs = 2;
      data.numOutputs = 1;
      data.inputs = inBuses;
      data.outputs = &outBus;
      data.inputParameterChanges = &changes;
      probe::Armed armed;
      plug->process(data);
      seen = armed.Seen();
    }
    allocations += seen.allocations;
    locks += seen.locks;
    if (seen.allocations || seen.locks)
      ADD_FAILURE() << "block " << b << ": " << seen.allocations << " allocations, " << seen.locks << " locks";

    // Main thread, between blocks: meter readings and latency changes are collected.
    plug->DeliverFromProcessor();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(locks, 0);
  if (!probe::WatchesMalloc())
    std::printf("(malloc is not watched in this build; operator new and the locks are)\n");
}

TEST(ChainRealtime, NoAllocationNorLockIn64BitProcess) { RunBlocks(kSample64); }

TEST(ChainRealtime, NoAllocationNorLockIn32BitProcess) { RunBlocks(kSample32); }

} // namespace
