// Brevant.lv2 through lilv: what hosts read from the bundle matches the plug-in's parameter table, instances come up
// at the usual rates, and state travels as the plug-in's own bytes and refuses damage without a change.

#include "LilvTestHost.h"

#include "Brevant.h"
#include "IPlugLV2_Ports.h"

#include "lv2/port-props/port-props.h"
#include "lv2/presets/presets.h"
#include "lv2/ui/ui.h"
#include "lv2/units/units.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace
{

using lv2test::Instance;
using lv2test::World;

bool PortHas(World& w, const LilvPlugin* p, const LilvPort* port, const char* property)
{
  LilvNode* node = w.URI(property);
  const bool has = lilv_port_has_property(p, port, node);
  lilv_node_free(node);
  return has;
}

bool PortIs(World& w, const LilvPlugin* p, const LilvPort* port, const char* cls)
{
  LilvNode* node = w.URI(cls);
  const bool is = lilv_port_is_a(p, port, node);
  lilv_node_free(node);
  return is;
}

std::string PortSymbol(const LilvPlugin* p, const LilvPort* port)
{
  return lilv_node_as_string(lilv_port_get_symbol(p, port));
}

TEST(LV2Bundle, EveryPortHasItsParametersRangeDefaultAndKind)
{
  World w;
  Brevant reference{iplug::InstanceInfo{}};
  for (const auto& [uri, nIn] : std::map<std::string, int>{{lv2test::kStereoURI, 2}, {lv2test::kMonoURI, 1}})
  {
    SCOPED_TRACE(uri);
    const LilvPlugin* p = w.Plugin(uri.c_str());
    ASSERT_TRUE(p);
    EXPECT_TRUE(lilv_plugin_verify(p));
    const auto l = iplug::LV2PortLayout::Make(kNumParams, nIn, nIn, nIn);
    ASSERT_EQ(lilv_plugin_get_num_ports(p), l.count);

    for (int i = 0; i < kNumParams; i++)
    {
      const iplug::IParam& param = *reference.GetParam(i);
      const LilvPort* port = lilv_plugin_get_port_by_index(p, static_cast<uint32_t>(i));
      SCOPED_TRACE(PortSymbol(p, port));
      EXPECT_TRUE(PortIs(w, p, port, LV2_CORE__ControlPort));
      if (param.Type() == iplug::IParam::kTypeNone)
      {
        EXPECT_TRUE(PortIs(w, p, port, LV2_CORE__OutputPort)) << "meters are read by hosts, never written";
        continue;
      }
      EXPECT_TRUE(PortIs(w, p, port, LV2_CORE__InputPort));
      LilvNode* portName = lilv_port_get_name(p, port);
      EXPECT_EQ(lilv_node_as_string(portName), std::string(param.GetName()));
      lilv_node_free(portName);
      LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
      lilv_port_get_range(p, port, &def, &min, &max);
      ASSERT_TRUE(def && min && max);
      EXPECT_FLOAT_EQ(lilv_node_as_float(def), static_cast<float>(param.GetDefault()));
      EXPECT_FLOAT_EQ(lilv_node_as_float(min), static_cast<float>(param.GetMin()));
      EXPECT_FLOAT_EQ(lilv_node_as_float(max), static_cast<float>(param.GetMax()));
      lilv_node_free(def);
      lilv_node_free(min);
      lilv_node_free(max);

      const bool integer = param.Type() != iplug::IParam::kTypeDouble;
      EXPECT_EQ(PortHas(w, p, port, LV2_CORE__integer), integer);
      EXPECT_EQ(PortHas(w, p, port, LV2_CORE__toggled), integer && param.GetMin() == 0.0 && param.GetMax() == 1.0);
      EXPECT_EQ(PortHas(w, p, port, LV2_PORT_PROPS__logarithmic), param.DisplayType() == iplug::IParam::kDisplayLog);
      LilvScalePoints* points = lilv_port_get_scale_points(p, port);
      EXPECT_EQ(points ? static_cast<int>(lilv_scale_points_size(points)) : 0, param.NDisplayTexts());
      if (points)
        lilv_scale_points_free(points);
    }

    // The audio ports, the side-chain optional; latency and the host's enable switch by designation.
    for (uint32_t c = 0; c < l.nSC; c++)
    {
      const LilvPort* sc = lilv_plugin_get_port_by_index(p, l.sidechainIn + c);
      EXPECT_TRUE(PortIs(w, p, sc, LV2_CORE__AudioPort));
      EXPECT_TRUE(PortHas(w, p, sc, LV2_CORE_PREFIX "isSideChain"));
      EXPECT_TRUE(PortHas(w, p, sc, LV2_CORE__connectionOptional));
    }
    EXPECT_EQ(lilv_plugin_get_latency_port_index(p), l.latency);
    LilvNode* enabled = w.URI(LV2_CORE__enabled);
    LilvNode* input = w.URI(LV2_CORE__InputPort);
    const LilvPort* en = lilv_plugin_get_port_by_designation(p, input, enabled);
    ASSERT_TRUE(en);
    EXPECT_EQ(lilv_port_get_index(p, en), l.enabled);
    lilv_node_free(enabled);
    lilv_node_free(input);

    // Nothing required: lilv's own lv2apply offers no feature at all.
    LilvNodes* required = lilv_plugin_get_required_features(p);
    EXPECT_EQ(lilv_nodes_size(required), 0u);
    lilv_nodes_free(required);
    LilvUIs* uis = lilv_plugin_get_uis(p);
    ASSERT_EQ(lilv_uis_size(uis), 1u);
    LilvNode* x11 = w.URI(LV2_UI__X11UI);
    EXPECT_TRUE(lilv_ui_is_a(lilv_uis_get(uis, lilv_uis_begin(uis)), x11));
    lilv_node_free(x11);
    lilv_uis_free(uis);
  }
}

TEST(LV2Bundle, InstantiatesAtCommonRatesWithOrWithoutFeatures)
{
  World w;
  for (double rate : {44100.0, 48000.0, 96000.0})
  {
    for (int block : {0, 64, 8192})
    {
      Instance fx(w, lv2test::kStereoURI, rate, block);
      ASSERT_TRUE(fx.instance) << rate << " " << block;
      const auto l = iplug::LV2PortLayout::Make(kNumParams, 2, 2, 2);
      std::vector<float> a(10000, 0.25f), b(10000, -0.25f), o1(10000), o2(10000);
      // Longer than the announced block: processed in pieces.
      fx.Run(10000, l, {a.data(), b.data()}, {}, {o1.data(), o2.data()});
      EXPECT_TRUE(std::isfinite(o1[9999]) && std::isfinite(o2[9999]));
      EXPECT_EQ(fx.Control(l.latency), 0.f);
    }
  }
  // No feature at all: it processes, and state, which needs urid:map, is refused as such.
  const LV2_Feature* none[] = {nullptr};
  LilvInstance* bare = lilv_plugin_instantiate(w.Plugin(lv2test::kMonoURI), 48000.0, none);
  ASSERT_TRUE(bare);
  const auto l = iplug::LV2PortLayout::Make(kNumParams, 1, 1, 1);
  std::vector<float> controls(l.count, 0.f), in(100, 0.5f), out(100, 9.f);
  controls[l.enabled] = 1.f;
  for (uint32_t i = 0; i < l.audioIn; i++)
    lilv_instance_connect_port(bare, i, &controls[i]);
  lilv_instance_connect_port(bare, l.latency, &controls[l.latency]);
  lilv_instance_connect_port(bare, l.enabled, &controls[l.enabled]);
  lilv_instance_connect_port(bare, l.audioIn, in.data());
  lilv_instance_connect_port(bare, l.sidechainIn, nullptr);
  lilv_instance_connect_port(bare, l.audioOut, out.data());
  lilv_instance_activate(bare);
  lilv_instance_run(bare, 100);
  EXPECT_NE(out[99], 9.f);
  auto* state = static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(bare, LV2_STATE__interface));
  auto store = [](LV2_State_Handle, uint32_t, const void*, size_t, uint32_t, uint32_t) { return LV2_STATE_SUCCESS; };
  EXPECT_EQ(state->save(lilv_instance_get_handle(bare), store, nullptr, 0, nullptr), LV2_STATE_ERR_NO_FEATURE);
  lilv_instance_deactivate(bare);
  lilv_instance_free(bare);
}

