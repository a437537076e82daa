// brevant-host end to end: the program run on audio files generated here, against the test module.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{

struct Result
{
  int status = -1;
  std::string output; // stdout and stderr
};

std::string ShellQuote(const std::string& s)
{
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

Result RunHost(const std::vector<std::string>& args)
{
  std::string cmd = ShellQuote(BREVANT_HOST_EXE);
  for (const auto& a : args)
    cmd += " " + ShellQuote(a);
  Result r;
  FILE* pipe = popen((cmd + " 2>&1").c_str(), "r");
  if (!pipe)
    return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), pipe)) > 0)
    r.output.append(buf, n);
  const int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

using Channels = std::vector<std::vector<double>>;

void WriteAudio(const std::string& path, const Channels& ch, int rate, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT)
{
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = static_cast<int>(ch.size());
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  std::vector<double> inter;
  for (size_t i = 0; i < ch[0].size(); ++i)
    for (const auto& c : ch)
      inter.push_back(c[i]);
  sf_writef_double(f, inter.data(), static_cast<sf_count_t>(ch[0].size()));
  sf_close(f);
}

Channels ReadAudio(const std::string& path, SF_INFO* infoOut = nullptr)
{
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(f, nullptr) << path;
  if (!f)
    return {};
  std::vector<double> inter(static_cast<size_t>(info.frames * info.channels));
  sf_readf_double(f, inter.data(), info.frames);
  sf_close(f);
  Channels ch(static_cast<size_t>(info.channels));
  for (sf_count_t i = 0; i < info.frames; ++i)
    for (int c = 0; c < info.channels; ++c)
      ch[static_cast<size_t>(c)].push_back(inter[static_cast<size_t>(i * info.channels + c)]);
  if (infoOut)
    *infoOut = info;
  return ch;
}

Channels Sines(int channels, int frames, double freq)
{
  Channels ch(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < frames; ++i)
      ch[static_cast<size_t>(c)].push_back(0.5 * std::sin(freq * (c + 1) * i));
  return ch;
}

class HostCli : public ::testing::Test
{
protected:
  void SetUp() override
  {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    mDir = fs::temp_directory_path() / ("brevant-host-" + std::string(info->name()) + "-" + std::to_string(getpid()));
    fs::create_directories(mDir);
    WriteAudio(Path("in.wav"), Sines(2, 1000, 0.01), 48000);
    mInput = ReadAudio(Path("in.wav")); // as stored: 32-bit float
  }
  void TearDown() override { fs::remove_all(mDir); }
  std::string Path(const std::string& name) const { return (mDir / name).string(); }

  fs::path mDir;
  Channels mInput;
};

TEST_F(HostCli, HelpAndUsageErrors)
{
  auto help = RunHost({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("brevant-host render BUNDLE -i INPUT -o OUTPUT"), std::string::npos);
  EXPECT_EQ(RunHost({}).status, 2);
  EXPECT_EQ(RunHost({"play", TESTGAIN_BUNDLE}).status, 2);
  EXPECT_EQ(RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("in.wav")}).status, 2) << "no output";
  EXPECT_EQ(RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("in.wav"), "-o", Path("o.wav"), "--precision", "16"}).status,
            2);
  EXPECT_EQ(RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("in.wav"), "-o", Path("o.wav"), "--block", "0"}).status, 2);
  EXPECT_EQ(
      RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("in.wav"), "-o", Path("o.wav"), "--set", "Gain=loud"}).status, 2);
  EXPECT_EQ(RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("in.wav"), "-o", Path("o.wav"), "--block"}).status, 2);
  EXPECT_EQ(RunHost({"screenshot", TESTGAIN_BUNDLE}).status, 2) << "no output";
  EXPECT_EQ(RunHost({"screenshot", TESTGAIN_BUNDLE, "-o", Path("x.png"), "--scale", "0"}).status, 2);
}

TEST_F(HostCli, ScreenshotOfAPlugInWithoutEditorFailsCleanly)
{
  auto r = RunHost({"screenshot", TESTGAIN_BUNDLE, "-o", Path("x.png")});
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("no editor view"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(Path("x.png")));
}

