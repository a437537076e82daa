// The same material and settings through Brevant.clap and through Brevant.vst3 give the same samples, in every
// channel layout, with and without side-chain and oversampling; and a parameter event inside a block acts at its
// sample offset exactly as splitting the block there by hand.

#include "ClapTestHost.h"

#include "Brevant.h"
#include "HostedPlugin.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{

constexpr int kFrames = 6000;
constexpr int kBlock = 256;
constexpr double kRate = 48000.0;

std::vector<double> Signal(uint64_t seed)
{
  // Decaying noise bursts: loud enough for every band to compress, quiet stretches for the releases.
  std::vector<double> s(kFrames);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (int i = 0; i < kFrames; i++)
  {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const double noise = static_cast<double>(x >> 11) / 9007199254740992.0 * 2.0 - 1.0;
    s[static_cast<size_t>(i)] = noise * 0.8 * std::exp(-static_cast<double>(i % 1500) / 300.0);
  }
  return s;
}

struct Setting
{
  int param;
  double plain;
};

using Channels = std::vector<std::vector<double>>;

struct Layout
{
  int in, sc, out;
};

// Through the VST3 bundle, as brevant-host renders (settings before the first block).
template <typename T>
Channels RenderVST3(const Layout& layout, const std::vector<Setting>& settings, std::vector<Setting>& exact)
{
  std::string error;
  auto module = brevant::host::HostModule::Load(BREVANT_BUNDLE_DIR, error);
  auto plug = module ? brevant::host::HostedPlugin::Create(module, error) : nullptr;
  EXPECT_TRUE(plug) << error;
  if (!plug)
    return {};
  auto arr = [](int n) { return n == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo; };
  std::vector<SpeakerArrangement> ins{arr(layout.in)};
  if (layout.sc)
    ins.push_back(arr(layout.sc));
  EXPECT_TRUE(plug->SetBusArrangements(ins, {arr(layout.out)}));
  if (layout.sc)
  {
    EXPECT_TRUE(plug->ActivateBus(kAudio, kInput, 1, true));
  }
  exact.clear();
  for (const Setting& s : settings)
  {
    EXPECT_TRUE(plug->SetParamPlain(static_cast<ParamID>(s.param), s.plain));
    // The plain value the processor ends up with, for the CLAP side to send.
    const ParamID id = static_cast<ParamID>(s.param);
    exact.push_back({s.param, plug->NormalizedToPlain(id, plug->GetParamNormalized(id))});
  }
  EXPECT_TRUE(plug->Setup(kRate, kBlock, std::is_same_v<T, float> ? kSample32 : kSample64));
  EXPECT_TRUE(plug->Start());

  std::vector<std::vector<T>> in, sc, out(static_cast<size_t>(layout.out), std::vector<T>(kFrames));
  for (int c = 0; c < layout.in; c++)
  {
    const auto s = Signal(1 + static_cast<uint64_t>(c));
    in.emplace_back(s.begin(), s.end());
  }
  for (int c = 0; c < layout.sc; c++)
  {
    const auto s = Signal(7 + static_cast<uint64_t>(c));
    sc.emplace_back(s.begin(), s.end());
  }
  for (int pos = 0; pos < kFrames; pos += kBlock)
  {
    const int n = std::min(kBlock, kFrames - pos);
    std::vector<T*> i, s, o;
    for (auto& ch : in)
      i.push_back(ch.data() + pos);
    for (auto& ch : sc)
      s.push_back(ch.data() + pos);
    for (auto& ch : out)
      o.push_back(ch.data() + pos);
    EXPECT_TRUE(plug->Process(n, std::span<T* const>(i), std::span<T* const>(o), std::span<T* const>(s)));
  }
  plug->Stop();
  Channels result;
  for (auto& ch : out)
    result.emplace_back(ch.begin(), ch.end());
  return result;
}

