// brevant-host's LV2 back end against a small test bundle (TestLV2Plugin): which variant runs, what reaches the
// ports, the side-chain when none is given, latency, state carried to the instance that runs, presets, and the
// commands on an LV2 bundle.
#include "AudioFile.h"
#include "HostCommands.h"
#include "HostedLV2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <cstdlib>
#include <sstream>

using brevant::host::HostedEffect;
using brevant::host::HostedLV2;

namespace
{

constexpr int kBlock = 64;
constexpr uint32_t kBlockPort = 4;

std::unique_ptr<HostedLV2> Open(const std::string& uri = "")
{
  std::string error;
  auto plug = HostedLV2::Create(TESTLV2_BUNDLE, uri, error);
  EXPECT_TRUE(plug) << error;
  return plug;
}

// One block of constant input (and side-chain when sc > 0); the first output sample of each channel.
std::vector<float> Block(HostedLV2& plug, int channels, int sc, float in = 0.5f, float side = 0.25f)
{
  std::vector<std::vector<float>> inBuf(static_cast<size_t>(channels), std::vector<float>(kBlock, in));
  std::vector<std::vector<float>> scBuf(static_cast<size_t>(sc), std::vector<float>(kBlock, side));
  std::vector<std::vector<float>> outBuf(static_cast<size_t>(plug.OutputChannels()), std::vector<float>(kBlock, 9.f));
  std::vector<float*> i, s, o;
  for (auto& b : inBuf)
    i.push_back(b.data());
  for (auto& b : scBuf)
    s.push_back(b.data());
  for (auto& b : outBuf)
    o.push_back(b.data());
  std::string error;
  EXPECT_TRUE(
      plug.Process(kBlock, std::span<float* const>(i), std::span<float* const>(o), std::span<float* const>(s), error))
      << error;
  std::vector<float> first;
  for (auto& b : outBuf)
  {
    first.push_back(b[0]);
    EXPECT_EQ(b[0], b[kBlock - 1]);
  }
  return first;
}

std::vector<std::uint8_t> TrimState(float trim)
{
  std::vector<std::uint8_t> bytes = {'T', 'G', 'S', 'T', 0, 0, 0, 0};
  std::memcpy(bytes.data() + 4, &trim, 4);
  return bytes;
}

TEST(HostedLV2, RecognisesBundlesAndUris)
{
  EXPECT_TRUE(HostedEffect::IsLV2Path(TESTLV2_BUNDLE));
  EXPECT_TRUE(HostedEffect::IsLV2Path("missing.lv2/"));
  EXPECT_TRUE(HostedEffect::IsLV2Path("https://quillmere.example/brevant"));
  EXPECT_TRUE(HostedEffect::IsLV2Path("urn:brevant-test:gain"));
  EXPECT_FALSE(HostedEffect::IsLV2Path("build/Brevant.vst3"));
  EXPECT_FALSE(HostedEffect::IsLV2Path("build/Brevant.clap"));

  std::string error;
  EXPECT_FALSE(HostedLV2::Create("/nonexistent/X.lv2", "", error));
  EXPECT_NE(error.find("not found"), std::string::npos) << error;
  EXPECT_FALSE(HostedLV2::Create(TESTLV2_BUNDLE, "urn:not-here", error));
  EXPECT_NE(error.find("urn:not-here"), std::string::npos) << error;
  // A URI is looked up among the installed bundles (LV2_PATH).
  ::setenv("LV2_PATH", std::filesystem::path(TESTLV2_BUNDLE).parent_path().c_str(), 1);
  auto byUri = HostedEffect::Open("urn:brevant-test:gain#mono", "", error);
  ASSERT_TRUE(byUri) << error;
  EXPECT_EQ(byUri->Name(), "Test Gain Mono");
  auto effect = HostedEffect::Open(TESTLV2_BUNDLE, "", error);
  ASSERT_TRUE(effect) << error;
  EXPECT_STREQ(effect->Format(), "LV2");
  EXPECT_EQ(effect->Name(), "Test Gain"); // the stereo variant until Prepare
  EXPECT_EQ(std::filesystem::path(effect->LibraryPath()).filename(), "TestLV2.so");
}

TEST(HostedLV2, ChoosesTheVariantByChannelsUnlessAUriDid)
{
  auto plug = Open();
  std::string error;
  ASSERT_TRUE(plug->Prepare(48000.0, kBlock, 1, 0, false, error)) << error;
  EXPECT_EQ(plug->Uri(), "urn:brevant-test:gain#mono");
  EXPECT_EQ(plug->OutputChannels(), 1);
  plug->Stop();
  ASSERT_TRUE(plug->Prepare(48000.0, kBlock, 2, 2, false, error)) << error;
  EXPECT_EQ(plug->Uri(), "urn:brevant-test:gain");
  EXPECT_EQ(plug->OutputChannels(), 2);

  auto stereo = Open("urn:brevant-test:gain");
  EXPECT_FALSE(stereo->Prepare(48000.0, kBlock, 1, 0, false, error));
  EXPECT_NE(error.find("1-channel"), std::string::npos) << error;
  EXPECT_FALSE(stereo->Prepare(48000.0, kBlock, 2, 1, false, error)) << "a side-chain of the wrong width";
  EXPECT_FALSE(stereo->Prepare(48000.0, kBlock, 2, 0, true, error)) << "64-bit samples";
  EXPECT_NE(error.find("32-bit"), std::string::npos) << error;
}

TEST(HostedLV2, ParametersReachTheRunningVariantAndTheHostBypassStaysOn)
{
  auto plug = Open();
  std::string shown, error;
  // "Gain" is also the enabled port's name: the plug-in's own port wins.
  ASSERT_TRUE(plug->SetParam("Gain", 6.0, shown, error)) << error;
  EXPECT_EQ(shown, "\"Gain\" = 6 dB");
  ASSERT_TRUE(plug->SetParam("#5", 1.4, shown, error)) << error;
  EXPECT_EQ(shown, "\"Mode\" = 1 (\"Twice\")") << "integer ports round; scale points label the value";
  ASSERT_TRUE(plug->SetParam("delay", 1.0, shown, error)) << error;
  EXPECT_EQ(shown, "\"Delay\" = 1 (on)");
  EXPECT_FALSE(plug->SetParam("Latency", 3.0, shown, error)) << "an output";
  EXPECT_FALSE(plug->SetParam("Nothing", 3.0, shown, error));

  // Set on the stereo instance, run on the mono one.
  ASSERT_TRUE(plug->Prepare(44100.0, kBlock, 1, 0, false, error)) << error;
  EXPECT_EQ(plug->LatencySamples(), 32u) << "known before the first block";
  uint32_t latency = 0;
  EXPECT_FALSE(plug->TakeLatencyChange(latency));
  EXPECT_EQ(plug->PortValue(kBlockPort), static_cast<float>(kBlock)) << "bufsz:maxBlockLength through options";
  const float gain = std::pow(10.f, 6.f / 20.f);
  // The mono side-chain is not optional: silence is connected, so no NaN.
  EXPECT_FLOAT_EQ(Block(*plug, 1, 0)[0], 0.5f * gain * 2.f);

  ASSERT_TRUE(plug->SetParam("Delay", 0.0, shown, error));
  Block(*plug, 1, 0);
  EXPECT_TRUE(plug->TakeLatencyChange(latency));
  EXPECT_EQ(latency, 0u);
  EXPECT_FALSE(plug->TakeLatencyChange(latency)) << "reported once";
}

TEST(HostedLV2, SideChainBuffersOrNothing)
{
  auto plug = Open();
  std::string error;
  ASSERT_TRUE(plug->Prepare(48000.0, kBlock, 2, 2, false, error)) << error;
  EXPECT_EQ(Block(*plug, 2, 2), (std::vector<float>{0.75f, 0.75f}));
  // Optional side-chain ports go unconnected when the caller has none.
  EXPECT_EQ(Block(*plug, 2, 0), (std::vector<float>{0.5f, 0.5f}));

  auto mono = Open("urn:brevant-test:gain#mono");
  ASSERT_TRUE(mono->Prepare(48000.0, kBlock, 1, 1, false, error)) << error;
  EXPECT_EQ(Block(*mono, 1, 1), (std::vector<float>{0.75f}));

  std::vector<float> big(kBlock * 2);
  std::vector<float*> ptrs{big.data()};
  EXPECT_FALSE(mono->Process(kBlock * 2, ptrs, ptrs, {}, error)) << "more than the prepared block";
}

TEST(HostedLV2, StateGivenBeforePrepareReachesTheInstanceThatRuns)
{
  auto plug = Open();
  std::string error;
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(plug->GetState(bytes, error)) << error;
  EXPECT_EQ(bytes, TrimState(1.f));
  ASSERT_TRUE(plug->SetState(TrimState(0.5f), error)) << error;
  // Damaged state: refused, and the plug-in keeps what it had.
  EXPECT_FALSE(plug->SetState({'T', 'G', 'S'}, error));
  EXPECT_FALSE(plug->SetState({}, error));
  ASSERT_TRUE(plug->Prepare(48000.0, kBlock, 1, 0, false, error)) << error;
  EXPECT_FLOAT_EQ(Block(*plug, 1, 0)[0], 0.25f);
  ASSERT_TRUE(plug->GetState(bytes, error)) << error;
  EXPECT_EQ(bytes, TrimState(0.5f));
}

TEST(HostedLV2, PresetsFromTheWorld)
{
  auto plug = Open();
  EXPECT_EQ(plug->PresetNames(), std::vector<std::string>{"Loud"});
  std::string error;
  EXPECT_FALSE(plug->SelectPreset("Quiet", error));
  EXPECT_NE(error.find("Quiet"), std::string::npos) << error;
  ASSERT_TRUE(plug->SelectPreset("Loud", error)) << error;
  EXPECT_EQ(plug->PortValue(0), 6.f);
  EXPECT_EQ(plug->PortValue(5), 2.f);
  ASSERT_TRUE(plug->Prepare(48000.0, kBlock, 2, 0, false, error)) << error;
  EXPECT_FLOAT_EQ(Block(*plug, 2, 0)[0], 0.5f * std::pow(10.f, 6.f / 20.f) * 3.f);
}

class LV2Commands : public ::testing::Test
{
protected:
  void SetUp() override
  {
    mDir = std::filesystem::temp_directory_path() / ("lv2host_" + std::to_string(::getpid()));
    std::filesystem::create_directories(mDir);
    brevant::host::AudioData audio;
    audio.sampleRate = 48000;
    audio.channels.assign(1, std::vector<double>(1000, 0.5));
    std::string error;
    ASSERT_TRUE(brevant::host::WriteAudioFile(Path("in.wav"), audio, false, error)) << error;
  }
  void TearDown() override { std::filesystem::remove_all(mDir); }
  std::string Path(const char* name) const { return (mDir / name).string(); }
  int Host(const std::vector<std::string>& args)
  {
    mOut.str("");
    mErr.str("");
    return brevant::host::RunHost(args, mOut, mErr);
  }
  std::filesystem::path mDir;
  std::ostringstream mOut, mErr;
};

TEST_F(LV2Commands, InfoRenderAndRefusals)
{
  ASSERT_EQ(Host({"info", TESTLV2_BUNDLE}), 0) << mErr.str();
  const std::string info = mOut.str();
  for (const char* expected :
       {"uri \"urn:brevant-test:gain\"", "uri \"urn:brevant-test:gain#mono\"",
        "[0] gain \"Gain\" control in range -24 .. 24 default 0 dB", "properties side-chain,connectionOptional",
        "designation enabled", "1=\"Twice\"", "[0] \"Loud\"", "latency: reported on port 2",
        "required features: http://lv2plug.in/ns/ext/urid#map"})
    EXPECT_NE(info.find(expected), std::string::npos) << expected << " in\n" << info;

  ASSERT_EQ(Host({"render", TESTLV2_BUNDLE, "-i", Path("in.wav"), "-o", Path("out.wav"), "--set", "Gain=6", "--preset",
                  "Loud", "--block", "100"}),
            0)
      << mErr.str();
  EXPECT_NE(mOut.str().find("plug-in: \"Test Gain Mono\" for 1-channel input"), std::string::npos) << mOut.str();
  brevant::host::AudioData out;
  std::string error;
  ASSERT_TRUE(brevant::host::ReadAudioFile(Path("out.wav"), out, error)) << error;
  ASSERT_EQ(out.NumChannels(), 1);
  ASSERT_EQ(out.NumFrames(), 1000);
  EXPECT_FLOAT_EQ(static_cast<float>(out.channels[0][999]), 0.5f * std::pow(10.f, 6.f / 20.f) * 3.f);

  EXPECT_EQ(Host({"render", TESTLV2_BUNDLE, "-i", Path("in.wav"), "-o", Path("o64.wav"), "--precision", "64"}), 1);
  EXPECT_NE(mErr.str().find("32-bit"), std::string::npos) << mErr.str();
  EXPECT_FALSE(std::filesystem::exists(Path("o64.wav")));
  // A plug-in without an X11 UI has no editor to show: said so, and no file.
  EXPECT_EQ(Host({"screenshot", TESTLV2_BUNDLE, "-o", Path("shot.png")}), 1);
  EXPECT_NE(mErr.str().find("has no X11 editor"), std::string::npos) << mErr.str();
  EXPECT_FALSE(std::filesystem::exists(Path("shot.png")));
}

} // namespace
