// brevant-demo: makes a short stereo mix in code, renders it through the Brevant bundle the way a DAW would (block
// by block, the plug-in's timers running on the rendered time) with every band compressing audibly, writes both
// files and prints levels, latency, the gain reduction the three meters showed and the realtime factor.

#include "DemoInput.h"
#include "HostPresets.h"
#include "HostedPlugin.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <span>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace brevant;

namespace
{

struct Setting
{
  const char* title;
  double value;
};

// Every band driven well past its threshold, with a little make-up in its band.
const Setting kSettings[] = {
    {"Low Input", 30.0},    {"Mid Input", 32.0},     {"High Input", 28.0}, {"Low Output", 8.0},  {"Mid Output", 6.0},
    {"High Output", 10.0},  {"Low Attack", 10.0},    {"Mid Attack", 8.0},  {"High Attack", 4.0}, {"Low Release", 250.0},
    {"Mid Release", 200.0}, {"High Release", 150.0}, {"Output", 12.0}};

// Parameter IDs of the three meter channels (they carry no title).
constexpr ParamID kMeterIds[3] = {20, 21, 22};
const char* const kBandNames[3] = {"low", "mid", "high"};

double Db(double linear) { return linear > 0.0 ? 20.0 * std::log10(linear) : -INFINITY; }

std::string Fmt(const char* format, double v)
{
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

void PrintLevels(const char* what, const host::AudioData& audio)
{
  std::cout << "  " << what << ":";
  for (int c = 0; c < audio.NumChannels(); c++)
  {
    double peak = 0.0, sum = 0.0;
    for (double v : audio.channels[static_cast<size_t>(c)])
    {
      peak = std::max(peak, std::fabs(v));
      sum += v * v;
    }
    const double rms = audio.NumFrames() ? std::sqrt(sum / static_cast<double>(audio.NumFrames())) : 0.0;
    std::cout << (c ? "   " : " ")
              << (c == 0   ? "L"
                  : c == 1 ? "R"
                           : std::to_string(c).c_str())
              << " peak " << Fmt("%6.1f", Db(peak)) << " dBFS, RMS " << Fmt("%6.1f", Db(rms)) << " dBFS";
  }
  std::cout << "\n";
}

int Usage()
{
  std::cerr << "usage: brevant-demo [--bundle PATH] [--out DIR] [--seconds S] [--rate HZ] [--preset NAME]\n"
               "                    [--material mix|voice] [--key] [--set NAME=VALUE ...]\n"
               "  --bundle PATH   the Brevant.vst3 bundle (default build/Brevant.vst3)\n"
               "  --out DIR       where input.wav and output.wav go (default build/demo)\n"
               "  --seconds S     length of the generated mix, 1 to 600 (default 8)\n"
               "  --rate HZ       sample rate, 22050 to 192000 (default 48000)\n"
               "  --preset NAME   one of the plug-in's presets instead of the demo's settings\n"
               "  --material M    mix (drums, bass, chord; the default) or voice (a sung line)\n"
               "  --key           a kick on every beat into the side-chain input\n"
               "  --set NAME=VAL  a parameter's plain value, after the preset (repeatable)\n";
  return 2;
}

} // namespace

int main(int argc, char** argv)
{
  std::string bundle = "build/Brevant.vst3", outDir = "build/demo";
  double seconds = 8.0;
  int rate = 48000;
  std::string preset, material = "mix";
  bool key = false;
  std::vector<std::pair<std::string, double>> extra; // --set, after the preset
  for (int i = 1; i < argc; i++)
  {
    const std::string a = argv[i];
    if (a == "--key")
    {
      key = true;
      continue;
    }
    if (i + 1 >= argc)
      return Usage();
    const std::string v = argv[++i];
    if (a == "--bundle")
      bundle = v;
    else if (a == "--out")
      outDir = v;
    else if (a == "--seconds")
      seconds = std::atof(v.c_str());
    else if (a == "--rate")
      rate = std::atoi(v.c_str());
    else if (a == "--preset")
      preset = v;
    else if (a == "--set" && v.find('=') != std::string::npos)
      extra.push_back({v.substr(0, v.rfind('=')), std::atof(v.substr(v.rfind('=') + 1).c_str())});
    else if (a == "--material" && (v == "mix" || v == "voice"))
      material = v;
    else
      return Usage();
  }
  if (!(seconds >= 1.0 && seconds <= 600.0) || rate < 22050 || rate > 192000)
    return Usage();

  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  const std::string inPath = outDir + "/input.wav", outPath = outDir + "/output.wav";
  std::string error;

  const host::AudioData input = material == "voice" ? demo::MakeVoice(rate, seconds) : demo::MakeDemoMix(rate, seconds);
  const host::AudioData keyInput = key ? demo::MakeKickKey(rate, seconds) : host::AudioData{};
  if (!host::WriteAudioFile(inPath, input, false, error))
  {
    std::cerr << "brevant-demo: " << error << "\n";
    return 1;
  }

  auto module = host::HostModule::Load(bundle, error);
  auto plug = module ? host::HostedPlugin::Create(module, error) : nullptr;
  if (!plug)
  {
    std::cerr << "brevant-demo: " << error << "\n";
    return 1;
  }
  plug->SetBusArrangements({SpeakerArr::kStereo, SpeakerArr::kStereo}, {SpeakerArr::kStereo});
  if (key)
    plug->ActivateBus(kAudio, kInput, 1, true);
  std::string setArgs;
  if (!preset.empty())
  {
    if (!host::SelectProgram(*plug, preset, error))
    {
      std::cerr << "brevant-demo: " << error << "\n";
      return 1;
    }
    setArgs = " --preset \"" + preset + "\"";
  }
  for (const Setting& s : preset.empty() ? std::span<const Setting>(kSettings) : std::span<const Setting>())
  {
    const auto p = plug->FindParam(s.title);
    if (!p || !plug->SetParamPlain(p->id, s.value))
    {
      std::cerr << "brevant-demo: the bundle has no parameter \"" << s.title << "\"\n";
      return 1;
    }
    setArgs += std::string(" --set \"") + s.title + "=" + Fmt("%g", s.value) + "\"";
  }
  for (const auto& [title, value] : extra)
  {
    const auto p = plug->FindParam(title);
    if (!p || !plug->SetParamPlain(p->id, value))
    {
      std::cerr << "brevant-demo: the bundle has no parameter \"" << title << "\"\n";
      return 1;
    }
    setArgs += " --set \"" + title + "=" + Fmt("%g", value) + "\"";
  }
  constexpr int kBlock = 512;
  if (!plug->Setup(rate, kBlock, kSample32) || !plug->Start())
  {
    std::cerr << "brevant-demo: " << plug->LastError() << "\n";
    return 1;
  }

  host::AudioData output;
  output.sampleRate = rate;
  output.channels.assign(2, std::vector<double>(static_cast<size_t>(input.NumFrames())));
  std::vector<float> in32[2], out32[2], key32[2];
  for (int c = 0; c < 2; c++)
  {
    in32[c].resize(kBlock);
    out32[c].resize(kBlock);
    key32[c].resize(kBlock);
  }
  double meterMin[3] = {1.0, 1.0, 1.0}, meterDbSum[3] = {0.0, 0.0, 0.0};
  int readings = 0;
  std::chrono::nanoseconds busy{0};
  const int64_t frames = input.NumFrames();
  for (int64_t pos = 0; pos < frames; pos += kBlock)
  {
    const int n = static_cast<int>(std::min<int64_t>(kBlock, frames - pos));
    for (int c = 0; c < 2; c++)
      for (int i = 0; i < n; i++)
        in32[c][static_cast<size_t>(i)] =
            static_cast<float>(input.channels[static_cast<size_t>(c)][static_cast<size_t>(pos + i)]);
    if (key)
      for (int c = 0; c < 2; c++)
        for (int i = 0; i < n; i++)
          key32[c][static_cast<size_t>(i)] =
              static_cast<float>(keyInput.channels[static_cast<size_t>(c)][static_cast<size_t>(pos + i)]);
    float* ins[2] = {in32[0].data(), in32[1].data()};
    float* outs[2] = {out32[0].data(), out32[1].data()};
    float* keys[2] = {key32[0].data(), key32[1].data()};
    const auto start = std::chrono::steady_clock::now();
    const bool ok = key ? plug->Process(n, ins, outs, keys) : plug->Process(n, ins, outs);
    busy += std::chrono::steady_clock::now() - start;
    if (!ok)
    {
      std::cerr << "brevant-demo: " << plug->LastError() << "\n";
      return 1;
    }
    for (int c = 0; c < 2; c++)
      for (int i = 0; i < n; i++)
        output.channels[static_cast<size_t>(c)][static_cast<size_t>(pos + i)] = out32[c][static_cast<size_t>(i)];

    // The plug-in's main-thread timer runs on the rendered time; its meter readings land in the controller. The
    // first ones arrive after a timer interval.
    plug->Idle(n * 1000.0 / rate);
    if (pos + n < rate / 20)
      continue;
    for (int b = 0; b < 3; b++)
    {
      const double m = plug->GetParamNormalized(kMeterIds[b]);
      meterMin[b] = std::min(meterMin[b], m);
      meterDbSum[b] += Db(std::max(m, 1e-6));
    }
    readings++;
  }
  const uint32 latency = plug->LatencySamples();
  plug->Stop();

  if (!host::WriteAudioFile(outPath, output, false, error))
  {
    std::cerr << "brevant-demo: " << error << "\n";
    return 1;
  }

  const double busySeconds = std::chrono::duration<double>(busy).count();
  std::cout << "Brevant demo: " << Fmt("%.1f", seconds) << " s stereo " << (material == "voice" ? "voice" : "mix")
            << (key ? " (kick on the side-chain)" : "") << " at " << rate << " Hz, blocks of " << kBlock << ", through "
            << bundle << "\n";
  PrintLevels("input ", input);
  PrintLevels("output", output);
  std::cout << "  latency: " << latency << " samples\n";
  std::cout << "  gain reduction shown by the meters (deepest / mean over the render):\n";
  for (int b = 0; b < 3; b++)
    std::cout << "    " << kBandNames[b] << std::string(6 - std::char_traits<char>::length(kBandNames[b]), ' ')
              << Fmt("%6.1f", Db(meterMin[b])) << " dB / " << Fmt("%5.1f", meterDbSum[b] / std::max(readings, 1))
              << " dB\n";
  std::cout << "  realtime factor: " << Fmt("%.0f", busySeconds > 0 ? seconds / busySeconds : 0.0)
            << "x (one instance, " << Fmt("%.1f", busySeconds * 1000.0) << " ms of processing)\n";
  std::cout << "  files: " << inPath << ", " << outPath << "\n";
  std::cout << "  the same render with brevant-host:\n    brevant-host render " << bundle << " -i " << inPath << " -o "
            << outDir << "/output-host.wav" << setArgs << "\n";
  return 0;
}