const claptest::Module& ClapModule()
{
  static std::unique_ptr<claptest::Module> module = []
  {
    std::string error;
    auto m = claptest::Module::Load(BREVANT_CLAP_FILE, error);
    EXPECT_TRUE(m) << error;
    return m;
  }();
  return *module;
}

// Block-wise through the CLAP plug-in; blockEvents(pos, n, plug) may queue events for each block.
template <typename T, typename F>
Channels RenderCLAP(const Layout& layout, const std::vector<Setting>& settings, const std::vector<int>& blocks,
                    F&& blockEvents)
{
  std::string error;
  auto plug = claptest::Plugin::Create(ClapModule(), error);
  EXPECT_TRUE(plug) << error;
  if (!plug)
    return {};
  for (const Setting& s : settings)
    plug->events.Value(static_cast<clap_id>(s.param), s.plain);
  plug->Flush();
  EXPECT_TRUE(plug->Activate(kRate, kBlock));

  std::vector<std::vector<T>> in, sc, out(static_cast<size_t>(layout.out), std::vector<T>(kFrames));
  for (int c = 0; c < layout.in; c++)
  {
    const auto s = Signal(1 + static_cast<uint64_t>(c));
    in.emplace_back(s.begin(), s.end());
  }
  for (int c = 0; c < layout.sc; c++)
  {
    const auto s = Signal(7 + static_cast<uint64_t>(c));
    sc.emplace_back(s.begin(), s.end());
  }
  int pos = 0;
  for (size_t b = 0; pos < kFrames; b++)
  {
    const int n = std::min(b < blocks.size() ? blocks[b] : kBlock, kFrames - pos);
    std::vector<T*> i, s, o;
    for (auto& ch : in)
      i.push_back(ch.data() + pos);
    for (auto& ch : sc)
      s.push_back(ch.data() + pos);
    for (auto& ch : out)
      o.push_back(ch.data() + pos);
    blockEvents(pos, n, *plug);
    EXPECT_EQ(plug->Process<T>(static_cast<uint32_t>(n), i, o, s), CLAP_PROCESS_CONTINUE);
    pos += n;
  }
  Channels result;
  for (auto& ch : out)
    result.emplace_back(ch.begin(), ch.end());
  return result;
}

template <typename T> Channels RenderCLAP(const Layout& layout, const std::vector<Setting>& settings)
{
  return RenderCLAP<T>(layout, settings, {}, [](int, int, claptest::Plugin&) {});
}

// Every band compressing hard, from the main input or the side-chain.
std::vector<Setting> Compressing(bool sidechain, bool oversampling)
{
  std::vector<Setting> s = {{kLowInput, 30.0}, {kMidInput, 24.0}, {kHighInput, 20.0}, {kMidMix, 80.0},
                            {kOversampling, oversampling ? 1.0 : 0.0}};
  if (sidechain)
  {
    s.push_back({kLowSidechain, 1.0});
    s.push_back({kHighSidechain, 1.0});
  }
  return s;
}

void ExpectIdentical(const Channels& a, const Channels& b)
{
  ASSERT_EQ(a.size(), b.size());
  for (size_t c = 0; c < a.size(); c++)
  {
    ASSERT_EQ(a[c].size(), b[c].size());
    size_t firstDiff = a[c].size();
    for (size_t i = 0; i < a[c].size() && firstDiff == a[c].size(); i++)
      if (a[c][i] != b[c][i])
        firstDiff = i;
    EXPECT_EQ(firstDiff, a[c].size()) << "channel " << c << " differs from sample " << firstDiff;
  }
}

struct Case
{
  const char* name;
  Layout layout;
  bool sidechain;
  bool oversampling;
};

class CLAPMatchesVST3 : public ::testing::TestWithParam<Case>
{
};

