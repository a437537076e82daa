#include "HostedLV2.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/ui/ui.h>
#include <lv2/units/units.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <strings.h>

namespace brevant::host
{

namespace
{
// The one property Brevant keeps its state bytes in.
constexpr const char* kStateProperty = "https://quillmere.example/brevant#state";
constexpr const char* kRdfsLabel = "http://www.w3.org/2000/01/rdf-schema#label";
constexpr const char* kIsSideChain = LV2_CORE_PREFIX "isSideChain";

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// A node freed when it goes out of scope.
struct Node
{
  LilvNode* node;
  explicit Node(LilvNode* n) : node(n) {}
  Node(LilvWorld* world, const char* uri) : node(lilv_new_uri(world, uri)) {}
  ~Node() { lilv_node_free(node); }
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  operator const LilvNode*() const { return node; }
};

struct Nodes
{
  LilvNodes* nodes;
  explicit Nodes(LilvNodes* n) : nodes(n) {}
  ~Nodes() { lilv_nodes_free(nodes); }
  Nodes(const Nodes&) = delete;
  Nodes& operator=(const Nodes&) = delete;
  template <typename F> void ForEach(F&& f) const
  {
    LILV_FOREACH(nodes, i, nodes)
    f(lilv_nodes_get(nodes, i));
  }
};

std::string Str(const LilvNode* n) { return n ? lilv_node_as_string(n) : ""; }

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Symbols of the units the LV2 units vocabulary defines, for worlds that have not loaded its description.
std::string UnitSymbol(const std::string& uri)
{
  static const std::pair<const char*, const char*> kUnits[] = {{"s", "s"},        {"ms", "ms"},
                                                               {"min", "min"},    {"bar", "bars"},
                                                               {"beat", "beats"}, {"frame", "frames"},
                                                               {"m", "m"},        {"cm", "cm"},
                                                               {"mm", "mm"},      {"km", "km"},
                                                               {"inch", "in"},    {"mile", "mi"},
                                                               {"db", "dB"},      {"pc", "%"},
                                                               {"coef", ""},      {"hz", "Hz"},
                                                               {"khz", "kHz"},    {"mhz", "MHz"},
                                                               {"bpm", "BPM"},    {"oct", "oct"},
                                                               {"cent", "ct"},    {"semitone12TET", "semi"},
                                                               {"degree", "deg"}, {"midiNote", "note"}};
  if (!StartsWith(uri, LV2_UNITS_PREFIX))
    return {};
  const std::string name = uri.substr(std::strlen(LV2_UNITS_PREFIX));
  for (const auto& [n, symbol] : kUnits)
    if (name == n)
      return symbol;
  return name;
}

std::string FilePath(const LilvNode* uri)
{
  if (!uri)
    return {};
  char* path = lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr);
  std::string result = path ? path : lilv_node_as_uri(uri);
  lilv_free(path);
  return result;
}
} // namespace

// --- loading ----------------------------------------------------------------------------------------

bool HostedLV2::IsLV2(const std::string& pathOrUri)
{
  if (StartsWith(pathOrUri, "http://") || StartsWith(pathOrUri, "https://") || StartsWith(pathOrUri, "urn:"))
    return true;
  std::string p = pathOrUri;
  while (p.size() > 1 && p.back() == '/')
    p.pop_back();
  if (p.size() > 4 && p.compare(p.size() - 4, 4, ".lv2") == 0)
    return true;
  std::error_code ec;
  return std::filesystem::is_directory(pathOrUri, ec) &&
         std::filesystem::is_regular_file(std::filesystem::path(pathOrUri) / "manifest.ttl", ec);
}

