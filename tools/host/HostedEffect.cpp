#include "HostedEffect.h"

#include "HostPresets.h"
#include "HostedClap.h"
#include "HostedLV2.h"
#include "HostedPlugin.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <sstream>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace brevant::host
{

namespace
{
std::string Quote(const std::string& s) { return "\"" + s + "\""; }

SpeakerArrangement ArrangementFor(int channels)
{
  if (channels == 1)
    return SpeakerArr::kMono;
  if (channels == 2)
    return SpeakerArr::kStereo;
  if (channels <= 0 || channels > 64)
    return SpeakerArr::kEmpty;
  return channels == 64 ? ~SpeakerArrangement(0) : (SpeakerArrangement(1) << channels) - 1;
}

// The VST3 back end: a HostedPlugin, its buses arranged for the files to be processed.
class HostedVST3Effect final : public HostedEffect
{
public:
  HostedVST3Effect(std::shared_ptr<HostModule> module, std::unique_ptr<HostedPlugin> plug, std::string name)
      : mModule(std::move(module)), mOwned(std::move(plug)), mPlug(mOwned.get()), mName(std::move(name))
  {
  }
  HostedVST3Effect(HostedPlugin& plug, std::string name) : mPlug(&plug), mName(std::move(name)) {}

  const char* Format() const override { return "VST3"; }
  std::string Name() const override { return mName; }
  std::string LibraryPath() const override { return mModule ? mModule->LibraryPath() : std::string(); }
  void Describe(std::ostream& out) override { out << "effect " << Quote(mName) << " (VST3)\n"; }

  bool SetParam(const std::string& name, double plain, std::string& shown, std::string& error) override
  {
    const auto param = mPlug->FindParam(name);
    if (!param)
    {
      error = "unknown parameter " + Quote(name) + " (brevant-host info lists the parameters)";
      return false;
    }
    if (!mPlug->SetParamPlain(param->id, plain))
    {
      error = mPlug->LastError();
      return false;
    }
    const double normalized = mPlug->GetParamNormalized(param->id);
    std::ostringstream line;
    line << Quote(param->title) << " = " << plain << " " << param->units << " (normalized " << normalized
         << ", shown as " << Quote(mPlug->ParamValueText(param->id, normalized)) << ")";
    shown = line.str();
    return true;
  }

  bool SelectPreset(const std::string& name, std::string& error) override { return SelectProgram(*mPlug, name, error); }

  bool GetState(std::vector<std::uint8_t>& data, std::string& error) override
  {
    if (mPlug->GetState(data))
      return true;
    error = mPlug->LastError();
    return false;
  }
  bool SetState(const std::vector<std::uint8_t>& data, std::string& error) override
  {
    if (mPlug->SetState(data))
      return true;
    error = mPlug->LastError();
    return false;
  }

  bool Prepare(double sampleRate, int maxBlock, int inChannels, int scChannels, bool doubles,
               std::string& error) override
  {
    if (!ArrangeVST3Buses(*mPlug, inChannels, scChannels, error))
      return false;
    if (!mPlug->Setup(sampleRate, maxBlock, doubles ? kSample64 : kSample32, kOffline) || !mPlug->Start())
    {
      error = mPlug->LastError();
      return false;
    }
    uint32 latency = 0;
    mPlug->TakeLatencyChange(latency); // restarts before processing are covered by LatencySamples
    return true;
  }
  int OutputChannels() const override { return mPlug->BusChannels(kOutput, 0); }
  bool Process(int frames, std::span<float* const> in, std::span<float* const> out, std::span<float* const> sidechain,
               std::string& error) override
  {
    if (mPlug->Process(frames, in, out, sidechain))
      return true;
    error = mPlug->LastError();
    return false;
  }
  bool Process(int frames, std::span<double* const> in, std::span<double* const> out,
               std::span<double* const> sidechain, std::string& error) override
  {
    if (mPlug->Process(frames, in, out, sidechain))
      return true;
    error = mPlug->LastError();
    return false;
  }
  void Idle(double ms) override { mPlug->Idle(ms); }
  void Stop() override { mPlug->Stop(); }
  uint32_t LatencySamples() const override { return mPlug->LatencySamples(); }
  bool TakeLatencyChange(uint32_t& latency) override
  {
    uint32 l = 0;
    if (!mPlug->TakeLatencyChange(l))
      return false;
    latency = l;
    return true;
  }

private:
  std::shared_ptr<HostModule> mModule;
  std::unique_ptr<HostedPlugin> mOwned;
  HostedPlugin* mPlug;
  std::string mName;
};

} // namespace

bool ArrangeVST3Buses(HostedPlugin& plug, int inChannels, int scChannels, std::string& error)
{
  const auto inBuses = plug.Buses(kAudio, kInput);
  const auto outBuses = plug.Buses(kAudio, kOutput);
  if (inBuses.empty() || outBuses.empty())
  {
    error = "the plug-in has no audio input or output bus";
    return false;
  }
  if (scChannels > 0 && inBuses.size() < 2)
  {
    error = "the plug-in has no side-chain input";
    return false;
  }
  std::vector<SpeakerArrangement> ins, outs;
  for (const auto& b : inBuses)
    ins.push_back(b.arrangement);
  for (const auto& b : outBuses)
    outs.push_back(b.arrangement);
  ins[0] = ArrangementFor(inChannels);
  if (scChannels > 0)
    ins[1] = ArrangementFor(scChannels);
  auto sameOut = outs;
  sameOut[0] = ins[0];

  std::vector<std::pair<std::vector<SpeakerArrangement>, std::vector<SpeakerArrangement>>> attempts = {{ins, sameOut}};
  if (scChannels == 0)
    attempts.push_back({{ins[0]}, {ins[0]}});
  attempts.push_back({ins, outs});
  for (auto& [i, o] : attempts)
  {
    if (plug.SetBusArrangements(i, o))
      break;
  }
  // Whatever was accepted, the buses must now fit the files (a plug-in refusing every request may still fit).
  if (plug.BusChannels(kInput, 0) != inChannels || (scChannels > 0 && plug.BusChannels(kInput, 1) != scChannels) ||
      plug.BusChannels(kOutput, 0) <= 0)
  {
    error = "the plug-in does not accept " + std::to_string(inChannels) + "-channel input";
    if (scChannels > 0)
      error += " with a " + std::to_string(scChannels) + "-channel side-chain";
    return false;
  }
  if (plug.Buses(kAudio, kInput).size() >= 2 && !plug.ActivateBus(kAudio, kInput, 1, scChannels > 0))
  {
    error = plug.LastError();
    return false;
  }
  return true;
}

const ClassInfo* ChooseVST3Effect(const HostModule& module, const std::string& className, std::string& error)
{
  if (className.empty())
  {
    const auto effects = module.AudioEffects();
    if (effects.empty())
      error = "the module " + module.Path() + " has no audio effect class";
    return effects.empty() ? nullptr : effects.front();
  }
  const ClassInfo* cls = module.FindClass(className);
  if (!cls || !cls->IsAudioEffect())
  {
    error = "the module has no audio effect named " + Quote(className);
    return nullptr;
  }
  return cls;
}

std::unique_ptr<HostedEffect> HostedEffect::Borrow(HostedPlugin& plug, const std::string& name)
{
  return std::make_unique<HostedVST3Effect>(plug, name);
}

bool HostedEffect::IsClapPath(const std::string& path)
{
  return path.size() > 5 && path.compare(path.size() - 5, 5, ".clap") == 0;
}

bool HostedEffect::IsLV2Path(const std::string& path) { return HostedLV2::IsLV2(path); }

std::unique_ptr<HostedEffect> HostedEffect::Open(const std::string& path, const std::string& className,
                                                 std::string& error)
{
  if (IsLV2Path(path))
    return HostedLV2::Create(path, className, error);
  if (IsClapPath(path))
    return HostedClap::Create(path, className, error);
  auto module = HostModule::Load(path, error);
  if (!module)
    return nullptr;
  const ClassInfo* cls = ChooseVST3Effect(*module, className, error);
  if (!cls)
    return nullptr;
  auto plug = HostedPlugin::Create(module, *cls, error);
  if (!plug)
    return nullptr;
  const std::string name = cls->name;
  return std::make_unique<HostedVST3Effect>(std::move(module), std::move(plug), name);
}

} // namespace brevant::host
