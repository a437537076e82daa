// What the chain does at its switches and limits, checked from outside through the VST3 processor interface:
// bypass, oversampling delay and latency hand-over, the chain reduced to conditioning and saturation, global mix,
// a silent side-chain, empty blocks, recovery from non-finite input, and long silence (no subnormal numbers).

#include "Biquad.h"
#include "ChainHarness.h"
#include "ReferenceBlocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <xmmintrin.h>

using namespace chaintest;

namespace
{

using refchain::saturate;

struct Signals
{
  explicit Signals(size_t n, uint64_t seed = 3)
      : inL(TestSignal(n, 48000.0, seed)), inR(TestSignal(n, 48000.0, seed + 1)), scL(n, 0.0), scR(n, 0.0), outL(n),
        outR(n)
  {
  }
  // One process call over frames [pos, pos + n).
  tresult Run(Plug& plug, size_t pos, int n, IParameterChanges* changes = nullptr)
  {
    return plug.Process(inL.data() + pos, inR.data() + pos, scL.data() + pos, scR.data() + pos, outL.data() + pos,
                        outR.data() + pos, n, changes);
  }
  void RunAll(Plug& plug, int block = 256)
  {
    for (size_t pos = 0; pos < inL.size(); pos += static_cast<size_t>(block))
      Run(plug, pos, static_cast<int>(std::min<size_t>(block, inL.size() - pos)));
  }
  std::vector<double> inL, inR, scL, scR, outL, outR;
};

void Set(Plug& plug, std::vector<std::pair<int, double>> plainValues)
{
  vst3test::ParameterChanges changes;
  for (auto& [idx, v] : plainValues)
    plug.Queue(changes, idx, v);
  double l = 0, r = 0, o1 = 0, o2 = 0;
  plug.Process(&l, &r, nullptr, nullptr, &o1, &o2, 0, &changes);
}

TEST(ChainBehaviour, BypassPassesInputAndRestsMetersAndLatency)
{
  Plug plug;
  Signals s(4096);
  Set(plug, {{kLowInput, 30.0}, {kOversampling, 1.0}});
  s.Run(plug, 0, 2048);
  plug->DeliverFromProcessor();
  ASSERT_EQ(plug->getLatencySamples(), 64u);
  ASSERT_LT(plug.Meter(Brevant::kBandLow), 0.9);

  const double envelope = plug->GetCompressor(Brevant::kBandLow).envelope;
  Set(plug, {{kBypass, 0.0}});
  s.Run(plug, 2048, 2048);
  for (size_t i = 2048; i < 4096; i++)
  {
    ASSERT_EQ(s.outL[i], s.inL[i]);
    ASSERT_EQ(s.outR[i], s.inR[i]);
  }
  // Nothing runs while bypassed; the needles rest and the latency goes.
  EXPECT_EQ(plug->GetCompressor(Brevant::kBandLow).envelope, envelope);
  EXPECT_EQ(plug->getLatencySamples(), 0u);
  plug.handler.Clear();
  plug->DeliverFromProcessor();
  for (int b = 0; b < 3; b++)
    EXPECT_EQ(plug.Meter(b), 1.0);
  EXPECT_EQ(plug.handler.Restarts(), std::vector<int32>{kLatencyChanged});
}

TEST(ChainBehaviour, OversamplingDelaysBy64AndReportsItAfterTheBlock)
{
  // A 1 kHz tone through the chain with the bands off: the oversampled output is the plain one, 64 samples later.
  auto render = [](bool oversampled, std::vector<int32>& restarts, std::vector<uint32>& latencies)
  {
    Plug plug;
    Set(plug, {{kLowBypass, 0.0}, {kMidBypass, 0.0}, {kHighBypass, 0.0}});
    Signals s(8192);
    for (size_t i = 0; i < s.inL.size(); i++)
      s.inL[i] = s.inR[i] = 0.5 * std::sin(2 * M_PI * 1000.0 * static_cast<double>(i) / 48000.0);
    for (size_t pos = 0; pos < s.inL.size(); pos += 512)
    {
      vst3test::ParameterChanges changes;
      if (pos == 0)
        plug.Queue(changes, kOversampling, oversampled ? 1.0 : 0.0);
      s.Run(plug, pos, 512, &changes);
      latencies.push_back(plug->getLatencySamples());
      if (pos == 0)
      {
        // Stored with the block; the host is told on the main thread.
        EXPECT_TRUE(plug.handler.Restarts().empty());
        plug->DeliverFromProcessor();
        restarts = plug.handler.Restarts();
      }
    }
    return s.outL;
  };
  std::vector<int32> restartsPlain, restartsOs;
  std::vector<uint32> latPlain, latOs;
  const std::vector<double> plain = render(false, restartsPlain, latPlain);
  const std::vector<double> os = render(true, restartsOs, latOs);

  EXPECT_TRUE(restartsPlain.empty());
  EXPECT_EQ(restartsOs, std::vector<int32>{kLatencyChanged});
  EXPECT_EQ(latPlain.front(), 0u);
  EXPECT_EQ(latOs.front(), 64u);

  // Measured delay: the shift that best aligns the two outputs once the input filter has settled.
  int best = -1;
  double bestErr = 1e9;
  for (int shift = 0; shift < 128; shift++)
  {
    double err = 0;
    for (size_t i = 4096; i < 8000; i++)
      err = std::max(err, std::fabs(os[i] - plain[i - static_cast<size_t>(shift)]));
    if (err < bestErr)
    {
      bestErr = err;
      best = shift;
    }
  }
  EXPECT_EQ(best, 64);
  EXPECT_LT(bestErr, 1e-3);
}

TEST(ChainBehaviour, BandsOffLeavesConditioningAndSaturation)
{
  Plug plug;
  Set(plug, {{kLowBypass, 0.0}, {kMidBypass, 0.0}, {kHighBypass, 0.0}, {kLowInput, 40.0}, {kHighOutput, 40.0}});
  Signals s(6000);
  s.RunAll(plug, 300);

  Biquad filterL(kBandpass, 500.0 / 48000.0, 0.007, 0.0), filterR(kBandpass, 500.0 / 48000.0, 0.007, 0.0);
  double d = 1e-15;
  for (size_t i = 0; i < s.inL.size(); i++)
  {
    const double yL = filterL.process(static_cast<float>(s.inL[i] - d));
    const double yR = filterR.process(static_cast<float>(s.inR[i] - d));
    d = -d;
    ASSERT_NEAR(s.outL[i], saturate(yL), 1e-12) << i;
    ASSERT_NEAR(s.outR[i], saturate(yR), 1e-12) << i;
  }
}

TEST(ChainBehaviour, GlobalMixZeroIsTheCompensatedDryPath)
{
  Plug plug;
  Set(plug, {{kGlobalMix, 0.0}, {kGlobalInput, 6.0}, {kGlobalOutput, -12.0}, {kMidInput, 35.0}, {kLowOutput, 40.0}});
  Signals s(6000);
  s.RunAll(plug, 512);

  const double gain = plug->GetGlobalSettings().inputGain;
  Biquad filterL(kBandpass, 500.0 / 48000.0, 0.007, 0.0);
  double d = 1e-15;
  for (size_t i = 0; i < s.inL.size(); i++)
  {
    const double yL = filterL.process(static_cast<float>((s.inL[i] - d) * gain));
    d = -d;
    ASSERT_NEAR(s.outL[i], saturate(yL / gain), 1e-12) << i;
  }
}

TEST(ChainBehaviour, SilentSidechainRelaxesTheBand)
{
  Plug plug;
  Set(plug, {{kHighInput, 30.0}, {kHighRelease, 100.0}});
  Signals s(48000);
  s.Run(plug, 0, 1024);
  for (size_t pos = 1024; pos < 8192; pos += 1024)
    s.Run(plug, pos, 1024);
  compressor& high = plug->GetCompressor(Brevant::kBandHigh);
  ASSERT_LT(high.gainReductionDb, -3.0);

  // The detector now hears exact zeros: once its filter has rung out, the envelope only releases, by the release
  // coefficient per sample.
  Set(plug, {{kHighSidechain, 1.0}});
  s.Run(plug, 8192, 4096);
  const double before = high.envelope;
  s.Run(plug, 8192 + 4096, 1);
  EXPECT_EQ(high.envelope, before * high.releaseCoef);
  for (size_t pos = 8192 + 4097; pos + 1024 <= s.inL.size(); pos += 1024)
    s.Run(plug, pos, 1024);
  EXPECT_GT(high.gainReductionDb, -0.01);
  EXPECT_LE(high.gainReductionDb, 0.0);
}

TEST(ChainBehaviour, EmptyBlockResendsMetersAndAlignsLatency)
{
  Plug plug;
  Set(plug, {{kMidInput, 30.0}});
  Signals s(4096);
  s.Run(plug, 0, 4096 - 1);
  plug->DeliverFromProcessor();
  const double meter = plug.Meter(Brevant::kBandMid);
  ASSERT_LT(meter, 1.0);

  // Oversampling switched in an empty block: nothing is written, the readings repeat, the latency follows.
  plug->setParamNormalized(kMidMeter, 0.0); // forget the displayed value, so the delivery must bring it back
  s.outL[4095] = 42.0;
  vst3test::ParameterChanges changes;
  plug.Queue(changes, kOversampling, 1.0);
  s.Run(plug, 4095, 0, &changes);
  EXPECT_EQ(s.outL[4095], 42.0);
  EXPECT_EQ(plug->getLatencySamples(), 64u);
  plug->DeliverFromProcessor();
  EXPECT_EQ(plug.Meter(Brevant::kBandMid), meter);
}

TEST(ChainBehaviour, RecoversFromNonFiniteInputWithinABlock)
{
  const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()};
  for (double os : {0.0, 1.0})
  {
    for (double value : bad)
    {
      for (int where : {0, 13, 31}) // first, middle and last frame of a 32-frame block
      {
        Plug plug;
        Set(plug, {{kOversampling, os}, {kLowInput, 20.0}, {kMidSidechain, 1.0}});
        Signals s(32 * 40);
        s.Run(plug, 0, 32 * 10);
        s.inL[32 * 10 + where] = value;
        s.scR[32 * 10 + where] = value;
        for (size_t pos = 32 * 10; pos < s.inL.size(); pos += 32)
          s.Run(plug, pos, 32);
        // Clean input in the block after the bad sample gives clean output from its first frame on.
        for (size_t i = 32 * 11; i < s.inL.size(); i++)
        {
          ASSERT_TRUE(std::isfinite(s.outL[i]) && std::isfinite(s.outR[i]))
              << "oversampling " << os << ", value " << value << " at " << where << ", frame " << i;
        }
        plug->DeliverFromProcessor();
        for (int b = 0; b < 3; b++)
          EXPECT_TRUE(std::isfinite(plug->GetCompressor(b).envelope));
      }
    }
  }
}