TEST_P(CLAPMatchesVST3, SameSamplesAt64And32Bits)
{
  const Case& c = GetParam();
  const auto settings = Compressing(c.sidechain, c.oversampling);
  std::vector<Setting> exact;
  const Channels vst3 = RenderVST3<double>(c.layout, settings, exact);
  const Channels clap = RenderCLAP<double>(c.layout, exact);
  ExpectIdentical(clap, vst3);
  // Compressing for real, not passing through.
  double diff = 0.0;
  const auto in = Signal(1);
  for (size_t i = 0; i < in.size(); i++)
    diff = std::max(diff, std::fabs(vst3[0][i] - in[i]));
  EXPECT_GT(diff, 0.01);

  const Channels vst3f = RenderVST3<float>(c.layout, settings, exact);
  const Channels clapf = RenderCLAP<float>(c.layout, exact);
  ExpectIdentical(clapf, vst3f);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CLAPMatchesVST3,
                         ::testing::Values(Case{"stereo", {2, 0, 2}, false, false},
                                           Case{"stereoOversampled", {2, 0, 2}, false, true},
                                           Case{"mono", {1, 0, 1}, false, false},
                                           Case{"monoOversampled", {1, 0, 1}, false, true},
                                           Case{"stereoSidechain", {2, 2, 2}, true, false},
                                           Case{"stereoSidechainOversampled", {2, 2, 2}, true, true},
                                           Case{"monoSidechain", {1, 1, 1}, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CLAPSampleAccurate, AnEventInsideABlockActsAtItsOffsetAsASplitBlockDoes)
{
  const Layout stereo{2, 0, 2};
  const auto settings = Compressing(false, false);
  constexpr int kEventBlock = 5; // the block that carries the events
  for (int k : {1, 77, 200, 255})
  {
    SCOPED_TRACE(k);
    const int at = kEventBlock * kBlock + k;
    // Events inside block 5, at offset k: two parameters, one of them changed again later in the block.
    const Channels inside = RenderCLAP<double>(stereo, settings, {},
                                               [&](int pos, int, claptest::Plugin& plug)
                                               {
                                                 if (pos != kEventBlock * kBlock)
                                                   return;
                                                 plug.events.Value(kGlobalOutput, -9.0, static_cast<uint32_t>(k));
                                                 plug.events.Value(kLowAttack, 2.0, static_cast<uint32_t>(k));
                                               });
    // The same block split at k by hand, the events at the start of the second piece.
    std::vector<int> blocks(kEventBlock, kBlock);
    blocks.push_back(k);
    blocks.push_back(kBlock - k);
    const Channels split = RenderCLAP<double>(stereo, settings, blocks,
                                              [&](int pos, int, claptest::Plugin& plug)
                                              {
                                                if (pos != at)
                                                  return;
                                                plug.events.Value(kGlobalOutput, -9.0, 0);
                                                plug.events.Value(kLowAttack, 2.0, 0);
                                              });
    ExpectIdentical(inside, split);

    // And nothing changes before the offset.
    const Channels none = RenderCLAP<double>(stereo, settings);
    for (int i = 0; i < at; i++)
      ASSERT_EQ(inside[0][static_cast<size_t>(i)], none[0][static_cast<size_t>(i)]) << i;
    EXPECT_NE(inside[0][static_cast<size_t>(at) + 10], none[0][static_cast<size_t>(at) + 10]);
  }
}

TEST(CLAPSampleAccurate, EventsAtOffsetZeroMatchVST3BlockStartChanges)
{
  // Automation that the VST3 binding applies at block start lands identically when CLAP events sit at offset 0.
  const Layout stereo{2, 0, 2};
  const auto settings = Compressing(false, false);
  std::vector<Setting> exact;
  const Channels vst3 = RenderVST3<double>(stereo, settings, exact);
  const Channels clap = RenderCLAP<double>(stereo, {}, {},
                                           [&](int pos, int, claptest::Plugin& plug)
                                           {
                                             if (pos == 0)
                                               for (const Setting& s : exact)
                                                 plug.events.Value(static_cast<clap_id>(s.param), s.plain, 0);
                                           });
  ExpectIdentical(clap, vst3);
}

} // namespace