std::unique_ptr<HostedLV2> HostedLV2::Create(const std::string& pathOrUri, const std::string& uri, std::string& error)
{
  auto plug = std::unique_ptr<HostedLV2>(new HostedLV2());
  plug->mWorld = lilv_world_new();
  if (!plug->mWorld)
  {
    error = "lilv could not create a world";
    return nullptr;
  }
  LilvWorld* world = plug->mWorld;

  std::vector<const LilvPlugin*> found;
  const bool byUri =
      StartsWith(pathOrUri, "http://") || StartsWith(pathOrUri, "https://") || StartsWith(pathOrUri, "urn:");
  if (byUri)
  {
    lilv_world_load_all(world);
    Node node(world, pathOrUri.c_str());
    if (const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node))
      found.push_back(p);
    else
    {
      error = "no installed LV2 plug-in has the URI " + pathOrUri +
              " (searched LV2_PATH, else ~/.lv2, /usr/lib/lv2 "
              "and /usr/local/lib/lv2)";
      return nullptr;
    }
  }
  else
  {
    std::error_code ec;
    if (!std::filesystem::is_directory(pathOrUri, ec))
    {
      error = "LV2 bundle not found: " + pathOrUri;
      return nullptr;
    }
    if (!std::filesystem::is_regular_file(std::filesystem::path(pathOrUri) / "manifest.ttl", ec))
    {
      error = pathOrUri + " is no LV2 bundle (it has no manifest.ttl)";
      return nullptr;
    }
    // The bundle's URI is its folder's, with the closing slash lilv expects.
    std::string dir = std::filesystem::canonical(pathOrUri, ec).string();
    if (ec)
    {
      error = "cannot resolve " + pathOrUri;
      return nullptr;
    }
    if (dir.back() != '/')
      dir += '/';
    Node bundle(lilv_new_file_uri(world, nullptr, dir.c_str()));
    lilv_world_load_bundle(world, bundle);
    // Only this bundle is loaded: every plug-in the world knows is one of its.
    const LilvPlugins* all = lilv_world_get_all_plugins(world);
    LILV_FOREACH(plugins, i, all)
    found.push_back(lilv_plugins_get(all, i));
    if (found.empty())
    {
      error = pathOrUri + " describes no LV2 plug-in";
      return nullptr;
    }
  }

  if (!uri.empty())
  {
    // --class: a URI or a name among the bundle's plug-ins.
    const LilvPlugin* chosen = nullptr;
    for (const LilvPlugin* p : found)
      if (uri == Str(lilv_plugin_get_uri(p)))
        chosen = p;
    for (const LilvPlugin* p : found)
    {
      Node name(lilv_plugin_get_name(p));
      if (!chosen && uri == Str(name))
        chosen = p;
    }
    if (!chosen)
    {
      error = "no LV2 plug-in " + Quote(uri) + " in " + pathOrUri;
      return nullptr;
    }
    found = {chosen};
  }
  plug->mChosenByUri = byUri || !uri.empty();
  for (const LilvPlugin* p : found)
    plug->mVariants.push_back(plug->Read(p));
  // Until Prepare says otherwise, the variant with the widest main input (the stereo one).
  for (size_t i = 1; i < plug->mVariants.size(); i++)
    if (plug->mVariants[i].ins.size() > plug->mVariants[plug->mCurrent].ins.size())
      plug->mCurrent = i;

  plug->mMap = {plug.get(), &HostedLV2::MapCallback};
  plug->mUnmap = {plug.get(), &HostedLV2::UnmapCallback};
  if (!plug->Instantiate(plug->mVariants[plug->mCurrent], plug->mSampleRate, plug->mBlockMax, error))
    return nullptr;
  return plug;
}

HostedLV2::~HostedLV2()
{
  FreeInstance();
  if (mWorld)
    lilv_world_free(mWorld);
}