TEST(ChainBehaviour, LongSilenceEndsInZerosNotSubnormals)
{
  // Keyed bands whose side-chain falls silent: the envelopes release towards zero for good. Left alone, one would
  // get stuck on a subnormal value (its release step rounds back to it) and make every sample slow.
  Plug plug;
  Set(plug, {{kLowSidechain, 1.0},
             {kMidSidechain, 1.0},
             {kHighSidechain, 1.0},
             {kLowRelease, 100.0},
             {kMidRelease, 100.0},
             {kHighRelease, 100.0}});
  Signals s(4096);
  s.scL = s.inL;
  s.scR = s.inR;
  s.RunAll(plug, 1024);
  ASSERT_GT(plug->GetCompressor(Brevant::kBandLow).envelope, 1e-3);

  // The caller's floating-point mode is kept, whichever it is.
  const unsigned mode = _mm_getcsr();
  std::vector<double> zeros(1024, 0.0), outL(1024), outR(1024);
  for (int block = 0; block < 20 * 48000 / 1024; block++)
  {
    if (block == 10)
      _mm_setcsr(mode | 0x8040);
    const unsigned before = _mm_getcsr() & ~0x3fu; // the mode, not the sticky exception flags
    plug.Process(zeros.data(), zeros.data(), zeros.data(), zeros.data(), outL.data(), outR.data(), 1024);
    ASSERT_EQ(_mm_getcsr() & ~0x3fu, before);
    if (block == 10)
      _mm_setcsr(mode);
  }
  for (int b = 0; b < 3; b++)
    EXPECT_EQ(plug->GetCompressor(b).envelope, 0.0) << "band " << b;
}

} // namespace
