// The plug-in's output, meter readings and latency against the literal reference transcription, sample by
// sample, over a long run with automation of every parameter, side-chain switching (parameters and bus),
// oversampling and bypass toggles, resets and block sizes from 0 to the maximum, at several host rates, on the
// baseline (SSE2) vector path and on the widest this processor has. The vector maths round differently from the
// scalar functions in the last bits, so output and meters must agree to within kTolerance (the latency exactly);
// the worst difference seen is printed.

#include "ChainHarness.h"
#include "ReferenceChain.h"
#include "VectorMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>

using namespace chaintest;

namespace
{

constexpr int kMaxBlock = 4096;
constexpr double kTolerance = 1e-9;

// Parameters a host automates (the meter channels 20..22 carry readings only).
constexpr int kAutomatable[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                14, 15, 16, 17, 18, 19, 23, 24, 25, 26, 27, 28, 29, 30};

struct Worst
{
  double output = 0.0, meter = 0.0;
};

Worst RunAgainstReference(double sampleRate, size_t length, uint64_t seed)
{
  Worst worst;
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
  const int blockSizes[] = {0, 1, 7, 64, 128, 333, 512, 1024, kMaxBlock};
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
    if (plug.Process(const_cast<double*>(inL.data() + pos), const_cast<double*>(inR.data() + pos), sL, sR,
                     outL.data() + pos, outR.data() + pos, n, &changes) != kResultOk)
    {
      ADD_FAILURE() << "process failed in block " << block;
      return worst;
    }

    for (int idx : changed)
      ref.OnParamChange(idx, plug->GetParam(idx)->Value());
    double* refIn[4] = {const_cast<double*>(inL.data() + pos), const_cast<double*>(inR.data() + pos),
                        sidechainBus ? sL : zeros.data(), sidechainBus ? sR : zeros.data()};
    double* refOut[2] = {refL.data(), refR.data()};
    ref.ProcessBlock(refIn, refOut, n, sampleRate);

    for (int i = 0; i < n; i++)
    {
      // NaN on either side counts as infinitely far.
      const double d = std::max(std::fabs(outL[pos + i] - refL[i]), std::fabs(outR[pos + i] - refR[i]));
      worst.output = d > worst.output || d != d ? d : worst.output;
      if (!(d <= kTolerance))
      {
        ADD_FAILURE() << "sample " << pos + i << " (block " << block << ", frame " << i << "): " << outL[pos + i]
                      << " / " << refL[i] << ", " << outR[pos + i] << " / " << refR[i];
        return worst;
      }
    }

    plug->DeliverFromProcessor();
    for (int b = 0; b < 3; b++)
    {
      const double d = std::fabs(plug.Meter(b) - std::clamp(ref.sent[b], 0.0, 1.0));
      worst.meter = d > worst.meter || d != d ? d : worst.meter;
      if (!(d <= kTolerance))
      {
        ADD_FAILURE() << "meter " << b << " after block " << block << ": " << plug.Meter(b) << " / " << ref.sent[b];
        return worst;
      }
    }
    EXPECT_EQ(static_cast<int>(plug->getLatencySamples()), ref.latency) << "after block " << block;

    pos += static_cast<size_t>(n);
    block++;
  }

  // The run went through what it is meant to cover.
  EXPECT_GT(block, 300);
  return worst;
}

// Parameters: the widest path (else the baseline), the host rate.
class ChainReference : public testing::TestWithParam<std::tuple<bool, double>>
{
protected:
  void TearDown() override { brevant::simd::Force(brevant::simd::Widest()); }
};

TEST_P(ChainReference, WithinTolerance)
{
  const auto [widest, rate] = GetParam();
  const brevant::simd::Path path = widest ? brevant::simd::Widest() : brevant::simd::Path::kSse2;
  ASSERT_TRUE(brevant::simd::Force(path));
  ASSERT_EQ(brevant::simd::Active().path, path);
  const Worst worst = RunAgainstReference(rate, rate > 48000.0 ? 500000 : 300000, static_cast<uint64_t>(rate) % 97);
  std::printf("[ worst    ] %s at %.0f Hz: output %.3g, meters %.3g (tolerance %.0g)\n", brevant::simd::Active().name,
              rate, worst.output, worst.meter, kTolerance);
}

INSTANTIATE_TEST_SUITE_P(Paths, ChainReference,
                         testing::Combine(testing::Bool(), testing::Values(44100.0, 48000.0, 96000.0)),
                         [](const testing::TestParamInfo<ChainReference::ParamType>& info)
                         {
                           return std::string(std::get<0>(info.param) ? "Widest" : "Sse2") + "_" +
                                  std::to_string(static_cast<int>(std::get<1>(info.param))) + "Hz";
                         });

} // namespace
