// Brevant.lv2 hosted through brevant-host's LV2 back end renders the same samples as Brevant.vst3 (32-bit) from the
// same material and settings: mono and stereo, with and without side-chain, oversampling on and off; state moves
// between the two formats.
#include "AudioFile.h"
#include "Brevant.h"
#include "HostCommands.h"
#include "HostedLV2.h"
#include "HostedPlugin.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

using namespace Steinberg;
using namespace Steinberg::Vst;
using brevant::host::HostedLV2;

namespace
{

constexpr int kFrames = 6000;
constexpr int kBlock = 256;
constexpr double kRate = 48000.0;

std::vector<float> Signal(uint64_t seed)
{
  // Decaying noise bursts: loud enough for every band to compress, quiet stretches for the releases.
  std::vector<float> s(kFrames);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (int i = 0; i < kFrames; i++)
  {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const double noise = static_cast<double>(x >> 11) / 9007199254740992.0 * 2.0 - 1.0;
    s[static_cast<size_t>(i)] = static_cast<float>(noise * 0.8 * std::exp(-static_cast<double>(i % 1500) / 300.0));
  }
  return s;
}

struct Setting
{
  int param;
  double plain;
};

using Channels = std::vector<std::vector<float>>;

struct Material
{
  Channels in, sc, out;
  explicit Material(int nIn, int nSc, int nOut) : out(static_cast<size_t>(nOut), std::vector<float>(kFrames))
  {
    for (int c = 0; c < nIn; c++)
      in.push_back(Signal(1 + static_cast<uint64_t>(c)));
    for (int c = 0; c < nSc; c++)
      sc.push_back(Signal(7 + static_cast<uint64_t>(c)));
  }
  // Block by block through process(n, in, out, sc).
  template <typename F> void Render(F&& process)
  {
    for (int pos = 0; pos < kFrames; pos += kBlock)
    {
      const int n = std::min(kBlock, kFrames - pos);
      std::vector<float*> i, s, o;
      for (auto& ch : in)
        i.push_back(ch.data() + pos);
      for (auto& ch : sc)
        s.push_back(ch.data() + pos);
      for (auto& ch : out)
        o.push_back(ch.data() + pos);
      process(n, std::span<float* const>(i), std::span<float* const>(o), std::span<float* const>(s));
    }
  }
};

struct Layout
{
  int in, sc;
};

Channels RenderVST3(const Layout& layout, const std::vector<Setting>& settings, std::vector<std::uint8_t>* state)
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
  EXPECT_TRUE(plug->SetBusArrangements(ins, {arr(layout.in)}));
  if (layout.sc)
  {
    EXPECT_TRUE(plug->ActivateBus(kAudio, kInput, 1, true));
  }
  for (const Setting& s : settings)
    EXPECT_TRUE(plug->SetParamPlain(static_cast<ParamID>(s.param), s.plain));
  EXPECT_TRUE(plug->Setup(kRate, kBlock, kSample32));
  EXPECT_TRUE(plug->Start());
  Material m(layout.in, layout.sc, layout.in);
  m.Render([&](int n, auto i, auto o, auto s) { EXPECT_TRUE(plug->Process(n, i, o, s)); });
  plug->Stop();
  if (state)
  {
    EXPECT_TRUE(plug->GetState(*state));
  }
  return m.out;
}