HostedLV2::Variant HostedLV2::Read(const LilvPlugin* plugin) const
{
  LilvWorld* w = mWorld;
  Node audio(w, LILV_URI_AUDIO_PORT), control(w, LILV_URI_CONTROL_PORT), input(w, LILV_URI_INPUT_PORT);
  Node toggled(w, LV2_CORE__toggled), integer(w, LV2_CORE__integer), enumeration(w, LV2_CORE__enumeration);
  Node logarithmic(w, LV2_PORT_PROPS__logarithmic), optional(w, LV2_CORE__connectionOptional);
  Node sidechain(w, kIsSideChain), reports(w, LV2_CORE__reportsLatency), designation(w, LV2_CORE__designation);
  Node enabled(w, LV2_CORE__enabled), latency(w, LV2_CORE__latency), unit(w, LV2_UNITS__unit);
  Node unitSymbol(w, LV2_UNITS__symbol);

  Variant v;
  v.plugin = plugin;
  Node inPlaceBroken(w, LV2_CORE__inPlaceBroken);
  v.inPlaceBroken = lilv_plugin_has_feature(plugin, inPlaceBroken);
  const uint32_t n = lilv_plugin_get_num_ports(plugin);
  for (uint32_t i = 0; i < n; i++)
  {
    const LilvPort* lp = lilv_plugin_get_port_by_index(plugin, i);
    Port p;
    p.index = i;
    p.symbol = Str(lilv_port_get_symbol(plugin, lp));
    Node name(lilv_port_get_name(plugin, lp));
    p.name = Str(name);
    p.input = lilv_port_is_a(plugin, lp, input);
    p.kind = lilv_port_is_a(plugin, lp, audio)     ? Kind::kAudio
             : lilv_port_is_a(plugin, lp, control) ? Kind::kControl
                                                   : Kind::kOther;
    p.sidechain = lilv_port_has_property(plugin, lp, sidechain);
    p.optional = lilv_port_has_property(plugin, lp, optional);
    p.toggled = lilv_port_has_property(plugin, lp, toggled);
    p.integer = lilv_port_has_property(plugin, lp, integer);
    p.enumeration = lilv_port_has_property(plugin, lp, enumeration);
    p.logarithmic = lilv_port_has_property(plugin, lp, logarithmic);
    Node des(lilv_port_get(plugin, lp, designation));
    p.enabled = des.node && lilv_node_equals(des, enabled);
    p.latency =
        (des.node && lilv_node_equals(des, latency)) || (!p.input && lilv_port_has_property(plugin, lp, reports));
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(plugin, lp, &def, &min, &max);
    Node d(def), lo(min), hi(max);
    p.min = lo.node ? lilv_node_as_float(lo) : 0.f;
    p.max = hi.node ? lilv_node_as_float(hi) : (p.toggled ? 1.f : p.min);
    p.def = d.node ? lilv_node_as_float(d) : p.min;
    if (p.enabled && !d.node)
      p.def = 1.f;
    Node u(lilv_port_get(plugin, lp, unit));
    if (u.node)
    {
      // The unit's own symbol when the world knows it, else the vocabulary's.
      Node sym(lilv_world_get(w, u, unitSymbol, nullptr));
      p.unit = sym.node ? Str(sym) : lilv_node_is_uri(u) ? UnitSymbol(lilv_node_as_uri(u)) : std::string();
    }
    if (LilvScalePoints* points = lilv_port_get_scale_points(plugin, lp))
    {
      LILV_FOREACH(scale_points, j, points)
      {
        const LilvScalePoint* sp = lilv_scale_points_get(points, j);
        p.scalePoints.push_back(
            {lilv_node_as_float(lilv_scale_point_get_value(sp)), Str(lilv_scale_point_get_label(sp))});
      }
      lilv_scale_points_free(points);
      std::sort(p.scalePoints.begin(), p.scalePoints.end());
    }
    if (p.kind == Kind::kAudio)
      (p.input ? (p.sidechain ? v.sideIns : v.ins) : v.outs).push_back(i);
    if (p.kind == Kind::kControl && p.latency && !p.input && v.latencyPort < 0)
      v.latencyPort = static_cast<int>(i);
    v.ports.push_back(std::move(p));
  }
  return v;
}

// --- URIDs ------------------------------------------------------------------------------------------

LV2_URID HostedLV2::Map(const char* uri)
{
  if (!uri)
    return 0;
  const auto it = mUrids.find(uri);
  if (it != mUrids.end())
    return it->second;
  mUris.emplace_back(uri);
  const auto id = static_cast<LV2_URID>(mUris.size());
  mUrids.emplace(uri, id);
  return id;
}

LV2_URID HostedLV2::MapCallback(LV2_URID_Map_Handle handle, const char* uri)
{
  return static_cast<HostedLV2*>(handle)->Map(uri);
}

const char* HostedLV2::UnmapCallback(LV2_URID_Unmap_Handle handle, LV2_URID urid)
{
  const auto* self = static_cast<HostedLV2*>(handle);
  return urid >= 1 && urid <= self->mUris.size() ? self->mUris[urid - 1].c_str() : nullptr;
}

// --- instance ---------------------------------------------------------------------------------------

bool HostedLV2::Instantiate(const Variant& v, double sampleRate, int maxBlock, std::string& error)
{
  // hardRTCapable and inPlaceBroken describe the plug-in, not something to offer (Process keeps the buffers of a
  // plug-in that cannot work in place apart).
  static const char* const kOffered[] = {LV2_URID__map,           LV2_URID__unmap,
                                         LV2_OPTIONS__options,    LV2_BUF_SIZE__boundedBlockLength,
                                         LV2_CORE__hardRTCapable, LV2_CORE__inPlaceBroken};
  Nodes required(lilv_plugin_get_required_features(v.plugin));
  std::string missing;
  required.ForEach(
      [&](const LilvNode* f)
      {
        const std::string uri = Str(f);
        if (std::none_of(std::begin(kOffered), std::end(kOffered), [&](const char* o) { return uri == o; }))
          missing += (missing.empty() ? "" : ", ") + uri;
      });
  if (!missing.empty())
  {
    error = "the plug-in requires features brevant-host does not offer: " + missing;
    return false;
  }

  mBlockMax = maxBlock;
  mBlockNominal = maxBlock;
  mBlockMin = 0;
  const LV2_URID atomInt = Map(LV2_ATOM__Int);
  mOptions = {
      {LV2_OPTIONS_INSTANCE, 0, Map(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), atomInt, &mBlockMin},
      {LV2_OPTIONS_INSTANCE, 0, Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), atomInt, &mBlockMax},
      {LV2_OPTIONS_INSTANCE, 0, Map(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t), atomInt, &mBlockNominal},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  mMapFeature = {LV2_URID__map, &mMap};
  mUnmapFeature = {LV2_URID__unmap, &mUnmap};
  mOptionsFeature = {LV2_OPTIONS__options, mOptions.data()};
  mBoundedFeature = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
  mFeatures = {&mMapFeature, &mUnmapFeature, &mOptionsFeature, &mBoundedFeature, nullptr};

  LilvInstance* instance = lilv_plugin_instantiate(v.plugin, sampleRate, mFeatures.data());
  if (!instance)
  {
    error = "the plug-in " + Str(lilv_plugin_get_uri(v.plugin)) + " failed to instantiate at " +
            std::to_string(sampleRate) + " Hz";
    return false;
  }

  // Control values move to the new variant by symbol.
  mValues = mValues.empty() ? Carry(v, {}, v) : Carry(mVariants[mCurrent], mValues, v);
  mInstance = instance;
  mCurrent = static_cast<size_t>(&v - mVariants.data());
  for (const Port& p : v.ports)
    if (p.kind == Kind::kControl)
      lilv_instance_connect_port(mInstance, p.index, &mValues[p.index]);
  return true;
}