TEST(LV2Bundle, EachFactoryPresetSetsThePortsToThePluginsOwnPreset)
{
  World w;
  Brevant reference{iplug::InstanceInfo{}};
  const LilvPlugin* p = w.Plugin(lv2test::kStereoURI);
  ASSERT_TRUE(p);
  LilvNode* presetClass = w.URI(LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(p, presetClass);
  ASSERT_EQ(static_cast<int>(lilv_nodes_size(presets)), reference.NPresets());
  int matched = 0;
  LILV_FOREACH(nodes, it, presets)
  {
    const LilvNode* preset = lilv_nodes_get(presets, it);
    lilv_world_load_resource(w.world, preset);
    LilvState* state = lilv_state_new_from_world(w.world, w.urids.MapData(), preset);
    ASSERT_TRUE(state);
    const std::string label = lilv_state_get_label(state);
    std::vector<float> values(kNumParams, NAN);
    struct Ctx
    {
      const LilvPlugin* p;
      std::vector<float>* values;
    } ctx{p, &values};
    lilv_state_emit_port_values(
        state,
        [](const char* symbol, void* user, const void* value, uint32_t size, uint32_t)
        {
          auto* c = static_cast<Ctx*>(user);
          for (uint32_t i = 0; i < c->values->size(); i++)
          {
            const LilvPort* port = lilv_plugin_get_port_by_index(c->p, i);
            if (size == sizeof(float) && !std::strcmp(lilv_node_as_string(lilv_port_get_symbol(c->p, port)), symbol))
              std::memcpy(&(*c->values)[i], value, sizeof(float));
          }
        },
        &ctx);
    lilv_state_free(state);

    ASSERT_TRUE(reference.RestorePreset(label.c_str())) << label;
    for (int i = 0; i < kNumParams; i++)
    {
      if (reference.GetParam(i)->Type() != iplug::IParam::kTypeNone)
      {
        EXPECT_EQ(values[size_t(i)], static_cast<float>(reference.GetParam(i)->Value())) << label << " " << i;
      }
    }
    matched++;
  }
  EXPECT_EQ(matched, reference.NPresets());
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);
}