// Through the bundle as brevant-host renders: settings (and state) before Prepare, which picks the variant.
Channels RenderLV2(const Layout& layout, const std::vector<Setting>& settings, uint32_t& latency,
                   const std::vector<std::uint8_t>* state = nullptr, std::vector<std::uint8_t>* saved = nullptr)
{
  std::string error, shown;
  auto plug = HostedLV2::Create(BREVANT_LV2_BUNDLE, "", error);
  EXPECT_TRUE(plug) << error;
  if (!plug)
    return {};
  if (state)
  {
    EXPECT_TRUE(plug->SetState(*state, error)) << error;
  }
  for (const Setting& s : settings)
    EXPECT_TRUE(plug->SetParam("#" + std::to_string(s.param), s.plain, shown, error)) << error;
  EXPECT_TRUE(plug->Prepare(kRate, kBlock, layout.in, layout.sc, false, error)) << error;
  EXPECT_EQ(plug->Uri(),
            layout.in == 1 ? "https://quillmere.example/brevant#mono" : "https://quillmere.example/brevant");
  Material m(layout.in, layout.sc, plug->OutputChannels());
  m.Render([&](int n, auto i, auto o, auto s) { EXPECT_TRUE(plug->Process(n, i, o, s, error)) << error; });
  latency = plug->LatencySamples();
  plug->Stop();
  if (saved)
  {
    EXPECT_TRUE(plug->GetState(*saved, error)) << error;
  }
  return m.out;
}

// Every band compressing hard, from the main input or the side-chain.
std::vector<Setting> Compressing(bool sidechain, bool oversampling)
{
  std::vector<Setting> s = {{kLowInput, 30.0}, {kMidInput, 24.0}, {kHighInput, 20.0},
                            {kMidMix, 80.0},   {kLowAttack, 2.0}, {kOversampling, oversampling ? 1.0 : 0.0}};
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
  bool oversampling;
};

class LV2MatchesVST3 : public ::testing::TestWithParam<Case>
{
};