std::vector<float> HostedLV2::Carry(const Variant& from, const std::vector<float>& values, const Variant& to)
{
  std::vector<float> result(to.ports.size(), 0.f);
  for (const Port& p : to.ports)
  {
    result[p.index] = p.def;
    // An output holds nothing until the plug-in writes it: an editor is not told a reading that never was.
    if (p.kind == Kind::kControl && !p.input)
      result[p.index] = NAN;
    if (p.kind != Kind::kControl || !p.input)
      continue;
    for (const Port& q : from.ports)
      if (q.kind == Kind::kControl && q.input && q.symbol == p.symbol && q.index < values.size())
        result[p.index] = values[q.index];
  }
  return result;
}

void HostedLV2::FreeInstance()
{
  if (!mInstance)
    return;
  Stop();
  lilv_instance_free(mInstance);
  mInstance = nullptr;
}

const LV2_State_Interface* HostedLV2::StateInterface() const
{
  return mInstance ? static_cast<const LV2_State_Interface*>(
                         lilv_instance_get_extension_data(mInstance, LV2_STATE__interface))
                   : nullptr;
}

std::string HostedLV2::Name() const
{
  Node name(lilv_plugin_get_name(mVariants[mCurrent].plugin));
  return name.node ? Str(name) : Uri();
}

std::string HostedLV2::Uri() const { return Str(lilv_plugin_get_uri(mVariants[mCurrent].plugin)); }

std::string HostedLV2::LibraryPath() const { return FilePath(lilv_plugin_get_library_uri(mVariants[mCurrent].plugin)); }

// --- description ------------------------------------------------------------------------------------

std::string HostedLV2::Shown(const Port& p, float value) const
{
  std::ostringstream s;
  s << value;
  if (!p.unit.empty())
    s << " " << p.unit;
  for (const auto& [v, label] : p.scalePoints)
    if (v == value)
      return s.str() + " (" + Quote(label) + ")";
  if (p.toggled)
    s << (value > 0.f ? " (on)" : " (off)");
  return s.str();
}

