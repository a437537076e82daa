#include "LV2Description.h"

#include "IPlugLV2.h"
#include "IPlugLV2_Entry.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

using namespace iplug;

namespace brevant::lv2
{

namespace
{
const char* kPrefixes = R"(@prefix atom:   <http://lv2plug.in/ns/ext/atom#> .
@prefix bufsz:  <http://lv2plug.in/ns/ext/buf-size#> .
@prefix doap:   <http://usefulinc.com/ns/doap#> .
@prefix foaf:   <http://xmlns.com/foaf/0.1/> .
@prefix lv2:    <http://lv2plug.in/ns/lv2core#> .
@prefix opts:   <http://lv2plug.in/ns/ext/options#> .
@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .
@prefix pset:   <http://lv2plug.in/ns/ext/presets#> .
@prefix rdf:    <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .
@prefix rdfs:   <http://www.w3.org/2000/01/rdf-schema#> .
@prefix state:  <http://lv2plug.in/ns/ext/state#> .
@prefix ui:     <http://lv2plug.in/ns/extensions/ui#> .
@prefix units:  <http://lv2plug.in/ns/extensions/units#> .
@prefix urid:   <http://lv2plug.in/ns/ext/urid#> .

)";

/** A Turtle string literal. */
std::string Quoted(const std::string& s)
{
  std::string q = "\"";
  for (char c : s)
  {
    if (c == '"' || c == '\\')
      q += '\\';
    q += c;
  }
  return q + "\"";
}

/** A decimal literal that reads back as the same float (ports hold floats). */
std::string Number(double v)
{
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  std::string s = buf;
  if (s.find_first_of(".eE") == std::string::npos)
    s += ".0";
  return s;
}

/** The units: term for a parameter's label, or empty. */
std::string UnitFor(const IParam& p)
{
  const std::string label = p.GetCustomUnit() ? p.GetCustomUnit() : "";
  if (label == "ms")
    return "units:ms";
  if (label == "s")
    return "units:s";
  if (label == "dB")
    return "units:db";
  if (label == "Hz")
    return "units:hz";
  if (label == "kHz")
    return "units:khz";
  if (label == "%")
    return "units:pc";
  switch (p.Unit())
  {
  case IParam::kUnitPercentage: return "units:pc";
  case IParam::kUnitSeconds: return "units:s";
  case IParam::kUnitMilliseconds: return "units:ms";
  case IParam::kUnitDB: return "units:db";
  case IParam::kUnitFrequency: return "units:hz";
  case IParam::kUnitSemitones: return "units:semitone12TET";
  case IParam::kUnitCents: return "units:cent";
  case IParam::kUnitBPM: return "units:bpm";
  default: return "";
  }
}
} // namespace

std::string SymbolFromName(const std::string& name)
{
  std::string s;
  bool gap = false;
  for (unsigned char c : name)
  {
    if (std::isalnum(c))
    {
      if (gap && !s.empty())
        s += '_';
      gap = false;
      s += static_cast<char>(std::tolower(c));
    }
    else
      gap = true;
  }
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0])))
    s = "_" + s;
  return s;
}

std::string LV2Description::ParamName(int idx) const
{
  const IParam* p = mPlug.GetParam(idx);
  if (p && p->GetName()[0])
    return p->GetName();
  if (const char* name = GetLV2PortName(idx))
    return name;
  return "Param " + std::to_string(idx);
}

std::string LV2Description::PresetURI(int idx) const
{
  int count = 0;
  const LV2Variant* variants = GetLV2Variants(count);
  return std::string(variants[0].uri) + "#preset-" + SymbolFromName(mPlug.GetPresetName(idx));
}

void LV2Description::WriteManifest(std::ostream& out) const
{
  int count = 0;
  const LV2Variant* variants = GetLV2Variants(count);
  out << kPrefixes;
  for (int i = 0; i < count; i++)
  {
    out << "<" << variants[i].uri << ">\n  a lv2:Plugin ;\n  lv2:binary <" << mBinary << "> ;\n  rdfs:seeAlso <"
        << mDescription << "> .\n\n";
  }
  out << "<" << GetLV2UIURI() << ">\n  a ui:X11UI ;\n  ui:binary <" << mBinary << "> ;\n  rdfs:seeAlso <"
      << mDescription << "> .\n\n";
  for (int i = 0; i < mPlug.NPresets(); i++)
  {
    out << "<" << PresetURI(i) << ">\n  a pset:Preset ;\n";
    for (int v = 0; v < count; v++)
      out << "  lv2:appliesTo <" << variants[v].uri << "> ;\n";
    out << "  rdfs:seeAlso <presets.ttl> .\n\n";
  }
}

