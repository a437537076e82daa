// The Turtle files of an LV2 bundle, written from a plug-in's own tables: manifest.ttl (what is where), the plug-in
// description (one lv2:Plugin per variant, its ports from the parameter table, the editor) and presets.ttl (the
// factory presets as pset:Preset). Nothing in them is written by hand, so the ports a host reads always match the
// ones the binding connects.
//
// Typical use (brevant-lv2ttl, at build time):
//   std::unique_ptr<IPlugLV2> plug(MakeLV2Plug(InstanceInfo{}));
//   LV2Description d{*plug, "Brevant.so", "Brevant.ttl"};
//   d.WriteBundle("build/Brevant.lv2", error);
#pragma once

#include <ostream>
#include <string>

namespace iplug
{
class IPlugLV2;
}

namespace brevant::lv2
{

/** A valid Turtle/LV2 symbol made from a name: lowercase, runs of other characters as one '_'. */
std::string SymbolFromName(const std::string& name);

class LV2Description
{
public:
  LV2Description(iplug::IPlugLV2& plug, std::string binary, std::string descriptionFile)
      : mPlug(plug), mBinary(std::move(binary)), mDescription(std::move(descriptionFile))
  {
  }

  void WriteManifest(std::ostream& out) const;
  void WritePlugins(std::ostream& out) const;
  /** Restores each factory preset in turn (the plug-in's values change) and writes its port values. */
  void WritePresets(std::ostream& out) const;
  /** All three files into bundleDir; false with the reason in error. */
  bool WriteBundle(const std::string& bundleDir, std::string& error) const;

private:
  void WritePorts(std::ostream& out, int nIn, int nSC, int nOut) const;
  std::string ParamName(int idx) const;
  std::string PresetURI(int idx) const;

  iplug::IPlugLV2& mPlug;
  std::string mBinary;
  std::string mDescription;
};

} // namespace brevant::lv2
