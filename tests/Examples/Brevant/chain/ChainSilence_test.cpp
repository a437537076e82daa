// Settled silence: once the inputs have been exact zeros long enough for every state to come to rest, blocks are
// skipped and reported silent. Skipping must change nothing: every output bit, every needle reading and every
// envelope equals what processing the silence gives, and sound coming back anywhere in a block continues as if
// nothing had been skipped.

#include "ChainHarness.h"

#include "VST3TestHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

namespace
{
using namespace chaintest;

struct PlugDeleter
{
  void operator()(Brevant* p) const { p->release(); }
};
using PlugPtr = std::unique_ptr<Brevant, PlugDeleter>;

PlugPtr MakePlug(double rate, const std::vector<std::pair<int, double>>& settings, bool skipping)
{
  PlugPtr plug(new Brevant(iplug::InstanceInfo()));
  plug->SetSampleRate(rate);
  plug->OnParamReset(iplug::kReset);
  for (auto& [idx, v] : settings)
  {
    plug->GetParam(idx)->Set(v);
    plug->OnParamChange(idx);
  }
  plug->SetIdleSkipping(skipping);
  return plug;
}

bool SameBits(const double* a, const double* b, int n) { return std::memcmp(a, b, sizeof(double) * n) == 0; }

// A scripted stretch of input: music (main and side-chain) or exact silence, cut into blocks of varying length.
struct Stretch
{
  double seconds;
  bool mainSound, sidechainSound;
};

class SkippedSilence : public ::testing::TestWithParam<std::tuple<bool, bool, double>>
{
};

TEST_P(SkippedSilence, IsExactlyTheProcessedSilence)
{
  const auto [oversampling, keyed, rate] = GetParam();
  std::vector<std::pair<int, double>> settings = {{kLowInput, 24.0},     {kMidInput, 20.0},     {kHighInput, 16.0},
                                                  {kLowOutput, 8.0},     {kHighOutput, 6.0},    {kLowRelease, 100.0},
                                                  {kMidRelease, 120.0},  {kHighRelease, 100.0}, {kMidMix, 70.0},
                                                  {kOversampling, oversampling ? 1.0 : 0.0}};
  if (keyed)
    settings.insert(settings.end(), {{kLowSidechain, 1.0}, {kHighSidechain, 1.0}}); // detectors that settle fast
  PlugPtr skipping = MakePlug(rate, settings, true), processing = MakePlug(rate, settings, false);

  // Music; a long silence (the tail settles, then blocks are skipped); only the side-chain playing (which keeps
  // it awake only when a band listens to it); silence; music again, starting inside a block; a short silence.
  // (The input filter's lowest pole takes about 32 s to bring its state to exact zeros.)
  const std::vector<Stretch> script = {{0.7, true, true},  {36.0, false, false}, {2.0, false, true},
                                       {5.0, false, false}, {0.3, true, true},    {1.0, false, false}};
  std::vector<double> inL, inR, scL, scR;
  std::vector<int> stretchOf;
  for (size_t k = 0; k < script.size(); k++)
  {
    const size_t n = static_cast<size_t>(script[k].seconds * rate);
    const std::vector<double> mL = TestSignal(n, rate, 3 + k), mR = TestSignal(n, rate, 13 + k),
                              kL = TestSignal(n, rate, 23 + k), kR = TestSignal(n, rate, 33 + k);
    for (size_t i = 0; i < n; i++)
    {
      inL.push_back(script[k].mainSound ? mL[i] : 0.0);
      inR.push_back(script[k].mainSound ? mR[i] : 0.0);
      scL.push_back(script[k].sidechainSound ? kL[i] : 0.0);
      scR.push_back(script[k].sidechainSound ? kR[i] : 0.0);
      stretchOf.push_back(static_cast<int>(k));
    }
  }

  // Block lengths that never line up with the stretches: sound comes back anywhere inside a block.
  const int lengths[] = {512, 333, 1024, 1, 77, 512, 4096, 2};
  std::vector<double> aL(4096), aR(4096), bL(4096), bR(4096);
  std::vector<int> skippedPerStretch(script.size(), 0);
  std::vector<double> needleWhileSkipped;
  int block = 0;
  for (size_t pos = 0; pos < inL.size();)
  {
    const int n = static_cast<int>(std::min<size_t>(lengths[block++ % 8], inL.size() - pos));
    double* in[4] = {inL.data() + pos, inR.data() + pos, scL.data() + pos, scR.data() + pos};
    double* a[2] = {aL.data(), aR.data()};
    double* b[2] = {bL.data(), bR.data()};
    skipping->ProcessBlock(in, a, n);
    processing->ProcessBlock(in, b, n);
    ASSERT_FALSE(processing->WasIdle());
    if (skipping->WasIdle())
    {
      skippedPerStretch[static_cast<size_t>(stretchOf[pos])]++;
      needleWhileSkipped.push_back(skipping->GetMeter(0));
      for (int i = 0; i < n; i++)
      {
        ASSERT_TRUE(inL[pos + i] == 0.0 && inR[pos + i] == 0.0) << "sound skipped at " << (pos + i) / rate << " s";
        if (keyed)
        {
          ASSERT_TRUE(scL[pos + i] == 0.0 && scR[pos + i] == 0.0) << "key skipped at " << (pos + i) / rate << " s";
        }
      }
    }
    ASSERT_TRUE(SameBits(aL.data(), bL.data(), n) && SameBits(aR.data(), bR.data(), n))
        << "output differs in the block at " << pos / rate << " s";
    for (int band = 0; band < 3; band++)
    {
      ASSERT_EQ(skipping->GetMeter(band), processing->GetMeter(band)) << "band " << band << " at " << pos / rate;
      ASSERT_EQ(skipping->GetCompressor(band).envelope, processing->GetCompressor(band).envelope)
          << "band " << band << " at " << pos / rate;
    }
    pos += static_cast<size_t>(n);
  }

  // The long silence settles and is skipped.
  EXPECT_GT(skippedPerStretch[1], 0);
  if (keyed)
  {
    EXPECT_EQ(skippedPerStretch[2], 0) << "a keyed band listens to the side-chain";
    // The key's detectors settle again before the needle is back at rest: it still moved in skipped blocks before
    // it reached the two readings it ends up swinging between.
    EXPECT_GT(skippedPerStretch[3], 0);
    const std::vector<double> rest(needleWhileSkipped.end() - 2, needleWhileSkipped.end());
    EXPECT_GT(std::count_if(needleWhileSkipped.begin(), needleWhileSkipped.end(),
                            [&](double v) { return v != rest[0] && v != rest[1]; }),
              0);
  }
  else
    EXPECT_GT(skippedPerStretch[2], 0) << "nobody listens to the side-chain";
  // The needles moved during the skipped stretches as they would have (compared above) and are back near rest.
  for (int band = 0; band < 3; band++)
    EXPECT_NEAR(skipping->GetMeter(band), 1.0, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Chain, SkippedSilence,
                         ::testing::Values(std::make_tuple(false, false, 48000.0), std::make_tuple(false, true, 48000.0),
                                           std::make_tuple(true, false, 48000.0), std::make_tuple(true, true, 48000.0),
                                           std::make_tuple(true, true, 44100.0)),
                         [](const auto& info)
                         {
                           return std::string(std::get<0>(info.param) ? "Oversampled" : "HostRate") +
                                  (std::get<1>(info.param) ? "Keyed" : "") + "_" +
                                  std::to_string(static_cast<int>(std::get<2>(info.param))) + "Hz";
                         });

TEST(SettledSilence, IsFlaggedSilentAndEndsWithSettingsOrSound)
{
  // Through the VST3 interface: the output bus carries the silence flags once the output is exact zeros.
  Plug plug(48000.0, 1024);
  vst3test::ParameterChanges changes;
  plug.Queue(changes, kLowInput, 30.0);
  plug.Queue(changes, kOversampling, 1.0);
  const std::vector<double> music = TestSignal(48000, 48000.0, 9);
  std::vector<double> zeros(1024, 0.0), outL(1024), outR(1024), in(music.begin(), music.begin() + 1024);
  ASSERT_EQ(plug.Process(in.data(), in.data(), zeros.data(), zeros.data(), outL.data(), outR.data(), 1024, &changes),
            kResultOk);
  EXPECT_EQ(plug.outputSilenceFlags, 0u);

  int block = 0;
  for (; block < 200 * 48 && !plug->WasIdle(); block++)
    plug.Process(zeros.data(), zeros.data(), zeros.data(), zeros.data(), outL.data(), outR.data(), 1024);
  ASSERT_TRUE(plug->WasIdle()) << "still not settled after " << block << " blocks";
  EXPECT_EQ(plug.outputSilenceFlags, 3u);
  EXPECT_LT(block * 1024 / 48000, 90) << "seconds to settle";

  // A parameter change is processed (and may settle again), sound always is.
  vst3test::ParameterChanges change;
  plug.Queue(change, kLowAttack, 20.0);
  plug.Process(zeros.data(), zeros.data(), zeros.data(), zeros.data(), outL.data(), outR.data(), 1024, &change);
  EXPECT_FALSE(plug->WasIdle());
  EXPECT_EQ(plug.outputSilenceFlags, 3u);
  for (int i = 0; i < 3; i++)
    plug.Process(zeros.data(), zeros.data(), zeros.data(), zeros.data(), outL.data(), outR.data(), 1024);
  EXPECT_TRUE(plug->WasIdle());
  in.assign(1024, 0.0);
  in[1000] = 0.5; // one sample late in the block
  plug.Process(in.data(), in.data(), zeros.data(), zeros.data(), outL.data(), outR.data(), 1024);
  EXPECT_FALSE(plug->WasIdle());
  EXPECT_EQ(plug.outputSilenceFlags, 0u);
  EXPECT_EQ(outL[1000], 0.0);
  EXPECT_NE(outL[1001], 0.0) << "the filters' first taps answer at once";
  plug.Process(zeros.data(), zeros.data(), zeros.data(), zeros.data(), outL.data(), outR.data(), 1024);
  EXPECT_FALSE(plug->WasIdle());
  EXPECT_EQ(plug.outputSilenceFlags, 0u);
}

} // namespace
