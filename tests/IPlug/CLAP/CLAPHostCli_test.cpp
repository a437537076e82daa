// brevant-host with Brevant.clap: info describes the plug-in, render writes what the VST3 bundle writes for the same
// settings, state saved from one render restores in the next, and a missing file is a clean failure.

#include "AudioFile.h"
#include "HostCommands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace brevant::host;

namespace
{

struct Result
{
  int status;
  std::string output, error;
};

Result Host(const std::vector<std::string>& args)
{
  std::ostringstream out, err;
  const int status = RunHost(args, out, err);
  return {status, out.str(), err.str()};
}

class CLAPHostCli : public ::testing::Test
{
protected:
  void SetUp() override
  {
    mDir = std::filesystem::temp_directory_path() /
           ("clap-host-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(mDir);
    AudioData in;
    in.sampleRate = 48000;
    in.channels.assign(2, std::vector<double>(24000));
    for (size_t i = 0; i < in.channels[0].size(); i++)
    {
      const double t = static_cast<double>(i) / in.sampleRate;
      in.channels[0][i] = 0.7 * std::sin(2 * M_PI * 80.0 * t) * std::exp(-std::fmod(t, 0.25) * 8.0);
      in.channels[1][i] = 0.5 * std::sin(2 * M_PI * 1500.0 * t);
    }
    std::string error;
    ASSERT_TRUE(WriteAudioFile(Path("in.wav"), in, false, error)) << error;
  }
  void TearDown() override { std::filesystem::remove_all(mDir); }

  std::string Path(const std::string& name) const { return (mDir / name).string(); }

  // The samples of a rendered file (its header holds a time stamp, so files are compared by their samples).
  static std::vector<std::vector<double>> Samples(const std::string& path)
  {
    AudioData audio;
    std::string error;
    EXPECT_TRUE(ReadAudioFile(path, audio, error)) << error;
    return audio.channels;
  }

  static std::vector<char> Bytes(const std::string& path)
  {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path mDir;
};

TEST_F(CLAPHostCli, InfoDescribesTheDescriptorPortsParametersAndExtensions)
{
  const Result r = Host({"info", BREVANT_CLAP_FILE});
  ASSERT_EQ(r.status, 0) << r.error;
  for (const char* expected :
       {"id \"com.quillmere.brevant\"", "version \"1.0.0\"", "features: audio-effect compressor stereo mono",
        "audio input ports: 2", "audio output ports: 1", "parameters: 31", "\"Low Input\" range 0 .. 40",
        "flags readonly,hidden", "clap.gui", "latency: 0 samples"})
    EXPECT_NE(r.output.find(expected), std::string::npos) << expected << "\n" << r.output;
}

TEST_F(CLAPHostCli, RendersWhatTheVST3BundleRendersAndRestoresItsState)
{
  const std::vector<std::string> sets = {"--set", "Low Input=30", "--set", "mid input=24", "--set", "#12=20"};
  auto args = [&](const std::string& plug, const std::string& out)
  {
    std::vector<std::string> a = {"render", plug, "-i", Path("in.wav"), "-o", Path(out), "--block", "300"};
    a.insert(a.end(), sets.begin(), sets.end());
    return a;
  };
  const Result clap = Host(args(BREVANT_CLAP_FILE, "clap.wav"));
  ASSERT_EQ(clap.status, 0) << clap.error;
  EXPECT_NE(clap.output.find("set \"Mid Input\" = 24 (shown as \"24.0 dB\")"), std::string::npos) << clap.output;
  const Result vst3 = Host(args(BREVANT_BUNDLE_DIR, "vst3.wav"));
  ASSERT_EQ(vst3.status, 0) << vst3.error;
  EXPECT_EQ(Samples(Path("clap.wav")), Samples(Path("vst3.wav")));

  // The same state bytes as the VST3 bundle's (which adds its host-bypass switch after them), and restored from
  // them the same sound.
  for (const auto& [plug, name] : {std::pair{std::string(BREVANT_CLAP_FILE), "clap"}, {BREVANT_BUNDLE_DIR, "vst3"}})
  {
    auto save = args(plug, std::string("a-") + name + ".wav");
    save.insert(save.end(), {"--save-state", Path(std::string("state-") + name + ".bin")});
    ASSERT_EQ(Host(save).status, 0);
    const Result load = Host({"render", plug, "-i", Path("in.wav"), "-o", Path(std::string("b-") + name + ".wav"),
                              "--block", "300", "--load-state", Path(std::string("state-") + name + ".bin")});
    ASSERT_EQ(load.status, 0) << load.error;
  }
  std::vector<char> clapState = Bytes(Path("state-clap.bin")), vst3State = Bytes(Path("state-vst3.bin"));
  ASSERT_EQ(vst3State.size(), clapState.size() + 4);
  vst3State.resize(clapState.size());
  EXPECT_EQ(clapState, vst3State);
  EXPECT_EQ(Samples(Path("b-clap.wav")), Samples(Path("b-vst3.wav")));

  std::ofstream(Path("bad.bin")) << "not a state";
  const Result bad = Host({"render", BREVANT_CLAP_FILE, "-i", Path("in.wav"), "-o", Path("c.wav"), "--load-state",
                          Path("bad.bin")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.error.find("refused the state"), std::string::npos) << bad.error;
}

TEST_F(CLAPHostCli, ScreenshotDrawsTheSameEditorAsTheVST3Bundle)
{
  // Drawn headless (EGL, Mesa's llvmpipe without a GPU) with the compiled-in artwork; the VST3 bundle reads the same
  // files from its Resources folder.
  for (const auto& [scale, size] : {std::pair{"1", "997 x 612"}, {"2", "1994 x 1224"}})
  {
    SCOPED_TRACE(scale);
    const Result clap = Host({"screenshot", BREVANT_CLAP_FILE, "-o", Path("clap.png"), "--scale", scale, "--set",
                              "Low Input=30", "--render", Path("in.wav")});
    ASSERT_EQ(clap.status, 0) << clap.error;
    EXPECT_NE(clap.output.find(std::string("editor: ") + size + " at scale " + scale), std::string::npos)
        << clap.output;
    const Result vst3 = Host({"screenshot", BREVANT_BUNDLE_DIR, "-o", Path("vst3.png"), "--scale", scale, "--set",
                              "Low Input=30", "--render", Path("in.wav")});
    ASSERT_EQ(vst3.status, 0) << vst3.error;
    EXPECT_EQ(Bytes(Path("clap.png")), Bytes(Path("vst3.png")));
  }
}

TEST_F(CLAPHostCli, FailuresAreReportedNotCrashed)
{
  const Result missing = Host({"render", Path("Missing.clap"), "-i", Path("in.wav"), "-o", Path("o.wav")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.error.find("CLAP file not found"), std::string::npos) << missing.error;
  std::ofstream(Path("Fake.clap")) << "not a shared object";
  const Result fake = Host({"info", Path("Fake.clap")});
  EXPECT_EQ(fake.status, 1);
  EXPECT_NE(fake.error.find("cannot load"), std::string::npos) << fake.error;
  const Result unknown =
      Host({"render", BREVANT_CLAP_FILE, "-i", Path("in.wav"), "-o", Path("o.wav"), "--set", "Volume=3"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.error.find("unknown parameter \"Volume\""), std::string::npos) << unknown.error;
}

} // namespace