void HostedLV2::DescribeVariant(const Variant& v, std::ostream& out) const
{
  const LilvPlugin* p = v.plugin;
  Node name(lilv_plugin_get_name(p));
  out << "plug-in " << Quote(Str(name)) << " uri " << Quote(Str(lilv_plugin_get_uri(p))) << " (LV2)\n";
  out << "  bundle: " << FilePath(lilv_plugin_get_bundle_uri(p)) << "\n";
  out << "  library: " << FilePath(lilv_plugin_get_library_uri(p)) << "\n";
  {
    // The classes as the description names them (the world holds no class hierarchy for a lone bundle).
    Node type(mWorld, "http://www.w3.org/1999/02/22-rdf-syntax-ns#type");
    Nodes types(lilv_plugin_get_value(p, type));
    out << "  types:";
    types.ForEach([&out](const LilvNode* t) { out << " " << Str(t); });
    out << "\n";
  }
  Node author(lilv_plugin_get_author_name(p));
  if (author.node)
    out << "  author: " << Quote(Str(author)) << "\n";
  auto list = [&out](const char* what, LilvNodes* nodes)
  {
    Nodes n(nodes);
    out << "  " << what << ":";
    if (!n.nodes || lilv_nodes_size(n.nodes) == 0)
      out << " none";
    n.ForEach([&out](const LilvNode* f) { out << " " << Str(f); });
    out << "\n";
  };
  list("required features", lilv_plugin_get_required_features(p));
  list("optional features", lilv_plugin_get_optional_features(p));
  list("extension data", lilv_plugin_get_extension_data(p));
  out << "  audio: " << v.ins.size() << " in, " << v.sideIns.size() << " side-chain in, " << v.outs.size() << " out\n";
  out << "  ports: " << v.ports.size() << "\n";
  for (const Port& port : v.ports)
  {
    out << "    [" << port.index << "] " << port.symbol << " " << Quote(port.name) << " "
        << (port.kind == Kind::kAudio     ? "audio"
            : port.kind == Kind::kControl ? "control"
                                          : "other")
        << " " << (port.input ? "in" : "out");
    if (port.kind == Kind::kControl)
    {
      out << " range " << port.min << " .. " << port.max << " default " << Shown(port, port.def);
      if (!port.scalePoints.empty())
      {
        out << " scale points";
        for (const auto& [value, label] : port.scalePoints)
          out << " " << value << "=" << Quote(label);
      }
    }
    std::string props;
    auto add = [&props](bool on, const char* what)
    {
      if (on)
        props += (props.empty() ? "" : ",") + std::string(what);
    };
    add(port.sidechain, "side-chain");
    add(port.optional, "connectionOptional");
    add(port.toggled, "toggled");
    add(port.integer, "integer");
    add(port.enumeration, "enumeration");
    add(port.logarithmic, "logarithmic");
    add(port.enabled, "designation enabled");
    add(port.latency, "latency");
    if (!props.empty())
      out << " properties " << props;
    out << "\n";
  }
  if (v.latencyPort >= 0)
    out << "  latency: reported on port " << v.latencyPort << "\n";
  else
    out << "  latency: not reported (0 samples)\n";
}

void HostedLV2::Describe(std::ostream& out)
{
  out << "module: " << LibraryPath() << "\n";
  for (const Variant& v : mVariants)
  {
    DescribeVariant(v, out);
    const auto presets = PresetNamesOf(v.plugin);
    out << "  presets: " << (presets.empty() ? "none" : std::to_string(presets.size())) << "\n";
    for (size_t i = 0; i < presets.size(); i++)
      out << "    [" << i << "] " << Quote(presets[i]) << "\n";
  }
}

// --- parameters -------------------------------------------------------------------------------------

const HostedLV2::Port* HostedLV2::FindPort(const std::string& name) const
{
  const auto& ports = mVariants[mCurrent].ports;
  if (name.size() > 1 && name[0] == '#')
  {
    char* end = nullptr;
    const unsigned long index = std::strtoul(name.c_str() + 1, &end, 10);
    return end && !*end && index < ports.size() ? &ports[index] : nullptr;
  }
  auto controls = [&](auto&& match) -> const Port*
  {
    // The plug-in's own ports first: the host's enabled port may share a name with a parameter.
    for (bool designated : {false, true})
      for (const Port& p : ports)
        if (p.kind == Kind::kControl && p.enabled == designated && match(p))
          return &p;
    return nullptr;
  };
  if (const Port* p = controls([&](const Port& p) { return p.name == name; }))
    return p;
  if (const Port* p = controls([&](const Port& p) { return p.symbol == name; }))
    return p;
  return controls([&](const Port& p) { return strcasecmp(p.name.c_str(), name.c_str()) == 0; });
}

bool HostedLV2::SetParam(const std::string& name, double plain, std::string& shown, std::string& error)
{
  const Port* p = FindPort(name);
  if (!p || p->kind != Kind::kControl)
  {
    error = "unknown parameter " + Quote(name) + " (brevant-host info lists the parameters)";
    return false;
  }
  if (!p->input)
  {
    error = Quote(p->name) + " is an output of the plug-in";
    return false;
  }
  if (!std::isfinite(plain))
  {
    error = "not a value for " + Quote(p->name);
    return false;
  }
  double v = p->max > p->min ? std::clamp(plain, static_cast<double>(p->min), static_cast<double>(p->max)) : plain;
  if (p->toggled || p->integer || p->enumeration)
    v = std::round(v);
  mValues[p->index] = static_cast<float>(v);
  shown = Quote(p->name) + " = " + Shown(*p, mValues[p->index]);
  return true;
}

// --- presets ----------------------------------------------------------------------------------------

std::vector<std::string> HostedLV2::PresetNames() const { return PresetNamesOf(mVariants[mCurrent].plugin); }

std::vector<std::string> HostedLV2::PresetNamesOf(const LilvPlugin* plugin) const
{
  std::vector<std::string> names;
  Node presetClass(mWorld, LV2_PRESETS__Preset), label(mWorld, kRdfsLabel);
  Nodes presets(lilv_plugin_get_related(plugin, presetClass));
  presets.ForEach(
      [&](const LilvNode* preset)
      {
        lilv_world_load_resource(mWorld, preset);
        Node l(lilv_world_get(mWorld, preset, label, nullptr));
        names.push_back(l.node ? Str(l) : Str(preset));
      });
  return names;
}

