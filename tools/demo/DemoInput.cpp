#include "DemoInput.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace brevant::demo
{

namespace
{

constexpr double kTwoPi = 6.283185307179586;
constexpr double kBeat = 0.5; // 120 BPM

double MidiHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// Small deterministic noise source, so the file is the same on every machine.
class Noise
{
public:
  double Next()
  {
    mState ^= mState << 13;
    mState ^= mState >> 7;
    mState ^= mState << 17;
    return static_cast<double>(mState >> 11) * (2.0 / 9007199254740992.0) - 1.0;
  }

private:
  uint64_t mState = 0x9E3779B97F4A7C15ull;
};

} // namespace

host::AudioData MakeDemoMix(int sampleRate, double seconds)
{
  const double fs = sampleRate;
  const auto frames = static_cast<size_t>(std::max(0.0, seconds) * fs);
  host::AudioData mix;
  mix.sampleRate = sampleRate;
  mix.channels.assign(2, std::vector<double>(frames, 0.0));
  auto& L = mix.channels[0];
  auto& R = mix.channels[1];

  // Drums: kick on every beat, snare on 2 and 4, closed hats on the eighths.
  Noise noise;
  double kickPhase = 0.0, hatPrev = 0.0, hatPrev2 = 0.0;
  // Bass: a saw-like tone of six harmonics, one note per eighth.
  const int bassLine[8] = {33, 33, 45, 33, 36, 36, 31, 28};
  double bassPhase = 0.0;
  // Pad: an A major chord, two slightly detuned voices per note, spread across the stereo field.
  const int padNotes[3] = {57, 61, 64};
  double padPhase[6] = {};

  for (size_t n = 0; n < frames; ++n)
  {
    const double t = static_cast<double>(n) / fs;
    const double inBeat = std::fmod(t, kBeat);
    const int beat = static_cast<int>(t / kBeat);
    const double inEighth = std::fmod(t, kBeat / 2);
    const int eighth = static_cast<int>(t / (kBeat / 2));

    // Kick: a falling sine, 120 Hz down to 45 Hz.
    if (inBeat < 1.0 / fs)
      kickPhase = 0.0;
    kickPhase += kTwoPi * (45.0 + 75.0 * std::exp(-inBeat * 30.0)) / fs;
    const double kick = 0.9 * std::sin(kickPhase) * std::exp(-inBeat * 7.0);

    // Snare: noise and a 190 Hz body.
    const double white = noise.Next();
    double snare = 0.0;
    if (beat % 2 == 1)
      snare =
          0.35 * white * std::exp(-inBeat * 18.0) + 0.3 * std::sin(kTwoPi * 190.0 * inBeat) * std::exp(-inBeat * 25.0);

    // Hats: twice-differentiated noise (a crude high-pass), short decay.
    const double hp = white - 2.0 * hatPrev + hatPrev2;
    hatPrev2 = hatPrev;
    hatPrev = white;
    const double hat = 0.12 * hp * std::exp(-inEighth * (eighth % 2 ? 25.0 : 60.0));

    // Bass.
    const double bassHz = MidiHz(bassLine[eighth % 8]);
    bassPhase = std::fmod(bassPhase + kTwoPi * bassHz / fs, kTwoPi * 64);
    double saw = 0.0;
    for (int h = 1; h <= 6; ++h)
      saw += std::sin(bassPhase * h) / h;
    const double bassEnv = std::min(1.0, inEighth / 0.005) * (0.6 + 0.4 * std::exp(-inEighth * 12.0)) *
                           std::min(1.0, (kBeat / 2 - inEighth) / 0.01);
    const double bass = 0.28 * saw * bassEnv;

    // Pad with a slow swell.
    const double swell = std::min(1.0, t / 1.5) * (0.85 + 0.15 * std::sin(kTwoPi * 0.25 * t));
    double padL = 0.0, padR = 0.0;
    for (int v = 0; v < 6; ++v)
    {
      const double hz = MidiHz(padNotes[v / 2]) * (v % 2 ? 1.003 : 0.997);
      padPhase[v] = std::fmod(padPhase[v] + kTwoPi * hz / fs, kTwoPi);
      const double s = std::sin(padPhase[v]) + 0.2 * std::sin(2.0 * padPhase[v]);
      const double pan = 0.2 + 0.12 * v; // 0.2 .. 0.8 from left to right
      padL += s * (1.0 - pan);
      padR += s * pan;
    }
    padL *= 0.09 * swell;
    padR *= 0.09 * swell;

    const double centre = kick + snare + bass;
    L[n] = centre + 0.8 * hat + padL;
    R[n] = centre + 1.2 * hat + padR;
  }

  // Peak at -3 dBFS, with 10 ms fades so the file starts and ends in silence.
  double peak = 0.0;
  for (const auto& ch : mix.channels)
    for (double v : ch)
      peak = std::max(peak, std::fabs(v));
  const double scale = peak > 0.0 ? 0.7079457843841379 / peak : 0.0;
  const auto fade = static_cast<size_t>(0.01 * fs);
  for (auto& ch : mix.channels)
  {
    for (size_t n = 0; n < frames; ++n)
    {
      double g = scale;
      if (n < fade)
        g *= static_cast<double>(n) / fade;
      if (frames - 1 - n < fade)
        g *= static_cast<double>(frames - 1 - n) / fade;
      ch[n] *= g;
    }
  }
  return mix;
}

} // namespace brevant::demo