TEST_F(HostCli, InfoListsClassesBusesAndParameters)
{
  auto r = RunHost({"info", TESTGAIN_BUNDLE});
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* expected :
       {"vendor \"Brevant Tests\"", "[0] \"TestGain\" category \"Audio Module Class\" subcategories \"Fx\"",
        "id 7E570001-3A1B4C2D-8E9FA0B1-C2D3E4F5", "[1] \"Sidechain\" 2 ch (Stereo), aux",
        "id 0 \"Gain\" units \"dB\" steps 0", "flags automatable,bypass", "controller: separate", "latency: 0 samples"})
    EXPECT_NE(r.output.find(expected), std::string::npos) << expected << "\n" << r.output;
}

TEST_F(HostCli, RendersAFileEndToEnd)
{
  // A block size that does not divide the length, so the last block is short.
  auto r = RunHost(
      {"render", TESTGAIN_BUNDLE, "-i", Path("in.wav"), "-o", Path("out.wav"), "--set", "Gain=-6", "--block", "300"});
  ASSERT_EQ(r.status, 0) << r.output;
  SF_INFO info{};
  const Channels out = ReadAudio(Path("out.wav"), &info);
  EXPECT_EQ(info.samplerate, 48000);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  ASSERT_EQ(out.size(), 2u);
  ASSERT_EQ(out[0].size(), 1000u);
  for (size_t c = 0; c < 2; ++c)
    for (size_t i = 0; i < 1000; i += 7)
      ASSERT_NEAR(out[c][i], 0.50118723362727224 * mInput[c][i], 1e-7) << c << " " << i;
}

TEST_F(HostCli, PrecisionSidechainAndLatency)
{
  const Channels sc = Sines(1, 600, 0.05); // mono and shorter than the input: padded with silence
  WriteAudio(Path("sc.flac"), sc, 48000, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  const Channels scRead = ReadAudio(Path("sc.flac"));
  auto r = RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("in.wav"), "-o", Path("out64.wav"), "--sidechain",
                    Path("sc.flac"), "--precision", "64", "--set", "Latency=16"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("latency: 16 samples"), std::string::npos) << r.output;
  SF_INFO info{};
  const Channels out = ReadAudio(Path("out64.wav"), &info);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  ASSERT_EQ(out.size(), 2u);
  for (size_t c = 0; c < 2; ++c)
  {
    EXPECT_EQ(out[c][15], scRead[0][15]) << "delayed input not there yet";
    EXPECT_NEAR(out[c][100], mInput[c][84] + scRead[0][100], 1e-12);
    EXPECT_NEAR(out[c][900], mInput[c][884], 1e-12);
  }

  // The split class cannot process 64-bit samples: a clear failure.
  auto split = RunHost({"render", TESTGAIN_BUNDLE, "--class", "TestGain Split", "-i", Path("in.wav"), "-o",
                        Path("x.wav"), "--precision", "64"});
  EXPECT_EQ(split.status, 1);
  EXPECT_NE(split.output.find("cannot process 64-bit samples"), std::string::npos) << split.output;
  // 32-bit through the split class (separate controller) processes.
  auto split32 = RunHost({"render", TESTGAIN_BUNDLE, "--class", "TestGain Split", "-i", Path("in.wav"), "-o",
                          Path("split.aiff"), "--set", "gain=-6"});
  ASSERT_EQ(split32.status, 0) << split32.output;
  EXPECT_NEAR(ReadAudio(Path("split.aiff"))[1][500], 0.50118723362727224 * mInput[1][500], 1e-7);
}