bool HostedLV2::SelectPreset(const std::string& name, std::string& error)
{
  Node presetClass(mWorld, LV2_PRESETS__Preset), label(mWorld, kRdfsLabel);
  Nodes presets(lilv_plugin_get_related(mVariants[mCurrent].plugin, presetClass));
  const LilvNode* chosen = nullptr;
  presets.ForEach(
      [&](const LilvNode* preset)
      {
        lilv_world_load_resource(mWorld, preset);
        Node l(lilv_world_get(mWorld, preset, label, nullptr));
        if (!chosen && (name == Str(l) || name == Str(preset)))
          chosen = preset;
      });
  if (!chosen)
  {
    error = lilv_nodes_size(presets.nodes) == 0
                ? "the LV2 plug-in " + Uri() + " has no presets (no pset:Preset for it in its bundle or the world)"
                : "no preset named " + Quote(name) + " (brevant-host info lists the presets)";
    return false;
  }
  LilvState* state = lilv_state_new_from_world(mWorld, &mMap, chosen);
  if (!state)
  {
    error = "the preset " + Quote(name) + " could not be read";
    return false;
  }
  // Port values land in this host's control values; properties go to the plug-in's state extension.
  auto setPort = [](const char* symbol, void* self, const void* value, uint32_t size, uint32_t type)
  {
    auto* host = static_cast<HostedLV2*>(self);
    for (const Port& p : host->mVariants[host->mCurrent].ports)
    {
      if (p.kind != Kind::kControl || !p.input || p.symbol != symbol)
        continue;
      if (type == host->Map(LV2_ATOM__Float) && size == sizeof(float))
        std::memcpy(&host->mValues[p.index], value, sizeof(float));
      else if (type == host->Map(LV2_ATOM__Double) && size == sizeof(double))
        host->mValues[p.index] = static_cast<float>(*static_cast<const double*>(value));
      else if ((type == host->Map(LV2_ATOM__Int) || type == host->Map(LV2_ATOM__Bool)) && size == sizeof(int32_t))
        host->mValues[p.index] = static_cast<float>(*static_cast<const int32_t*>(value));
    }
  };
  if (lilv_state_get_num_properties(state) > 0)
  {
    mStateGiven = true;
    mStateValues = mValues;
  }
  lilv_state_restore(state, mInstance, setPort, this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, mFeatures.data());
  lilv_state_free(state);
  return true;
}

// --- state ------------------------------------------------------------------------------------------

bool HostedLV2::GetState(std::vector<std::uint8_t>& data, std::string& error)
{
  const LV2_State_Interface* state = StateInterface();
  if (!state || !state->save)
  {
    error = "the plug-in has no state extension";
    return false;
  }
  struct Collected
  {
    LV2_URID key;
    std::vector<std::uint8_t> bytes;
    bool found = false;
    std::string others;
    const HostedLV2* host;
  } collected{Map(kStateProperty), {}, false, {}, this};
  auto store = [](LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t, uint32_t)
  {
    auto* c = static_cast<Collected*>(handle);
    if (key == c->key && (value || size == 0))
    {
      const auto* from = static_cast<const std::uint8_t*>(value);
      c->bytes.assign(from, from + size);
      c->found = true;
    }
    else
    {
      const char* uri = UnmapCallback(const_cast<HostedLV2*>(c->host), key);
      c->others += (c->others.empty() ? "" : ", ") + std::string(uri ? uri : "?");
    }
    return LV2_STATE_SUCCESS;
  };
  const LV2_State_Status status = state->save(lilv_instance_get_handle(mInstance), store, &collected,
                                              LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, mFeatures.data());
  if (status != LV2_STATE_SUCCESS)
  {
    error = "the plug-in failed to save its state (status " + std::to_string(status) + ")";
    return false;
  }
  if (!collected.found)
  {
    error = std::string("the plug-in stored no ") + kStateProperty +
            (collected.others.empty() ? std::string() : " (only " + collected.others + ")");
    return false;
  }
  data = std::move(collected.bytes);
  return true;
}