void LV2Description::WritePorts(std::ostream& out, int nIn, int nSC, int nOut) const
{
  const LV2PortLayout l = LV2PortLayout::Make(mPlug.NParams(), nIn, nSC, nOut);
  std::set<std::string> symbols;
  auto unique = [&symbols](std::string s)
  {
    const std::string base = s;
    for (int n = 2; symbols.count(s); n++)
      s = base + "_" + std::to_string(n);
    symbols.insert(s);
    return s;
  };
  bool first = true;
  auto open = [&out, &first](const char* kinds, uint32_t index, const std::string& symbol, const std::string& name)
  {
    out << (first ? "  lv2:port [\n" : " , [\n");
    first = false;
    out << "    a " << kinds << " ;\n    lv2:index " << index << " ;\n    lv2:symbol " << Quoted(symbol)
        << " ;\n    lv2:name " << Quoted(name);
  };

  for (int i = 0; i < mPlug.NParams(); i++)
  {
    const IParam& p = *mPlug.GetParam(i);
    const std::string name = ParamName(i);
    const std::string symbol = unique(SymbolFromName(name));
    if (p.Type() == IParam::kTypeNone)
    {
      // Driven by the plug-in: a reading hosts show as a meter.
      open("lv2:OutputPort, lv2:ControlPort", static_cast<uint32_t>(i), symbol, name);
      out << " ;\n    lv2:minimum 0.0 ;\n    lv2:maximum 1.0\n  ]";
      continue;
    }
    open("lv2:InputPort, lv2:ControlPort", static_cast<uint32_t>(i), symbol, name);
    out << " ;\n    lv2:default " << Number(p.GetDefault()) << " ;\n    lv2:minimum " << Number(p.GetMin())
        << " ;\n    lv2:maximum " << Number(p.GetMax());
    const bool integer = p.Type() == IParam::kTypeBool || p.Type() == IParam::kTypeInt || p.Type() == IParam::kTypeEnum;
    const bool toggle = p.Type() == IParam::kTypeBool || (integer && p.GetMin() == 0.0 && p.GetMax() == 1.0);
    std::vector<std::string> props;
    if (integer)
      props.push_back("lv2:integer");
    if (toggle)
      props.push_back("lv2:toggled");
    if (p.Type() == IParam::kTypeEnum || (integer && !toggle && p.NDisplayTexts() > 0))
      props.push_back("lv2:enumeration");
    if (p.DisplayType() == IParam::kDisplayLog)
      props.push_back("pprops:logarithmic");
    if (!p.GetCanAutomate())
      props.push_back("pprops:notAutomatic");
    for (size_t k = 0; k < props.size(); k++)
      out << (k == 0 ? " ;\n    lv2:portProperty " : ", ") << props[k];
    const std::string unit = UnitFor(p);
    if (!unit.empty())
      out << " ;\n    units:unit " << unit;
    for (int t = 0; t < p.NDisplayTexts(); t++)
    {
      double value = 0.0;
      const char* text = p.GetDisplayTextAtIdx(t, &value);
      out << (t == 0 ? " ;\n    lv2:scalePoint [ " : " , [ ") << "rdfs:label " << Quoted(text ? text : "")
          << " ; rdf:value " << Number(value) << " ]";
    }
    out << "\n  ]";
  }

  auto audio = [&](const char* kinds, uint32_t base, int n, const char* stem, const char* nameStem, bool sidechain)
  {
    static const char* kStereo[] = {"_l", "_r"};
    static const char* kStereoNames[] = {" Left", " Right"};
    for (int c = 0; c < n; c++)
    {
      const std::string suffix = n == 2 ? kStereo[c] : (n == 1 ? "" : "_" + std::to_string(c + 1));
      const std::string nameSuffix = n == 2 ? kStereoNames[c] : (n == 1 ? "" : " " + std::to_string(c + 1));
      open(kinds, base + static_cast<uint32_t>(c), unique(std::string(stem) + suffix), nameStem + nameSuffix);
      if (sidechain)
        out << " ;\n    lv2:portProperty lv2:isSideChain, lv2:connectionOptional";
      out << "\n  ]";
    }
  };
  audio("lv2:InputPort, lv2:AudioPort", l.audioIn, nIn, "in", "In", false);
  audio("lv2:InputPort, lv2:AudioPort", l.sidechainIn, nSC, "sc", "Side-chain", true);
  audio("lv2:OutputPort, lv2:AudioPort", l.audioOut, nOut, "out", "Out", false);

  open("lv2:OutputPort, lv2:ControlPort", l.latency, unique("latency"), "Latency");
  out << " ;\n    lv2:designation lv2:latency ;\n    lv2:portProperty lv2:reportsLatency, lv2:integer, "
         "pprops:notOnGUI ;\n    lv2:minimum 0.0 ;\n    lv2:maximum 8192.0 ;\n    units:unit units:frame\n  ]";
  open("lv2:InputPort, lv2:ControlPort", l.enabled, unique("enabled"), "Enabled");
  out << " ;\n    lv2:designation lv2:enabled ;\n    lv2:portProperty lv2:toggled, lv2:integer, pprops:notOnGUI ;\n"
         "    lv2:default 1.0 ;\n    lv2:minimum 0.0 ;\n    lv2:maximum 1.0\n  ]";
  out << " .\n\n";
}