TEST_F(HostCli, StateSavedAndLoaded)
{
  auto save = RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("in.wav"), "-o", Path("a.wav"), "--set", "Gain=-12",
                       "--set", "Latency=4", "--save-state", Path("state.bin")});
  ASSERT_EQ(save.status, 0) << save.output;
  auto load = RunHost(
      {"render", TESTGAIN_BUNDLE, "-i", Path("in.wav"), "-o", Path("b.wav"), "--load-state", Path("state.bin")});
  ASSERT_EQ(load.status, 0) << load.output;
  EXPECT_NE(load.output.find("latency: 4 samples"), std::string::npos) << load.output;
  EXPECT_EQ(ReadAudio(Path("a.wav")), ReadAudio(Path("b.wav")));

  // A state the plug-in cannot read, and one that is missing, are failures.
  std::ofstream(Path("bad.bin")) << "xy";
  auto bad =
      RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("in.wav"), "-o", Path("c.wav"), "--load-state", Path("bad.bin")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("refused the state"), std::string::npos) << bad.output;
  EXPECT_EQ(
      RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("in.wav"), "-o", Path("c.wav"), "--load-state", Path("no.bin")})
          .status,
      1);
  EXPECT_FALSE(fs::exists(Path("c.wav")));
}

TEST_F(HostCli, FailuresAreClearAndNonZero)
{
  std::ofstream(Path("noise.wav")) << "this is not audio";
  const std::string in = Path("in.wav"), out = Path("o.wav");
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"info", Path("Missing.vst3")}, "bundle not found"},
      {{"render", Path("Missing.vst3"), "-i", in, "-o", out}, "bundle not found"},
      {{"info", NOENTRY_BUNDLE}, "does not export ModuleEntry"},
      {{"render", TESTGAIN_BUNDLE, "-i", Path("none.wav"), "-o", out}, "cannot read audio file"},
      {{"render", TESTGAIN_BUNDLE, "-i", Path("noise.wav"), "-o", out}, "cannot read audio file"},
      {{"render", TESTGAIN_BUNDLE, "-i", in, "-o", out, "--sidechain", Path("noise.wav")}, "cannot read audio file"},
      {{"render", TESTGAIN_BUNDLE, "-i", in, "-o", out, "--set", "Volume=3"}, "unknown parameter \"Volume\""},
      {{"render", TESTGAIN_BUNDLE, "-i", in, "-o", Path("o.unknownext")}, "cannot tell the audio format"},
      {{"render", TESTGAIN_BUNDLE, "-i", in, "-o", Path("nodir/o.wav")}, "cannot write audio file"},
      {{"render", TESTGAIN_BUNDLE, "--class", "Nope", "-i", in, "-o", out}, "no audio effect named"},
  };
  for (const auto& [args, message] : cases)
  {
    auto r = RunHost(args);
    EXPECT_EQ(r.status, 1) << args[0] << " " << args[1] << "\n" << r.output;
    EXPECT_NE(r.output.find(message), std::string::npos) << message << "\n" << r.output;
  }

  // A side-chain at another rate, and a layout the plug-in refuses (3 channels).
  WriteAudio(Path("sc44.wav"), Sines(2, 100, 0.1), 44100);
  auto rate = RunHost({"render", TESTGAIN_BUNDLE, "-i", in, "-o", out, "--sidechain", Path("sc44.wav")});
  EXPECT_EQ(rate.status, 1);
  EXPECT_NE(rate.output.find("44100 Hz"), std::string::npos) << rate.output;
  WriteAudio(Path("three.wav"), Sines(3, 100, 0.1), 48000);
  auto three = RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("three.wav"), "-o", out});
  EXPECT_EQ(three.status, 1);
  EXPECT_NE(three.output.find("does not accept 3-channel input"), std::string::npos) << three.output;
}

TEST_F(HostCli, MonoAndEmptyInputs)
{
  WriteAudio(Path("mono.wav"), Sines(1, 50, 0.2), 22050, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  auto mono = RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("mono.wav"), "-o", Path("mono-out.wav")});
  ASSERT_EQ(mono.status, 0) << mono.output;
  SF_INFO info{};
  const Channels out = ReadAudio(Path("mono-out.wav"), &info);
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(info.samplerate, 22050);
  EXPECT_EQ(out, ReadAudio(Path("mono.wav"))) << "0 dB gain leaves 16-bit input exact";

  WriteAudio(Path("empty.wav"), Channels(2), 48000);
  auto empty = RunHost({"render", TESTGAIN_BUNDLE, "-i", Path("empty.wav"), "-o", Path("empty-out.wav")});
  ASSERT_EQ(empty.status, 0) << empty.output;
  EXPECT_EQ(ReadAudio(Path("empty-out.wav")).size(), 2u);
}

} // namespace
