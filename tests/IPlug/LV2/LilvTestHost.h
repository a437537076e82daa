// Brevant.lv2 as lilv (a host library we did not write) loads it: the bundle read into a world of its own, plug-ins
// instantiated with urid:map (and options when asked), ports connected to buffers the test owns.
//
// Typical use:
//   lv2test::World world;                                   // loads BREVANT_LV2_BUNDLE
//   lv2test::Instance fx(world, lv2test::kStereoURI, 48000.0);
//   fx.Control(2) = 30.f;                                   // "Low Input", a plain value
//   fx.Run(n, {inL, inR}, {scL, scR}, {outL, outR});        // no side-chain: an empty list
#pragma once

#include "IPlugLV2_Ports.h"

#include "lilv/lilv.h"
#include "lv2/atom/atom.h"
#include "lv2/buf-size/buf-size.h"
#include "lv2/options/options.h"
#include "lv2/state/state.h"
#include "lv2/urid/urid.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace lv2test
{

inline constexpr const char* kStereoURI = "https://quillmere.example/brevant";
inline constexpr const char* kMonoURI = "https://quillmere.example/brevant#mono";
inline constexpr const char* kStateKey = "https://quillmere.example/brevant#state";

/** urid:map and unmap over a list of strings. */
class UridMap
{
public:
  UridMap()
  {
    mMap = {this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->Map(uri); }};
    mUnmap = {this, [](LV2_URID_Unmap_Handle h, LV2_URID u) { return static_cast<UridMap*>(h)->Unmap(u); }};
    mMapFeature = {LV2_URID__map, &mMap};
    mUnmapFeature = {LV2_URID__unmap, &mUnmap};
  }
  LV2_URID Map(const char* uri)
  {
    for (size_t i = 0; i < mURIs.size(); i++)
    {
      if (mURIs[i] == uri)
        return static_cast<LV2_URID>(i + 1);
    }
    mURIs.emplace_back(uri);
    return static_cast<LV2_URID>(mURIs.size());
  }
  const char* Unmap(LV2_URID u) const { return u >= 1 && u <= mURIs.size() ? mURIs[u - 1].c_str() : nullptr; }
  LV2_URID_Map* MapData() { return &mMap; }
  const LV2_Feature* MapFeature() const { return &mMapFeature; }
  const LV2_Feature* UnmapFeature() const { return &mUnmapFeature; }

private:
  std::vector<std::string> mURIs;
  LV2_URID_Map mMap;
  LV2_URID_Unmap mUnmap;
  LV2_Feature mMapFeature, mUnmapFeature;
};

class World
{
public:
  World()
  {
    world = lilv_world_new();
    std::string path = BREVANT_LV2_BUNDLE;
    if (path.back() != '/')
      path += '/';
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, path.c_str());
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
  }
  ~World() { lilv_world_free(world); }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  const LilvPlugin* Plugin(const char* uri) const
  {
    LilvNode* node = lilv_new_uri(world, uri);
    const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
    lilv_node_free(node);
    return p;
  }
  /** A node the test frees with lilv_node_free. */
  LilvNode* URI(const char* uri) const { return lilv_new_uri(world, uri); }

  LilvWorld* world = nullptr;
  UridMap urids;
};

/** One instance with every port connected: control ports to values the test sets, audio to its buffers. */
class Instance
{
public:
  Instance(World& world, const char* uri, double rate, int maxBlock = 0) : mWorld(world)
  {
    plugin = world.Plugin(uri);
    if (!plugin)
      return;
    nPorts = lilv_plugin_get_num_ports(plugin);
    controls.assign(nPorts, 0.f);
    std::vector<float> mins(nPorts), maxs(nPorts), defs(nPorts);
    lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxs.data(), defs.data());
    for (uint32_t i = 0; i < nPorts; i++)
      controls[i] = std::isnan(defs[i]) ? 0.f : defs[i];

    std::vector<const LV2_Feature*> features = {world.urids.MapFeature(), world.urids.UnmapFeature()};
    LV2_URID_Map* map = world.urids.MapData();
    if (maxBlock > 0)
    {
      mBlock = maxBlock;
      mOptions[0] = {LV2_OPTIONS_INSTANCE, 0, map->map(map->handle, LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                     map->map(map->handle, LV2_ATOM__Int), &mBlock};
      mOptions[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
      mOptionsFeature = {LV2_OPTIONS__options, mOptions};
      features.push_back(&mOptionsFeature);
    }
    features.push_back(nullptr);
    instance = lilv_plugin_instantiate(plugin, rate, features.data());
    if (!instance)
      return;
    for (uint32_t i = 0; i < nPorts; i++)
    {
      if (IsControl(i))
        lilv_instance_connect_port(instance, i, &controls[i]);
      else
        lilv_instance_connect_port(instance, i, nullptr);
    }
    lilv_instance_activate(instance);
  }
  ~Instance()
  {
    if (instance)
    {
      lilv_instance_deactivate(instance);
      lilv_instance_free(instance);
    }
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool IsControl(uint32_t i) const
  {
    LilvNode* control = mWorld.URI(LV2_CORE__ControlPort);
    const bool is = lilv_port_is_a(plugin, lilv_plugin_get_port_by_index(plugin, i), control);
    lilv_node_free(control);
    return is;
  }
  float& Control(uint32_t i) { return controls[i]; }

  /** Runs n frames; audio port lists in port order (an empty side-chain list leaves those ports unconnected). */
  void Run(uint32_t n, const iplug::LV2PortLayout& l, const std::vector<float*>& in, const std::vector<float*>& sc,
           const std::vector<float*>& out)
  {
    for (uint32_t c = 0; c < l.nIn; c++)
      lilv_instance_connect_port(instance, l.audioIn + c, c < in.size() ? in[c] : nullptr);
    for (uint32_t c = 0; c < l.nSC; c++)
      lilv_instance_connect_port(instance, l.sidechainIn + c, c < sc.size() ? sc[c] : nullptr);
    for (uint32_t c = 0; c < l.nOut; c++)
      lilv_instance_connect_port(instance, l.audioOut + c, c < out.size() ? out[c] : nullptr);
    lilv_instance_run(instance, n);
  }

  const LV2_State_Interface* State() const
  {
    return static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance, LV2_STATE__interface));
  }

  const LilvPlugin* plugin = nullptr;
  LilvInstance* instance = nullptr;
  uint32_t nPorts = 0;
  std::vector<float> controls;

private:
  World& mWorld;
  int32_t mBlock = 0;
  LV2_Options_Option mOptions[2] = {};
  LV2_Feature mOptionsFeature{};
};

} // namespace lv2test
