// The plug-in's output, meter readings and latency against the literal reference transcription, sample by
// sample, over a long run with automation of every parameter, side-chain switching (parameters and bus),
// oversampling and bypass toggles, resets and block sizes from 0 to the maximum.

#include "ChainHarness.h"
#include "ReferenceChain.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace chaintest;

namespace
{

constexpr int kMaxBlock = 1024;

// Parameters a host automates (the meter channels 20..22 carry readings only).
constexpr int kAutomatable[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                14, 15, 16, 17, 18, 19, 23, 24, 25, 26, 27, 28, 29, 30};

void RunAgainstReference(double sampleRate, size_t length, uint64_t seed)
{
  Plug plug(sampleRate, kMaxBlock, true);
  refchain::Chain ref;
  for (int i = 0; i < kNumParams; i++)
    ref.OnParamChange(i, plug->GetParam(i)->Value());

  const std::vector<double> inL = TestSignal(length, sampleRate, seed);
  const std::vector<double> inR = TestSignal(length, sampleRate, seed + 1);
  const std::vector<double> scL = TestSignal(length, sampleRate, seed + 2);
  const std::vector<double> scR = TestSignal(length, sampleRate, seed + 3);
  std::vector<double> outL(length), outR(length), refL(kMaxBlock), refR(kMaxBlock), zeros(kMaxBlock, 0.0);

  Rng rng(seed);
  const int blockSizes[] = {0, 1, 7, 64, 128, 333, 512, kMaxBlock};
  bool sidechainBus = true;
  size_t pos = 0;
  int block = 0;
  while (pos < length)
  {
    // Automation: a few parameters per block, the switches less often, bypass rarely.
    vst3test::ParameterChanges changes;
    std::vector<int> changed;
    const int nChanges = rng.Below(4);
    for (int c = 0; c < nChanges; c++)
    {
      const int idx = kAutomatable[rng.Below(std::size(kAutomatable))];
      if (idx == kBypass && rng.Uniform() < 0.7)
        continue;
      const double normalized = idx >= kLowSidechain ? (rng.Uniform() < 0.5 ? 0.0 : 1.0) : rng.Uniform();
      changes.Add(static_cast<ParamID>(idx), 0, normalized);
      changed.push_back(idx);
    }
    if (block % 37 == 5) // drive the bands hard for a while, whatever the random walk did
    {
      for (int idx : {kLowInput, kMidInput, kHighInput})
      {
        plug.Queue(changes, idx, 30.0);
        changed.push_back(idx);
      }
    }
    // The host switches the side-chain bus and stops and restarts processing now and then.
    if (block % 53 == 20)
    {
      sidechainBus = !sidechainBus;
      plug->activateBus(kAudio, kInput, 1, sidechainBus);
    }
    if (block % 97 == 60)
    {
      plug->setProcessing(false);
      plug->setProcessing(true);
      ref.OnReset();
    }

    const int n = static_cast<int>(std::min<size_t>(blockSizes[rng.Below(std::size(blockSizes))], length - pos));
    double* sL = const_cast<double*>(scL.data() + pos);
    double* sR = const_cast<double*>(scR.data() + pos);
    ASSERT_EQ(plug.Process(const_cast<double*>(inL.data() + pos), const_cast<double*>(inR.data() + pos), sL, sR,
                           outL.data() + pos, outR.data() + pos, n, &changes),
              kResultOk);

    for (int idx : changed)
      ref.OnParamChange(idx, plug->GetParam(idx)->Value());
    double* refIn[4] = {const_cast<double*>(inL.data() + pos), const_cast<double*>(inR.data() + pos),
                        sidechainBus ? sL : zeros.data(), sidechainBus ? sR : zeros.data()};
    double* refOut[2] = {refL.data(), refR.data()};
    ref.ProcessBlock(refIn, refOut, n, sampleRate);

    for (int i = 0; i < n; i++)
    {
      // Bit for bit: compare the representations, so -0.0 against 0.0 would show too.
      if (std::memcmp(&outL[pos + i], &refL[i], sizeof(double)) ||
          std::memcmp(&outR[pos + i], &refR[i], sizeof(double)))
        FAIL() << "sample " << pos + i << " (block " << block << ", frame " << i << "): " << outL[pos + i] << " / "
               << refL[i] << ", " << outR[pos + i] << " / " << refR[i];
    }

    plug->DeliverFromProcessor();
    for (int b = 0; b < 3; b++)
      ASSERT_EQ(plug.Meter(b), std::clamp(ref.sent[b], 0.0, 1.0)) << "meter " << b << " after block " << block;
    ASSERT_EQ(static_cast<int>(plug->getLatencySamples()), ref.latency) << "after block " << block;

    pos += static_cast<size_t>(n);
    block++;
  }

  // The run went through what it is meant to cover.
  EXPECT_GT(block, 500);
}

TEST(ChainReference, BitIdenticalAt48k) { RunAgainstReference(48000.0, 240000, 1); }

TEST(ChainReference, BitIdenticalAt44k1) { RunAgainstReference(44100.0, 160000, 7); }

} // namespace