namespace brevant::demo
{

host::AudioData MakeVoice(int sampleRate, double seconds)
{
  // A sung line: a buzzy source with vibrato through three formants, in syllables of uneven loudness, so a
  // levelling preset has something to even out.
  const double fs = sampleRate;
  const auto frames = static_cast<size_t>(std::max(0.0, seconds) * fs);
  host::AudioData voice;
  voice.sampleRate = sampleRate;
  voice.channels.assign(2, std::vector<double>(frames, 0.0));

  const int notes[] = {57, 60, 62, 64, 62, 60, 59, 57};
  const double syllableGainDb[] = {-6.0, 0.0, -14.0, -3.0, -18.0, -8.0, 0.0, -12.0};
  const double formantHz[3] = {700.0, 1200.0, 2600.0};
  const double formantGain[3] = {1.0, 0.6, 0.25};
  double formantState[3][2] = {};
  double phase = 0.0;
  for (size_t i = 0; i < frames; i++)
  {
    const double t = static_cast<double>(i) / fs;
    const int syllable = static_cast<int>(t / 0.4);
    const double inSyllable = t - syllable * 0.4;
    const double hz = MidiHz(notes[syllable % 8]) * (1.0 + 0.01 * std::sin(kTwoPi * 5.5 * t));
    phase += hz / fs;
    phase -= std::floor(phase);
    const double source = 2.0 * phase - 1.0;
    // Each syllable swells in and decays, with a short gap before the next.
    const double env = std::min(1.0, inSyllable / 0.03) * std::exp(-inSyllable * 2.5) * (inSyllable < 0.36 ? 1.0 : 0.0);
    double out = 0.0;
    for (int f = 0; f < 3; f++)
    {
      // Two-pole resonator at the formant.
      const double r = 0.995, w = kTwoPi * formantHz[f] / fs;
      const double y = source * (1.0 - r) + 2.0 * r * std::cos(w) * formantState[f][0] - r * r * formantState[f][1];
      formantState[f][1] = formantState[f][0];
      formantState[f][0] = y;
      out += formantGain[f] * y;
    }
    const double g = std::pow(10.0, syllableGainDb[syllable % 8] / 20.0);
    voice.channels[0][i] = voice.channels[1][i] = 4.0 * out * env * g;
  }
  // Peak near -3 dBFS, as the mix.
  double peak = 0.0;
  for (double v : voice.channels[0])
    peak = std::max(peak, std::fabs(v));
  if (peak > 0.0)
    for (auto& ch : voice.channels)
      for (double& v : ch)
        v *= 0.708 / peak;
  return voice;
}

host::AudioData MakeKickKey(int sampleRate, double seconds)
{
  // A kick on every beat at 120 BPM: the key a ducking preset listens to.
  const double fs = sampleRate;
  const auto frames = static_cast<size_t>(std::max(0.0, seconds) * fs);
  host::AudioData key;
  key.sampleRate = sampleRate;
  key.channels.assign(2, std::vector<double>(frames, 0.0));
  for (size_t i = 0; i < frames; i++)
  {
    const double t = std::fmod(static_cast<double>(i) / fs, kBeat);
    const double v = 0.7 * std::sin(kTwoPi * 55.0 * t) * std::exp(-t * 12.0);
    key.channels[0][i] = key.channels[1][i] = v;
  }
  return key;
}

} // namespace brevant::demo