// State as bytes: the store callback collects them, the retrieve callback hands back whatever the test chooses.
struct StateBox
{
  World* world = nullptr;
  LV2_URID key = 0;
  std::vector<uint8_t> bytes;
  uint32_t type = 0;
  bool present = true;
};

std::vector<uint8_t> Save(Instance& fx, World& w)
{
  StateBox box;
  box.world = &w;
  auto store = [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type, uint32_t)
  {
    auto* b = static_cast<StateBox*>(h);
    b->key = key;
    b->type = type;
    b->bytes.assign(static_cast<const uint8_t*>(value), static_cast<const uint8_t*>(value) + size);
    return LV2_STATE_SUCCESS;
  };
  EXPECT_EQ(fx.State()->save(fx.instance->lv2_handle, store, &box, LV2_STATE_IS_POD, nullptr), LV2_STATE_SUCCESS);
  EXPECT_STREQ(w.urids.Unmap(box.key), lv2test::kStateKey);
  EXPECT_STREQ(w.urids.Unmap(box.type), LV2_ATOM__Chunk);
  return box.bytes;
}

LV2_State_Status Restore(Instance& fx, World& w, StateBox box)
{
  box.world = &w;
  auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) -> const void*
  {
    auto* b = static_cast<StateBox*>(h);
    if (!b->present || b->key != key)
      return nullptr;
    *size = b->bytes.size();
    *type = b->type;
    *flags = LV2_STATE_IS_POD;
    return b->bytes.data();
  };
  return fx.State()->restore(fx.instance->lv2_handle, retrieve, &box, 0, nullptr);
}

