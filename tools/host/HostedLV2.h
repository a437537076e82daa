// One instance of an LV2 plug-in, hosted through lilv the way a Linux DAW hosts it: the bundle loaded into a lilv
// world (or, for a plug-in URI, every installed bundle), the plug-in instantiated with urid:map/unmap, options (block
// lengths) and bufsz:boundedBlockLength, its control ports connected to values this host owns, its audio ports to
// the caller's buffers block by block, state saved and restored through the state extension.
//
// A bundle may hold variants of one effect (stereo and mono): until Prepare the host shows the one with the widest
// main input; Prepare instantiates the variant whose main input has the channel count asked for (unless a URI chose
// one), at the real sample rate and block length. Port values and any state given before carry over.
//
// Typical use:
//   std::string error;
//   auto plug = HostedLV2::Create("build/Brevant.lv2", "", error);    // or a plug-in URI
//   plug->SetParam("Low Input", 24.0, shown, error);                  // by lv2:name, symbol or "#index"
//   plug->Prepare(48000.0, 512, 1, 0, false, error);                   // mono in: the mono variant; 32-bit only
//   plug->Process(n, in, out, sidechain, error);                       // float* channel lists
//   plug->Stop();
#pragma once

#include "HostedEffect.h"

#include <lilv/lilv.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <deque>
#include <unordered_map>

namespace brevant::host
{

class HostedLV2 final : public HostedEffect
{
public:
  /** pathOrUri: a bundle folder, or a plug-in URI looked up among the installed ones. uri (the --class option):
   * which plug-in of the bundle, by URI or name; empty: chosen by channel count at Prepare. */
  static std::unique_ptr<HostedLV2> Create(const std::string& pathOrUri, const std::string& uri, std::string& error);
  /** True when the argument names an LV2 bundle folder or a plug-in URI. */
  static bool IsLV2(const std::string& pathOrUri);
  ~HostedLV2() override;
  HostedLV2(const HostedLV2&) = delete;
  HostedLV2& operator=(const HostedLV2&) = delete;

  const char* Format() const override { return "LV2"; }
  std::string Name() const override;
  std::string LibraryPath() const override;
  std::string Uri() const;
  void Describe(std::ostream& out) override;

  bool SetParam(const std::string& name, double plain, std::string& shown, std::string& error) override;
  /** The plug-in's pset:Preset resources in the world, by rdfs:label (or URI). */
  bool SelectPreset(const std::string& name, std::string& error) override;
  std::vector<std::string> PresetNames() const;

  /** The state extension: the bytes of the state property the plug-in stores. */
  bool GetState(std::vector<std::uint8_t>& data, std::string& error) override;
  bool SetState(const std::vector<std::uint8_t>& data, std::string& error) override;

  /** LV2 audio ports carry 32-bit floats: doubles is refused. */
  bool Prepare(double sampleRate, int maxBlock, int inChannels, int scChannels, bool doubles,
               std::string& error) override;
  int OutputChannels() const override;
  bool Process(int frames, std::span<float* const> in, std::span<float* const> out, std::span<float* const> sidechain,
               std::string& error) override;
  bool Process(int frames, std::span<double* const> in, std::span<double* const> out,
               std::span<double* const> sidechain, std::string& error) override;
  void Idle(double) override {}
  void Stop() override;

  uint32_t LatencySamples() const override { return mLatency; }
  bool TakeLatencyChange(uint32_t& latency) override;

  /** The value this host holds for a control port (inputs as set, outputs as last written by the plug-in: NaN
   * before it ran). */
  float PortValue(uint32_t index) const { return index < mValues.size() ? mValues[index] : 0.f; }
  uint32_t NumPorts() const { return static_cast<uint32_t>(mVariants[mCurrent].ports.size()); }
  bool IsControlPort(uint32_t index) const;
  /** An editor's edit: the control input's new value (clamped to its range), read by the next block. */
  bool SetPortValue(uint32_t index, float value);
  /** The plug-in's X11 editor: its URI, shared object and bundle folder (with a trailing '/'). */
  bool FindX11UI(std::string& uiUri, std::string& binaryPath, std::string& bundlePath, std::string& error) const;

private:
  enum class Kind
  {
    kAudio,
    kControl,
    kOther
  };
  struct Port
  {
    uint32_t index = 0;
    std::string symbol, name, unit;
    Kind kind = Kind::kOther;
    bool input = false, sidechain = false, optional = false;
    bool toggled = false, integer = false, enumeration = false, logarithmic = false;
    bool enabled = false, latency = false; // designations
    float min = 0.f, max = 1.f, def = 0.f;
    std::vector<std::pair<float, std::string>> scalePoints;
  };
  // One plug-in of the bundle and what this host reads from its description.
  struct Variant
  {
    const LilvPlugin* plugin = nullptr;
    std::vector<Port> ports;
    std::vector<uint32_t> ins, sideIns, outs; // audio port indices: main input, side-chain input, output
    int latencyPort = -1;
    bool inPlaceBroken = false;
  };

  HostedLV2() = default;
  Variant Read(const LilvPlugin* plugin) const;
  const Port* FindPort(const std::string& name) const;
  std::string Shown(const Port& p, float value) const;
  void DescribeVariant(const Variant& v, std::ostream& out) const;
  std::vector<std::string> PresetNamesOf(const LilvPlugin* plugin) const;
  bool Instantiate(const Variant& v, double sampleRate, int maxBlock, std::string& error);
  void FreeInstance();
  /** Control input values of one variant, by symbol, for another (defaults where it has no such port). */
  static std::vector<float> Carry(const Variant& from, const std::vector<float>& values, const Variant& to);
  const LV2_State_Interface* StateInterface() const;
  void ReadLatency();

  LV2_URID Map(const char* uri);
  static LV2_URID MapCallback(LV2_URID_Map_Handle handle, const char* uri);
  static const char* UnmapCallback(LV2_URID_Unmap_Handle handle, LV2_URID urid);

  LilvWorld* mWorld = nullptr;
  std::vector<Variant> mVariants;
  bool mChosenByUri = false; // a URI named the plug-in: no choice by channel count
  size_t mCurrent = 0;       // the variant instantiated (or shown, before Prepare)

  // URIDs: a string's id is its position + 1; the deque keeps the strings where unmap returned them.
  std::unordered_map<std::string, LV2_URID> mUrids;
  std::deque<std::string> mUris;
  LV2_URID_Map mMap{};
  LV2_URID_Unmap mUnmap{};
  int32_t mBlockMin = 0, mBlockMax = 4096, mBlockNominal = 4096;
  std::vector<LV2_Options_Option> mOptions;
  LV2_Feature mMapFeature{}, mUnmapFeature{}, mOptionsFeature{}, mBoundedFeature{};
  std::vector<const LV2_Feature*> mFeatures;

  LilvInstance* mInstance = nullptr;
  bool mStateGiven = false;        // state or a preset went to the instance; it moves with it to the next instance
  std::vector<float> mStateValues; // the port values when it went
  bool mActive = false;
  double mSampleRate = 48000.0;
  int mMaxBlock = 0;
  int mInChannels = 0, mScChannels = 0;
  std::vector<float> mValues;  // one per port: control ports read and write here
  std::vector<float> mSilence; // for a side-chain the plug-in needs connected when none is given
  uint32_t mLatency = 0;
  bool mLatencyChanged = false;
};

} // namespace brevant::host