void LV2Description::WritePlugins(std::ostream& out) const
{
  int count = 0;
  const LV2Variant* variants = GetLV2Variants(count);
  out << kPrefixes;
  for (int i = 0; i < count; i++)
  {
    const LV2Variant& v = variants[i];
    std::string name = mPlug.GetPluginName();
    if (i > 0 && v.nOut == 1)
      name += " Mono";
    out << "<" << v.uri << ">\n  a lv2:Plugin, lv2:CompressorPlugin ;\n  doap:name " << Quoted(name) << " ;\n"
        << "  doap:maintainer [ foaf:name " << Quoted(mPlug.GetMfrName()) << " ] ;\n"
        << "  lv2:minorVersion 0 ;\n  lv2:microVersion 0 ;\n"
        << "  lv2:optionalFeature lv2:hardRTCapable, urid:map, opts:options, bufsz:boundedBlockLength ;\n"
        << "  opts:supportedOption bufsz:maxBlockLength, bufsz:nominalBlockLength ;\n"
        << "  lv2:extensionData state:interface ;\n";
    if (mPlug.HasUI())
      out << "  ui:ui <" << GetLV2UIURI() << "> ;\n";
    WritePorts(out, v.nIn, v.nSC, v.nOut);
  }
  if (mPlug.HasUI())
  {
    // The host resizes the editor only when the plug-in allows it; otherwise its corner resizer asks the host.
    out << "<" << GetLV2UIURI() << ">\n  a ui:X11UI ;\n  lv2:requiredFeature ui:parent ;\n"
        << "  lv2:optionalFeature ui:resize, ui:touch, urid:map, opts:options"
        << (mPlug.GetHostResize() ? "" : ", ui:noUserResize") << " ;\n"
        << "  opts:supportedOption ui:scaleFactor ;\n";
    // Hosts that send output ports only on request learn that the editor shows the meters.
    for (int i = 0; i < count; i++)
    {
      for (int p = 0; p < mPlug.NParams(); p++)
      {
        if (mPlug.GetParam(p)->Type() == IParam::kTypeNone)
          out << "  ui:portNotification [ ui:plugin <" << variants[i].uri << "> ; lv2:symbol "
              << Quoted(SymbolFromName(ParamName(p))) << " ; ui:protocol ui:floatProtocol ] ;\n";
      }
    }
    out << "  lv2:extensionData ui:idleInterface" << (mPlug.GetHostResize() ? ", ui:resize" : "") << " .\n";
  }
}

void LV2Description::WritePresets(std::ostream& out) const
{
  out << kPrefixes;
  for (int i = 0; i < mPlug.NPresets(); i++)
  {
    if (!mPlug.RestorePreset(i))
      continue;
    out << "<" << PresetURI(i) << ">\n  a pset:Preset ;\n  rdfs:label " << Quoted(mPlug.GetPresetName(i));
    bool first = true;
    std::set<std::string> symbols;
    for (int p = 0; p < mPlug.NParams(); p++)
    {
      const IParam& param = *mPlug.GetParam(p);
      std::string symbol = SymbolFromName(ParamName(p));
      for (int n = 2; symbols.count(symbol); n++)
        symbol = SymbolFromName(ParamName(p)) + "_" + std::to_string(n);
      symbols.insert(symbol);
      if (param.Type() == IParam::kTypeNone)
        continue;
      out << (first ? " ;\n  lv2:port [\n" : " , [\n") << "    lv2:symbol " << Quoted(symbol)
          << " ;\n    pset:value " << Number(param.Value()) << "\n  ]";
      first = false;
    }
    out << " .\n\n";
  }
}

bool LV2Description::WriteBundle(const std::string& bundleDir, std::string& error) const
{
  auto write = [&](const std::string& file, void (LV2Description::*what)(std::ostream&) const)
  {
    std::ostringstream text;
    (this->*what)(text);
    const std::string path = bundleDir + "/" + file;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text.str();
    out.close();
    if (!out)
    {
      error = "cannot write " + path;
      return false;
    }
    return true;
  };
  return write("manifest.ttl", &LV2Description::WriteManifest) &&
         write(mDescription, &LV2Description::WritePlugins) && write("presets.ttl", &LV2Description::WritePresets);
}

} // namespace brevant::lv2