TEST(LV2State, RestoringBringsBackTheSameBytesAndDamageChangesNothing)
{
  World w;
  Instance fx(w, lv2test::kStereoURI, 48000.0, 512);
  ASSERT_TRUE(fx.instance);
  const auto l = iplug::LV2PortLayout::Make(kNumParams, 2, 2, 2);
  std::vector<float> a(512, 0.1f), o1(512), o2(512);
  auto run = [&] { fx.Run(512, l, {a.data(), a.data()}, {}, {o1.data(), o2.data()}); };

  Brevant reference{iplug::InstanceInfo{}};
  fx.Control(kLowInput) = 24.5f;
  fx.Control(kHighXover) = 7000.f;
  run();
  const std::vector<uint8_t> saved = Save(fx, w);

  // Every parameter moved.
  for (int i = 0; i < kNumParams; i++)
  {
    const iplug::IParam& p = *reference.GetParam(i);
    if (p.Type() != iplug::IParam::kTypeNone)
      fx.Control(static_cast<uint32_t>(i)) = static_cast<float>(p.Value() == p.GetMax() ? p.GetMin() : p.GetMax());
  }
  run();
  const std::vector<uint8_t> changed = Save(fx, w);
  ASSERT_NE(changed, saved);

  const LV2_URID key = w.urids.Map(lv2test::kStateKey);
  const LV2_URID chunk = w.urids.Map(LV2_ATOM__Chunk);
  // Damage of every kind: refused, and the plug-in stays as it was.
  {
    StateBox missing{nullptr, key, saved, chunk, false};
    EXPECT_EQ(Restore(fx, w, missing), LV2_STATE_ERR_NO_PROPERTY);
    StateBox foreign{nullptr, w.urids.Map("https://example.org/other#state"), saved, chunk};
    EXPECT_EQ(Restore(fx, w, foreign), LV2_STATE_ERR_NO_PROPERTY);
    StateBox wrongType{nullptr, key, saved, w.urids.Map(LV2_ATOM__String)};
    EXPECT_EQ(Restore(fx, w, wrongType), LV2_STATE_ERR_BAD_TYPE);
    for (size_t cut : {size_t(1), size_t(8), saved.size() / 2, saved.size() - 1})
    {
      StateBox truncated{nullptr, key, std::vector<uint8_t>(saved.begin(), saved.begin() + long(cut)), chunk};
      EXPECT_NE(Restore(fx, w, truncated), LV2_STATE_SUCCESS) << cut;
    }
    StateBox empty{nullptr, key, {}, chunk};
    EXPECT_NE(Restore(fx, w, empty), LV2_STATE_SUCCESS);
    EXPECT_EQ(Save(fx, w), changed);
  }

  // The saved state comes back byte for byte, and stays through the next run: the ports did not move since.
  EXPECT_EQ(Restore(fx, w, StateBox{nullptr, key, saved, chunk}), LV2_STATE_SUCCESS);
  EXPECT_EQ(Save(fx, w), saved);
  run();
  EXPECT_EQ(Save(fx, w), saved);
}

TEST(LV2State, AHostRestoringPortsAndStateTogetherKeepsTheExactValues)
{
  // lilv saves the control ports beside the plug-in's property and sets both on restore, as most hosts do. Ports
  // hold floats; values that are not floats (0.1 dB steps) must not be rounded by the port coming back.
  World w;
  Instance fx(w, lv2test::kStereoURI, 48000.0, 256);
  ASSERT_TRUE(fx.instance);
  const auto l = iplug::LV2PortLayout::Make(kNumParams, 2, 2, 2);
  std::vector<float> a(256, 0.1f), o1(256), o2(256);
  auto run = [&] { fx.Run(256, l, {a.data(), a.data()}, {}, {o1.data(), o2.data()}); };
  fx.Control(kMidInput) = 12.3f;
  run();
  const std::vector<uint8_t> saved = Save(fx, w);

  // Let lilv snapshot it, move everything, restore the snapshot.
  LV2_URID floatType = w.urids.Map(LV2_ATOM__Float);
  struct Ctx
  {
    Instance* fx;
    LV2_URID floatType;
  } ctx{&fx, floatType};
  LilvState* state = lilv_state_new_from_instance(
      fx.plugin, fx.instance, w.urids.MapData(), nullptr, nullptr, nullptr, nullptr,
      [](const char* symbol, void* user, uint32_t* size, uint32_t* type) -> const void*
      {
        auto* c = static_cast<Ctx*>(user);
        for (uint32_t i = 0; i < c->fx->nPorts; i++)
        {
          const LilvPort* port = lilv_plugin_get_port_by_index(c->fx->plugin, i);
          if (c->fx->IsControl(i) && !std::strcmp(lilv_node_as_string(lilv_port_get_symbol(c->fx->plugin, port)), symbol))
          {
            *size = sizeof(float);
            *type = c->floatType;
            return &c->fx->controls[i];
          }
        }
        return nullptr;
      },
      &ctx, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
  ASSERT_TRUE(state);

  fx.Control(kMidInput) = 40.f;
  fx.Control(kLowRelease) = 2000.f;
  run();
  ASSERT_NE(Save(fx, w), saved);

  lilv_state_restore(
      state, fx.instance,
      [](const char* symbol, void* user, const void* value, uint32_t size, uint32_t)
      {
        auto* c = static_cast<Ctx*>(user);
        for (uint32_t i = 0; i < c->fx->nPorts; i++)
        {
          const LilvPort* port = lilv_plugin_get_port_by_index(c->fx->plugin, i);
          if (size == sizeof(float) &&
              !std::strcmp(lilv_node_as_string(lilv_port_get_symbol(c->fx->plugin, port)), symbol))
            std::memcpy(&c->fx->controls[i], value, sizeof(float));
        }
      },
      &ctx, 0, nullptr);
  run();
  EXPECT_EQ(Save(fx, w), saved);
  lilv_state_free(state);
}

} // namespace