TEST_P(LV2MatchesVST3, SameSamples)
{
  const Case& c = GetParam();
  const auto settings = Compressing(c.layout.sc > 0, c.oversampling);
  uint32_t latency = 99;
  const Channels vst3 = RenderVST3(c.layout, settings, nullptr);
  const Channels lv2 = RenderLV2(c.layout, settings, latency);
  ExpectIdentical(lv2, vst3);
  EXPECT_EQ(latency, c.oversampling ? 64u : 0u);
  // Compressing for real, not passing through.
  double diff = 0.0;
  const auto in = Signal(1);
  for (size_t i = 0; i < in.size(); i++)
    diff = std::max(diff, std::fabs(static_cast<double>(vst3[0][i] - in[i])));
  EXPECT_GT(diff, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Layouts, LV2MatchesVST3,
                         ::testing::Values(Case{"stereo", {2, 0}, false}, Case{"stereoOversampled", {2, 0}, true},
                                           Case{"mono", {1, 0}, false}, Case{"monoOversampled", {1, 0}, true},
                                           Case{"stereoSidechain", {2, 2}, false},
                                           Case{"stereoSidechainOversampled", {2, 2}, true},
                                           Case{"monoSidechain", {1, 1}, false},
                                           Case{"monoSidechainOversampled", {1, 1}, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The VST3 binding appends the host's bypass (a 32-bit word) to the plug-in's state bytes; LV2 keeps it on a port.
std::vector<std::uint8_t> WithoutBypassWord(const std::vector<std::uint8_t>& vst3)
{
  EXPECT_GT(vst3.size(), 4u);
  return vst3.size() > 4 ? std::vector<std::uint8_t>(vst3.begin(), vst3.end() - 4) : vst3;
}

TEST(LV2State, VST3StateLoadsIntoLV2AndComesBackTheSame)
{
  // State saved by the VST3 plug-in, given to the LV2 one before Prepare (the mono variant then runs), with one
  // parameter moved after it: the same sound as the VST3 plug-in with all of it, and the same bytes back.
  const Layout mono{1, 0};
  const auto settings = Compressing(false, true);
  std::vector<std::uint8_t> vst3State, vst3After, lv2After;
  RenderVST3(mono, settings, &vst3State);
  auto moved = settings;
  moved.push_back({kGlobalOutput, -6.0});
  const Channels vst3 = RenderVST3(mono, moved, &vst3After);
  uint32_t latency = 0;
  const auto state = WithoutBypassWord(vst3State);
  const Channels lv2 = RenderLV2(mono, {{kGlobalOutput, -6.0}}, latency, &state, &lv2After);
  ExpectIdentical(lv2, vst3);
  EXPECT_EQ(latency, 64u);
  EXPECT_EQ(lv2After, WithoutBypassWord(vst3After));

  // Damaged bytes are refused before anything runs.
  std::string error;
  auto plug = HostedLV2::Create(BREVANT_LV2_BUNDLE, "", error);
  ASSERT_TRUE(plug) << error;
  std::vector<std::uint8_t> cut(state.begin(), state.begin() + static_cast<long>(state.size() / 2));
  EXPECT_FALSE(plug->SetState(cut, error));
  std::vector<std::uint8_t> now;
  ASSERT_TRUE(plug->GetState(now, error)) << error;
  EXPECT_NE(now, state);
}

TEST(LV2Render, TheCommandRendersWhatTheVST3BundleRenders)
{
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("lv2render_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  for (int channels : {1, 2})
  {
    SCOPED_TRACE(channels);
    brevant::host::AudioData in;
    in.sampleRate = 44100;
    for (int c = 0; c < channels; c++)
    {
      const auto s = Signal(3 + static_cast<uint64_t>(c));
      in.channels.emplace_back(s.begin(), s.end());
    }
    std::string error;
    ASSERT_TRUE(brevant::host::WriteAudioFile((dir / "in.wav").string(), in, false, error)) << error;
    brevant::host::AudioData out[2];
    const char* bundles[2] = {BREVANT_LV2_BUNDLE, BREVANT_BUNDLE_DIR};
    for (int b = 0; b < 2; b++)
    {
      std::ostringstream o, e;
      const std::string file = (dir / ("out" + std::to_string(b) + ".wav")).string();
      ASSERT_EQ(brevant::host::RunHost({"render", bundles[b], "-i", (dir / "in.wav").string(), "-o", file, "--set",
                                        "Low Input=30", "--set", "Oversampling=1", "--block", "300"},
                                       o, e),
                0)
          << e.str();
      ASSERT_TRUE(brevant::host::ReadAudioFile(file, out[b], error)) << error;
    }
    ASSERT_EQ(out[0].NumChannels(), channels);
    EXPECT_EQ(out[0].channels, out[1].channels);
  }
  fs::remove_all(dir);
}

TEST(LV2Render, TheEditorsScreenshotIsTheVST3Ones)
{
  // The LV2 editor learns every value, the meters the render left among them, only through port events; drawn
  // without a window it must show what the VST3 editor shows after the same render: the same PNG bytes.
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("lv2shot_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  brevant::host::AudioData in;
  in.sampleRate = 48000;
  for (int c = 0; c < 2; c++)
  {
    const auto s = Signal(11 + static_cast<uint64_t>(c));
    in.channels.emplace_back(s.begin(), s.end());
  }
  std::string error;
  ASSERT_TRUE(brevant::host::WriteAudioFile((dir / "in.wav").string(), in, false, error)) << error;
  for (const char* scale : {"1", "2"})
  {
    std::string png[2];
    const char* bundles[2] = {BREVANT_LV2_BUNDLE, BREVANT_BUNDLE_DIR};
    for (int b = 0; b < 2; b++)
    {
      std::ostringstream o, e;
      const std::string file = (dir / ("shot" + std::to_string(b) + ".png")).string();
      std::vector<std::string> args = {"screenshot", bundles[b], "-o", file, "--scale", scale, "--set", "Low Input=30",
                                       "--set", "Mid Sidechain=1", "--preset", "Bus Glue"};
      if (std::string(scale) == "1")
        args.insert(args.end(), {"--render", (dir / "in.wav").string()});
      ASSERT_EQ(brevant::host::RunHost(args, o, e), 0) << e.str();
      std::ifstream f(file, std::ios::binary);
      png[b].assign(std::istreambuf_iterator<char>(f), {});
    }
    EXPECT_FALSE(png[0].empty());
    EXPECT_TRUE(png[0] == png[1]) << "scale " << scale;
  }
  fs::remove_all(dir);
}

} // namespace
