// lv2apply (lilv's own command-line host) renders a file through Brevant.lv2; the VST3 bundle, hosted as a DAW hosts
// it, renders the same material. The samples must be identical: one plug-in class, one sound.

#include "AudioFile.h"
#include "HostedEffect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#ifndef LV2APPLY_ENV
#define LV2APPLY_ENV ""
#endif

namespace
{

namespace fs = std::filesystem;
using brevant::host::AudioData;

AudioData Material(int channels, int frames, uint64_t seed)
{
  AudioData a;
  a.sampleRate = 48000;
  a.channels.assign(static_cast<size_t>(channels), std::vector<double>(static_cast<size_t>(frames)));
  for (int c = 0; c < channels; c++)
  {
    uint64_t x = seed + static_cast<uint64_t>(c);
    for (int i = 0; i < frames; i++)
    {
      x = x * 6364136223846793005ull + 1442695040888963407ull;
      const double noise = static_cast<double>(x >> 40) / 16777216.0 - 0.5;
      // A loud burst, a quiet tail: the compressors work, then release. Values are floats, as the files hold.
      const double env = i < frames / 2 ? 0.9 : 0.05;
      a.channels[size_t(c)][size_t(i)] = static_cast<float>(env * (0.6 * std::sin(0.013 * i * (c + 1)) + 0.4 * noise));
    }
  }
  return a;
}

/** The VST3 bundle's render of in (and sc), 32-bit, 512-sample blocks. */
AudioData RenderVST3(const AudioData& in, const AudioData* sc, const std::vector<std::pair<std::string, double>>& set)
{
  std::string error, shown;
  auto fx = brevant::host::HostedEffect::Open(BREVANT_BUNDLE_DIR, "", error);
  EXPECT_TRUE(fx) << error;
  AudioData out;
  if (!fx)
    return out;
  for (const auto& [name, value] : set)
    EXPECT_TRUE(fx->SetParam(name, value, shown, error)) << error;
  EXPECT_TRUE(fx->Prepare(48000.0, 512, in.NumChannels(), sc ? sc->NumChannels() : 0, false, error)) << error;
  const int nOut = fx->OutputChannels();
  out.sampleRate = in.sampleRate;
  out.channels.assign(static_cast<size_t>(nOut), std::vector<double>(static_cast<size_t>(in.NumFrames())));
  std::vector<std::vector<float>> i(in.channels.size(), std::vector<float>(512)), o(size_t(nOut), std::vector<float>(512));
  std::vector<std::vector<float>> s(sc ? sc->channels.size() : 0, std::vector<float>(512));
  for (int64_t pos = 0; pos < in.NumFrames(); pos += 512)
  {
    const int n = static_cast<int>(std::min<int64_t>(512, in.NumFrames() - pos));
    std::vector<float*> ip, op, sp;
    for (size_t c = 0; c < i.size(); c++)
    {
      for (int k = 0; k < n; k++)
        i[c][size_t(k)] = static_cast<float>(in.channels[c][size_t(pos + k)]);
      ip.push_back(i[c].data());
    }
    for (size_t c = 0; c < s.size(); c++)
    {
      for (int k = 0; k < n; k++)
        s[c][size_t(k)] = static_cast<float>(sc->channels[c][size_t(pos + k)]);
      sp.push_back(s[c].data());
    }
    for (auto& ch : o)
      op.push_back(ch.data());
    EXPECT_TRUE(fx->Process(n, ip, op, sp, error)) << error;
    fx->Idle(n * 1000.0 / 48000.0);
    for (size_t c = 0; c < o.size(); c++)
      for (int k = 0; k < n; k++)
        out.channels[c][size_t(pos + k)] = o[c][size_t(k)];
  }
  fx->Stop();
  return out;
}

class LV2Apply : public ::testing::Test
{
protected:
  void SetUp() override
  {
    mDir = fs::temp_directory_path() / ("brevant-lv2apply-" + std::to_string(::getpid()));
    fs::create_directories(mDir / "lv2");
    fs::create_directory_symlink(fs::absolute(BREVANT_LV2_BUNDLE), mDir / "lv2" / "Brevant.lv2");
  }
  void TearDown() override { fs::remove_all(mDir); }

  /** lv2apply over in; each control given as symbol and value. */
  AudioData Apply(const AudioData& in, const char* uri, const std::vector<std::pair<std::string, double>>& controls)
  {
    std::string error;
    const fs::path inFile = mDir / "in.wav", outFile = mDir / "out.wav";
    EXPECT_TRUE(brevant::host::WriteAudioFile(inFile, in, false, error)) << error;
    std::string cmd = LV2APPLY_ENV " LV2_PATH=" + (mDir / "lv2").string() + " " LV2APPLY " -i " + inFile.string() + " -o " +
                      outFile.string();
    for (const auto& [symbol, value] : controls)
      cmd += " -c " + symbol + " " + std::to_string(value);
    cmd += " " + std::string(uri) + " 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    AudioData out;
    EXPECT_TRUE(brevant::host::ReadAudioFile(outFile, out, error)) << error;
    return out;
  }

  fs::path mDir;
};

void ExpectIdentical(const AudioData& a, const AudioData& b)
{
  ASSERT_EQ(a.NumChannels(), b.NumChannels());
  ASSERT_EQ(a.NumFrames(), b.NumFrames());
  for (int c = 0; c < a.NumChannels(); c++)
  {
    for (int64_t i = 0; i < a.NumFrames(); i++)
    {
      if (a.channels[size_t(c)][size_t(i)] != b.channels[size_t(c)][size_t(i)])
      {
        ADD_FAILURE() << "channel " << c << " frame " << i << ": " << a.channels[size_t(c)][size_t(i)] << " vs "
                      << b.channels[size_t(c)][size_t(i)];
        return;
      }
    }
  }
}

TEST_F(LV2Apply, StereoWithItsSidechainRendersAsTheVST3Does)
{
  // lv2apply maps the file's channels onto every audio input in order: main left, right, side-chain left, right.
  const int frames = 48000;
  AudioData in = Material(2, frames, 1), sc = Material(2, frames, 77);
  AudioData four = in;
  four.channels.insert(four.channels.end(), sc.channels.begin(), sc.channels.end());
  const AudioData lv2 = Apply(four, "https://quillmere.example/brevant",
                              {{"low_input", 30}, {"mid_input", 24}, {"mid_sidechain", 1}, {"oversampling", 1}});
  const AudioData vst3 = RenderVST3(in, &sc, {{"Low Input", 30}, {"Mid Input", 24}, {"Mid Sidechain", 1},
                                              {"Oversampling", 1}});
  ExpectIdentical(lv2, vst3);
}

TEST_F(LV2Apply, MonoRendersAsTheVST3Does)
{
  // A mono file feeds the mono variant's input and side-chain alike.
  const AudioData in = Material(1, 24000, 5);
  const AudioData lv2 = Apply(in, "https://quillmere.example/brevant#mono", {{"high_input", 20}, {"high_sidechain", 1}});
  const AudioData vst3 = RenderVST3(in, &in, {{"High Input", 20}, {"High Sidechain", 1}});
  ExpectIdentical(lv2, vst3);
}

} // namespace