bool HostedLV2::SetState(const std::vector<std::uint8_t>& data, std::string& error)
{
  const LV2_State_Interface* state = StateInterface();
  if (!state || !state->restore)
  {
    error = "the plug-in has no state extension";
    return false;
  }
  struct Source
  {
    LV2_URID key, chunk;
    const std::vector<std::uint8_t>* bytes;
  } source{Map(kStateProperty), Map(LV2_ATOM__Chunk), &data};
  auto retrieve = [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                     uint32_t* flags) -> const void*
  {
    static const std::uint8_t kNothing = 0;
    const auto* s = static_cast<const Source*>(handle);
    if (key != s->key)
      return nullptr;
    if (size)
      *size = s->bytes->size();
    if (type)
      *type = s->chunk;
    if (flags)
      *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    return s->bytes->empty() ? &kNothing : s->bytes->data();
  };
  const LV2_State_Status status = state->restore(lilv_instance_get_handle(mInstance), retrieve, &source,
                                                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, mFeatures.data());
  if (status != LV2_STATE_SUCCESS)
  {
    error = "the plug-in refused the state (status " + std::to_string(status) + ")";
    return false;
  }
  mStateGiven = true;
  mStateValues = mValues;
  return true;
}

// --- processing -------------------------------------------------------------------------------------

bool HostedLV2::Prepare(double sampleRate, int maxBlock, int inChannels, int scChannels, bool doubles,
                        std::string& error)
{
  if (doubles)
  {
    error = "LV2 audio ports carry 32-bit float samples: 64-bit processing is not available (use --precision 32)";
    return false;
  }
  if (maxBlock < 1 || !(sampleRate > 0.0))
  {
    error = "no sample rate or block length to prepare for";
    return false;
  }
  // The variant for these channels: mono in picks the plug-in with a one-channel main input, else the widest.
  size_t chosen = mCurrent;
  if (!mChosenByUri)
  {
    for (size_t i = 0; i < mVariants.size(); i++)
      if (mVariants[i].ins.size() > mVariants[chosen].ins.size())
        chosen = i;
    if (inChannels == 1)
      for (size_t i = 0; i < mVariants.size(); i++)
        if (mVariants[i].ins.size() == 1)
        {
          chosen = i;
          break;
        }
  }
  const Variant& v = mVariants[chosen];
  if (v.ins.empty() || v.outs.empty())
  {
    error = "the plug-in has no audio input or output port";
    return false;
  }
  if (inChannels != static_cast<int>(v.ins.size()))
  {
    error = "the plug-in does not accept " + std::to_string(inChannels) + "-channel input (its main input has " +
            std::to_string(v.ins.size()) + (v.ins.size() == 1 ? " channel)" : " channels)");
    return false;
  }
  if (scChannels > 0 && static_cast<size_t>(scChannels) != v.sideIns.size())
  {
    error = v.sideIns.empty() ? "the plug-in has no side-chain input"
                              : "the plug-in does not accept a " + std::to_string(scChannels) +
                                    "-channel side-chain (it has " + std::to_string(v.sideIns.size()) + ")";
    return false;
  }
  for (const Port& p : v.ports)
    if (p.kind == Kind::kOther && !p.optional)
    {
      error = "the plug-in's port " + p.symbol + " is of a type brevant-host does not connect";
      return false;
    }

  // A fresh instance at the real rate and block length; state given to the old one moves across, restored while
  // the ports hold what they held then, so that port values set after it still count as changes to the plug-in.
  std::vector<std::uint8_t> carried;
  const bool carry = mStateGiven && mInstance && StateInterface();
  if (carry && !GetState(carried, error))
    return false;
  const Variant& before = mVariants[mCurrent];
  const std::vector<float> then = Carry(before, mStateValues, v);
  FreeInstance();
  if (!Instantiate(v, sampleRate, maxBlock, error))
    return false;
  if (carry)
  {
    const std::vector<float> now = mValues;
    std::copy(then.begin(), then.end(), mValues.begin()); // the ports stay connected to mValues
    const bool restored = SetState(carried, error);
    std::copy(now.begin(), now.end(), mValues.begin());
    if (!restored)
      return false;
  }

  mSampleRate = sampleRate;
  mMaxBlock = maxBlock;
  mInChannels = inChannels;
  mScChannels = scChannels;
  mSilence.assign(static_cast<size_t>(maxBlock), 0.f);
  for (const Port& p : v.ports)
    if (p.kind == Kind::kControl && p.enabled)
      mValues[p.index] = 1.f;
  lilv_instance_activate(mInstance);
  mActive = true;

  // A run of no samples updates the output controls: the latency is known before the first block.
  for (uint32_t i : v.ins)
    lilv_instance_connect_port(mInstance, i, mSilence.data());
  for (uint32_t i : v.sideIns)
    lilv_instance_connect_port(mInstance, i, mSilence.data());
  for (uint32_t i : v.outs)
    lilv_instance_connect_port(mInstance, i, mSilence.data());
  lilv_instance_run(mInstance, 0);
  std::fill(mSilence.begin(), mSilence.end(), 0.f);
  ReadLatency();
  mLatencyChanged = false;
  return true;
}

int HostedLV2::OutputChannels() const { return static_cast<int>(mVariants[mCurrent].outs.size()); }

