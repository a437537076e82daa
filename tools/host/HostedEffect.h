// One instance of an audio effect of any format brevant-host hosts, behind the interface its commands are written
// against: a VST3 bundle (HostedPlugin underneath), a CLAP file (HostedClap) or an LV2 plug-in (HostedLV2). The format
// is told by the path: a file ending in ".clap" is CLAP; a folder ending in ".lv2" (or holding a manifest.ttl) or a
// plug-in URI ("http://", "https://", "urn:") is LV2; anything else a VST3 bundle.
//
// Typical use:
//   std::string error;
//   auto fx = HostedEffect::Open("build/Brevant.clap", "", error);   // or .vst3, .lv2; class name (LV2: URI) optional
//   fx->SetParam("Low Input", 24.0, error);                           // by name (or "#id"), plain value
//   fx->Prepare(48000.0, 512, 2, 0, false, error);                    // channels in, side-chain; 32-bit samples
//   fx->Process(n, in, out, sidechain);                                // float* (or double*) channel lists
//   fx->Idle(n * 1000.0 / 48000.0);                                    // the plug-in's main-thread work
//   fx->Stop();
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace brevant::host
{

class HostedPlugin;
class HostModule;
struct ClassInfo;

/** The module's effect class named className, or its first audio effect when the name is empty; null with the
 * reason in error. */
const ClassInfo* ChooseVST3Effect(const HostModule& module, const std::string& className, std::string& error);

/** Asks a VST3 plug-in for buses of the files' channel counts (the output following the input), then settles for
 * whatever fits them; activates the side-chain bus when scChannels > 0. */
bool ArrangeVST3Buses(HostedPlugin& plug, int inChannels, int scChannels, std::string& error);

class HostedEffect
{
public:
  /** The effect in the file or bundle at path (className: which class of a VST3 module; empty: the first effect). */
  static std::unique_ptr<HostedEffect> Open(const std::string& path, const std::string& className, std::string& error);
  /** The interface over a VST3 instance the caller keeps (its editor open, say). */
  static std::unique_ptr<HostedEffect> Borrow(HostedPlugin& plug, const std::string& name);
  /** True when path names a CLAP file. */
  static bool IsClapPath(const std::string& path);
  /** True when path names an LV2 bundle folder or is a plug-in URI. */
  static bool IsLV2Path(const std::string& path);

  virtual ~HostedEffect() = default;

  /** "CLAP", "LV2" or "VST3". */
  virtual const char* Format() const = 0;
  virtual std::string Name() const = 0;
  /** The shared object loaded. */
  virtual std::string LibraryPath() const = 0;
  /** What a host learns about the module and the effect: classes or descriptor, buses or ports, parameters. */
  virtual void Describe(std::ostream& out) = 0;

  /** Sets a parameter by name ("#id": by id) to a plain value; shown receives how the plug-in displays it. */
  virtual bool SetParam(const std::string& name, double plain, std::string& shown, std::string& error) = 0;

  /** Chooses a factory preset by name, as a DAW's preset menu does. False with the reason in error. */
  virtual bool SelectPreset(const std::string& name, std::string& error) = 0;

  virtual bool GetState(std::vector<std::uint8_t>& data, std::string& error) = 0;
  virtual bool SetState(const std::vector<std::uint8_t>& data, std::string& error) = 0;

  /** Arranges the buses for these channel counts (scChannels 0: no side-chain), sets up and starts processing. */
  virtual bool Prepare(double sampleRate, int maxBlock, int inChannels, int scChannels, bool doubles,
                       std::string& error) = 0;
  virtual int OutputChannels() const = 0;
  virtual bool Process(int frames, std::span<float* const> in, std::span<float* const> out,
                       std::span<float* const> sidechain, std::string& error) = 0;
  virtual bool Process(int frames, std::span<double* const> in, std::span<double* const> out,
                       std::span<double* const> sidechain, std::string& error) = 0;
  /** Main-thread work between blocks: ms of rendered time passed. */
  virtual void Idle(double ms) = 0;
  virtual void Stop() = 0;

  virtual uint32_t LatencySamples() const = 0;
  /** True once after the plug-in reported a new latency; latency receives it. */
  virtual bool TakeLatencyChange(uint32_t& latency) = 0;
};

} // namespace brevant::host