bool HostedLV2::Process(int frames, std::span<float* const> in, std::span<float* const> out,
                        std::span<float* const> sidechain, std::string& error)
{
  if (!mActive)
  {
    error = "the plug-in is not prepared";
    return false;
  }
  const Variant& v = mVariants[mCurrent];
  if (frames < 0 || frames > mMaxBlock)
  {
    error = "a block of " + std::to_string(frames) + " samples exceeds the prepared " + std::to_string(mMaxBlock);
    return false;
  }
  if (in.size() != v.ins.size() || out.size() != v.outs.size() ||
      (!sidechain.empty() && sidechain.size() != v.sideIns.size()))
  {
    error = "the channel lists do not match the plug-in's audio ports";
    return false;
  }
  for (float* o : out)
    if (v.inPlaceBroken && (std::find(in.begin(), in.end(), o) != in.end() ||
                            std::find(sidechain.begin(), sidechain.end(), o) != sidechain.end()))
    {
      error = "an output buffer is also an input, and the plug-in cannot process in place";
      return false;
    }
  for (size_t c = 0; c < v.ins.size(); c++)
    lilv_instance_connect_port(mInstance, v.ins[c], in[c]);
  for (size_t c = 0; c < v.sideIns.size(); c++)
  {
    // No side-chain: unconnected where the plug-in allows it, else silence.
    const bool optional = v.ports[v.sideIns[c]].optional;
    lilv_instance_connect_port(mInstance, v.sideIns[c],
                               !sidechain.empty() ? sidechain[c]
                               : optional         ? nullptr
                                                  : mSilence.data());
  }
  for (size_t c = 0; c < v.outs.size(); c++)
    lilv_instance_connect_port(mInstance, v.outs[c], out[c]);
  lilv_instance_run(mInstance, static_cast<uint32_t>(frames));
  ReadLatency();
  return true;
}

bool HostedLV2::Process(int, std::span<double* const>, std::span<double* const>, std::span<double* const>,
                        std::string& error)
{
  error = "LV2 audio ports carry 32-bit float samples: 64-bit processing is not available (use --precision 32)";
  return false;
}

void HostedLV2::Stop()
{
  if (!mActive)
    return;
  lilv_instance_deactivate(mInstance);
  mActive = false;
}

void HostedLV2::ReadLatency()
{
  const int port = mVariants[mCurrent].latencyPort;
  const float value = port >= 0 ? mValues[static_cast<size_t>(port)] : 0.f;
  const auto latency = value > 0.f && std::isfinite(value) ? static_cast<uint32_t>(std::lround(value)) : 0u;
  if (latency != mLatency)
    mLatencyChanged = true;
  mLatency = latency;
}

bool HostedLV2::TakeLatencyChange(uint32_t& latency)
{
  if (!mLatencyChanged)
    return false;
  mLatencyChanged = false;
  latency = mLatency;
  return true;
}

bool HostedLV2::IsControlPort(uint32_t index) const
{
  const auto& ports = mVariants[mCurrent].ports;
  return index < ports.size() && ports[index].kind == Kind::kControl;
}

bool HostedLV2::SetPortValue(uint32_t index, float value)
{
  const auto& ports = mVariants[mCurrent].ports;
  if (index >= ports.size() || ports[index].kind != Kind::kControl || !ports[index].input || !std::isfinite(value) ||
      index >= mValues.size())
    return false;
  mValues[index] = std::clamp(value, std::min(ports[index].min, ports[index].max), std::max(ports[index].min, ports[index].max));
  return true;
}

bool HostedLV2::FindX11UI(std::string& uiUri, std::string& binaryPath, std::string& bundlePath,
                          std::string& error) const
{
  const LilvPlugin* plugin = mVariants[mCurrent].plugin;
  LilvUIs* uis = lilv_plugin_get_uis(plugin);
  Node x11(mWorld, LV2_UI__X11UI);
  bool found = false;
  LILV_FOREACH(uis, it, uis)
  {
    const LilvUI* ui = lilv_uis_get(uis, it);
    if (found || !lilv_ui_is_a(ui, x11))
      continue;
    char* binary = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
    char* bundle = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_bundle_uri(ui)), nullptr);
    if (binary && bundle)
    {
      uiUri = lilv_node_as_uri(lilv_ui_get_uri(ui));
      binaryPath = binary;
      bundlePath = bundle;
      if (bundlePath.empty() || bundlePath.back() != '/')
        bundlePath += '/';
      found = true;
    }
    lilv_free(binary);
    lilv_free(bundle);
  }
  lilv_uis_free(uis);
  if (!found)
    error = "the plug-in has no X11 editor";
  return found;
}

} // namespace brevant::host
