// The built Brevant.clap through the C ABI alone, as a host drives it: factory and descriptor, lifecycle in and out
// of order, parameters against the plug-in's table, text round trips, state through awkward and damaged streams,
// and the latency change with the host's restart.

#include "ClapTestHost.h"

#include "Brevant.h"
#include "IPlugByteChunk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace claptest;

namespace
{

const Module& TheModule()
{
  static std::unique_ptr<Module> module = []
  {
    std::string error;
    auto m = Module::Load(BREVANT_CLAP_FILE, error);
    EXPECT_TRUE(m) << error;
    return m;
  }();
  return *module;
}

std::unique_ptr<Plugin> MakePlugin(bool offerTimers = true)
{
  std::string error;
  auto plug = Plugin::Create(TheModule(), error, offerTimers);
  EXPECT_TRUE(plug) << error;
  return plug;
}

// The parameter table as the plug-in class defines it (the same class, built in-process).
Brevant& Table()
{
  static Brevant* plug = new Brevant(iplug::InstanceInfo());
  return *plug;
}

TEST(CLAPEntry, FactoryDescribesOnePluginAndCreatesOnlyIt)
{
  const clap_plugin_factory* factory = TheModule().Factory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(TheModule().Entry()->get_factory("clap.no-such-factory"), nullptr);
  ASSERT_EQ(factory->get_plugin_count(factory), 1u);
  EXPECT_EQ(factory->get_plugin_descriptor(factory, 1), nullptr);

  const clap_plugin_descriptor* desc = factory->get_plugin_descriptor(factory, 0);
  ASSERT_NE(desc, nullptr);
  EXPECT_TRUE(clap_version_is_compatible(desc->clap_version));
  EXPECT_STREQ(desc->id, "com.quillmere.brevant");
  EXPECT_STREQ(desc->name, "Brevant");
  EXPECT_STREQ(desc->vendor, "Quillmere");
  EXPECT_STREQ(desc->version, "1.0.0");
  std::set<std::string> features;
  for (const char* const* f = desc->features; f && *f; f++)
    features.insert(*f);
  EXPECT_EQ(features, (std::set<std::string>{"audio-effect", "compressor", "stereo", "mono"}));

  Host host;
  EXPECT_EQ(factory->create_plugin(factory, host.Get(), "com.quillmere.other"), nullptr);
  EXPECT_EQ(factory->create_plugin(factory, nullptr, desc->id), nullptr);
  const clap_plugin* p = factory->create_plugin(factory, host.Get(), desc->id);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->desc, desc);
  EXPECT_EQ(p->get_extension(p, "clap.no-such-extension"), nullptr);
  p->destroy(p); // never initialised
}

TEST(CLAPLifecycle, OutOfOrderCallsAreRefusedAndLeaveThePluginUsable)
{
  auto plug = MakePlugin();
  ASSERT_TRUE(plug);
  const clap_plugin* p = plug->p;
  EXPECT_FALSE(p->init(p)) << "a second init";

  // Before activation: no processing, a reset and a deactivate that do nothing.
  std::vector<float> l(64, 0.5f), r(64, 0.5f), ol(64, 7.f), orr(64, 7.f);
  EXPECT_EQ(plug->Process<float>(64, {l.data(), r.data()}, {ol.data(), orr.data()}), CLAP_PROCESS_ERROR);
  EXPECT_EQ(ol[0], 7.f) << "a refused block writes nothing";
  p->reset(p);
  p->deactivate(p);

  EXPECT_FALSE(p->activate(p, 0.0, 1, 512));
  EXPECT_FALSE(p->activate(p, NAN, 1, 512));
  EXPECT_FALSE(p->activate(p, 48000.0, 1, 0));
  EXPECT_FALSE(p->activate(p, 48000.0, 1, 1u << 30));
  ASSERT_TRUE(plug->Activate(48000.0, 64));
  EXPECT_FALSE(p->activate(p, 48000.0, 1, 64)) << "activate while active";
  EXPECT_EQ(plug->Process<float>(64, {l.data(), r.data()}, {ol.data(), orr.data()}), CLAP_PROCESS_CONTINUE);
  EXPECT_NE(ol[63], 7.f);

  // Longer blocks than promised are processed in pieces, not refused or overrun.
  std::vector<float> lb(1000, 0.25f), rb(1000, 0.25f), olb(1000, 7.f), orb(1000, 7.f);
  EXPECT_EQ(plug->Process<float>(1000, {lb.data(), rb.data()}, {olb.data(), orb.data()}), CLAP_PROCESS_CONTINUE);
  EXPECT_NE(olb[999], 7.f);

  plug->Deactivate();
  EXPECT_EQ(plug->Process<float>(64, {l.data(), r.data()}, {ol.data(), orr.data()}), CLAP_PROCESS_ERROR);
  ASSERT_TRUE(plug->Activate(96000.0, 256)) << "again, at another rate";
  p->reset(p);
  EXPECT_EQ(plug->Process<float>(64, {l.data(), r.data()}, {ol.data(), orr.data()}), CLAP_PROCESS_CONTINUE);
  // Destroyed while active (the helper deactivates first, as hosts must; ASan checks the rest).
}

TEST(CLAPLifecycle, TimersComeFromTheHostAndAreGivenBack)
{
  {
    auto plug = MakePlugin(true);
    ASSERT_TRUE(plug);
    EXPECT_FALSE(plug->host.timers.empty()) << "the framework timer ticks on a host timer";
    EXPECT_NE(plug->gui, nullptr);
    plug->FireTimers();
    plug->p->destroy(plug->p);
    EXPECT_TRUE(plug->host.timers.empty()) << "every timer unregistered on destroy";
    plug->p = nullptr;
  }
  auto plain = MakePlugin(false);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->gui, nullptr) << "no editor without the host's timers to drive it";
}

TEST(CLAPParams, EveryParameterMatchesTheTable)
{
  auto plug = MakePlugin();
  ASSERT_TRUE(plug && plug->params);
  const Brevant& table = Table();
  ASSERT_EQ(plug->params->count(plug->p), static_cast<uint32_t>(table.NParams()));
  std::set<clap_id> ids;
  for (int i = 0; i < table.NParams(); i++)
  {
    SCOPED_TRACE(i);
    const iplug::IParam* param = table.GetParam(i);
    clap_param_info info{};
    ASSERT_TRUE(plug->params->get_info(plug->p, static_cast<uint32_t>(i), &info));
    EXPECT_EQ(info.id, static_cast<clap_id>(i)) << "ids are stable: the parameter's index";
    ids.insert(info.id);
    // Hosts list parameters by name: an unnamed one (a meter) is called by its id, as in the VST3 binding.
    const std::string name = param->GetName()[0] ? param->GetName() : "Param " + std::to_string(i);
    EXPECT_EQ(info.name, name);
    EXPECT_STREQ(info.module, param->GetGroup());
    EXPECT_EQ(info.min_value, param->GetMin());
    EXPECT_EQ(info.max_value, param->GetMax());
    EXPECT_EQ(info.default_value, param->GetDefault());
    double value = -1.0;
    ASSERT_TRUE(plug->params->get_value(plug->p, info.id, &value));
    const bool meter = i >= kLowMeter && i <= kHighMeter;
    if (meter)
    {
      EXPECT_EQ(info.flags, uint32_t(CLAP_PARAM_IS_READONLY | CLAP_PARAM_IS_HIDDEN));
    }
    else
    {
      EXPECT_EQ(value, param->GetDefault());
      EXPECT_TRUE(info.flags & CLAP_PARAM_IS_AUTOMATABLE);
      EXPECT_FALSE(info.flags & (CLAP_PARAM_IS_READONLY | CLAP_PARAM_IS_HIDDEN));
      const bool stepped = param->Type() != iplug::IParam::kTypeDouble;
      EXPECT_EQ((info.flags & CLAP_PARAM_IS_STEPPED) != 0, stepped);
    }
  }
  EXPECT_EQ(ids.size(), static_cast<size_t>(table.NParams()));
  clap_param_info info{};
  EXPECT_FALSE(plug->params->get_info(plug->p, static_cast<uint32_t>(table.NParams()), &info));
  double v;
  EXPECT_FALSE(plug->params->get_value(plug->p, 9999, &v));
}

TEST(CLAPParams, TextRoundTripsThroughTheParameterModel)
{
  auto plug = MakePlugin();
  ASSERT_TRUE(plug);
  const Brevant& table = Table();
  for (int i = 0; i < table.NParams(); i++)
  {
    if (i >= kLowMeter && i <= kHighMeter)
      continue;
    const iplug::IParam* param = table.GetParam(i);
    for (double n : {0.0, 0.13, 0.5, 0.77, 1.0})
    {
      const double value = param->FromNormalized(n);
      SCOPED_TRACE(std::string(param->GetName()) + " = " + std::to_string(value));
      char text[CLAP_NAME_SIZE] = {};
      ASSERT_TRUE(plug->params->value_to_text(plug->p, static_cast<clap_id>(i), value, text, sizeof(text)));
      WDL_String display;
      param->GetDisplay(value, false, display);
      EXPECT_EQ(std::string(text).rfind(display.Get(), 0), 0u) << "the display starts the text: " << text;

      double parsed = NAN;
      ASSERT_TRUE(plug->params->text_to_value(plug->p, static_cast<clap_id>(i), text, &parsed));
      char again[CLAP_NAME_SIZE] = {};
      ASSERT_TRUE(plug->params->value_to_text(plug->p, static_cast<clap_id>(i), parsed, again, sizeof(again)));
      EXPECT_STREQ(again, text) << "text -> value -> text is stable";
      const double step = std::pow(10.0, -param->GetDisplayPrecision());
      if (param->Type() == iplug::IParam::kTypeDouble)
        EXPECT_NEAR(parsed, value, std::max(step, std::fabs(value) * 1e-3));
      else
        EXPECT_EQ(parsed, value);
    }
  }
  char tiny[4];
  ASSERT_TRUE(plug->params->value_to_text(plug->p, kLowInput, 12.345, tiny, sizeof(tiny)));
  EXPECT_EQ(std::strlen(tiny), 3u) << "text cut to the host's buffer";
  double v;
  EXPECT_FALSE(plug->params->value_to_text(plug->p, 9999, 0.0, tiny, sizeof(tiny)));
  EXPECT_FALSE(plug->params->text_to_value(plug->p, 9999, "1", &v));
}

TEST(CLAPParams, FlushWhileInactiveSetsValuesAndIgnoresWhatIsNotOurs)
{
  auto plug = MakePlugin();
  ASSERT_TRUE(plug);
  plug->events.Value(kLowInput, 24.0);
  plug->events.Value(kOversampling, 1.0);
  plug->events.Value(kLowMeter, 0.5);   // read-only
  plug->events.Value(kLowOutput, NAN);  // not a value
  plug->events.Value(9999, 1.0);        // no such parameter
  plug->Flush();
  EXPECT_EQ(plug->Value(kLowInput), 24.0);
  EXPECT_EQ(plug->Value(kOversampling), 1.0);
  EXPECT_EQ(plug->Value(kLowOutput), Table().GetParam(kLowOutput)->GetDefault());
  EXPECT_NE(plug->Value(kLowMeter), 0.5);
  plug->events.Value(kLowInput, 1e9); // beyond the range: constrained
  plug->Flush();
  EXPECT_EQ(plug->Value(kLowInput), Table().GetParam(kLowInput)->GetMax());
}

TEST(CLAPAudioPorts, MainInSidechainInMainOut)
{
  auto plug = MakePlugin();
  ASSERT_TRUE(plug && plug->ports);
  ASSERT_EQ(plug->ports->count(plug->p, true), 2u);
  ASSERT_EQ(plug->ports->count(plug->p, false), 1u);
  clap_audio_port_info info{};
  ASSERT_TRUE(plug->ports->get(plug->p, 0, true, &info));
  EXPECT_TRUE(info.flags & CLAP_AUDIO_PORT_IS_MAIN);
  EXPECT_TRUE(info.flags & CLAP_AUDIO_PORT_SUPPORTS_64BITS);
  EXPECT_EQ(info.channel_count, 2u);
  EXPECT_STREQ(info.port_type, CLAP_PORT_STEREO);
  ASSERT_TRUE(plug->ports->get(plug->p, 1, true, &info));
  EXPECT_FALSE(info.flags & CLAP_AUDIO_PORT_IS_MAIN);
  EXPECT_EQ(info.channel_count, 2u);
  ASSERT_TRUE(plug->ports->get(plug->p, 0, false, &info));
  EXPECT_TRUE(info.flags & CLAP_AUDIO_PORT_IS_MAIN);
  EXPECT_FALSE(plug->ports->get(plug->p, 2, true, &info));
  EXPECT_FALSE(plug->ports->get(plug->p, 1, false, &info));
}

TEST(CLAPState, SavesTheClassBytesAndRestoresThemThroughShortReadsAndWrites)
{
  auto plug = MakePlugin();
  ASSERT_TRUE(plug);
  for (int i = 0; i < Table().NParams(); i++)
    if (i < kLowMeter || i > kHighMeter)
      plug->events.Value(static_cast<clap_id>(i), Table().GetParam(i)->FromNormalized(0.3));
  plug->Flush();
  const std::vector<uint8_t> saved = plug->Save();
  ASSERT_FALSE(saved.empty());

  // The same bytes the plug-in class serialises for the same values.
  Brevant& reference = *new Brevant(iplug::InstanceInfo{});
  for (int i = 0; i < reference.NParams(); i++)
    reference.GetParam(i)->Set(plug->Value(static_cast<clap_id>(i)));
  for (int i = kLowMeter; i <= kHighMeter; i++)
    reference.GetParam(i)->SetToDefault();
  iplug::IByteChunk chunk;
  const bool serialized = reference.SerializeState(chunk);
  reference.release();
  ASSERT_TRUE(serialized);
  EXPECT_EQ(saved, std::vector<uint8_t>(chunk.GetData(), chunk.GetData() + chunk.Size()));

  EXPECT_EQ(plug->Save(3), saved) << "a stream that takes three bytes at a time";

  auto other = MakePlugin();
  ASSERT_TRUE(other);
  ASSERT_TRUE(other->Load(saved, 5)) << "a stream that gives five bytes at a time";
  EXPECT_EQ(other->Save(), saved);
  EXPECT_GE(other->host.rescans, 1);
  EXPECT_TRUE(other->host.lastRescanFlags & CLAP_PARAM_RESCAN_VALUES);
}

TEST(CLAPState, DamagedStreamsFailAndChangeNothing)
{
  auto plug = MakePlugin();
  ASSERT_TRUE(plug);
  plug->events.Value(kMidInput, 17.0);
  plug->Flush();
  const std::vector<uint8_t> before = plug->Save();
  ASSERT_FALSE(before.empty());

  auto donor = MakePlugin();
  donor->events.Value(kMidInput, 3.0);
  donor->events.Value(kHighXover, 9000.0);
  donor->Flush();
  const std::vector<uint8_t> good = donor->Save();

  const std::vector<std::vector<uint8_t>> damaged = {
      {},
      std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(good.size() / 2)),
      std::vector<uint8_t>(good.begin(), good.end() - 1),
      std::vector<uint8_t>(7, 0xFF),
  };
  for (size_t i = 0; i < damaged.size(); i++)
  {
    SCOPED_TRACE(i);
    EXPECT_FALSE(plug->Load(damaged[i]));
    EXPECT_EQ(plug->Save(), before) << "a refused state leaves the plug-in as it was";
  }
  EXPECT_FALSE(plug->Load(good, 16, 32)) << "a stream that reports an error part-way";
  EXPECT_EQ(plug->Save(), before);
  EXPECT_FALSE(plug->state->load(plug->p, nullptr));
  EXPECT_FALSE(plug->state->save(plug->p, nullptr));
  clap_ostream refusing{nullptr, [](const clap_ostream*, const void*, uint64_t) -> int64_t { return 0; }};
  EXPECT_FALSE(plug->state->save(plug->p, &refusing)) << "a stream that takes nothing";

  // Still usable: a good state loads and the plug-in processes.
  ASSERT_TRUE(plug->Load(good));
  EXPECT_EQ(plug->Value(kMidInput), 3.0);
  ASSERT_TRUE(plug->Activate(48000.0, 64));
  std::vector<float> l(64, 0.1f), r(64, 0.1f), ol(64), orr(64);
  EXPECT_EQ(plug->Process<float>(64, {l.data(), r.data()}, {ol.data(), orr.data()}), CLAP_PROCESS_CONTINUE);
}

TEST(CLAPLatency, OversamplingAsksTheHostToRestartAndThenReportsTheNewLatency)
{
  auto plug = MakePlugin();
  ASSERT_TRUE(plug && plug->latency);
  EXPECT_EQ(plug->latency->get(plug->p), 0u);
  ASSERT_TRUE(plug->Activate(48000.0, 128));
  std::vector<float> l(128, 0.1f), r(128, 0.1f), ol(128), orr(128);

  plug->events.Value(kOversampling, 1.0, 40);
  ASSERT_EQ(plug->Process<float>(128, {l.data(), r.data()}, {ol.data(), orr.data()}), CLAP_PROCESS_CONTINUE);
  EXPECT_EQ(plug->host.callbackRequests, 1) << "the audio thread asks for the main thread";
  EXPECT_EQ(plug->host.restartRequests, 0);
  plug->p->on_main_thread(plug->p);
  EXPECT_EQ(plug->host.restartRequests, 1) << "active: the host must restart the plug-in";
  EXPECT_EQ(plug->host.latencyChanges, 0);

  plug->Deactivate(); // the host's restart
  EXPECT_EQ(plug->host.latencyChanges, 1) << "told while deactivated";
  EXPECT_EQ(plug->latency->get(plug->p), 64u);
  ASSERT_TRUE(plug->Activate(48000.0, 128));
  ASSERT_EQ(plug->Process<float>(128, {l.data(), r.data()}, {ol.data(), orr.data()}), CLAP_PROCESS_CONTINUE);
  plug->p->on_main_thread(plug->p);
  EXPECT_EQ(plug->host.restartRequests, 1) << "no change, no restart";

  plug->events.Value(kOversampling, 0.0);
  ASSERT_EQ(plug->Process<float>(128, {l.data(), r.data()}, {ol.data(), orr.data()}), CLAP_PROCESS_CONTINUE);
  plug->p->on_main_thread(plug->p);
  EXPECT_EQ(plug->host.restartRequests, 2);
  plug->Deactivate();
  EXPECT_EQ(plug->host.latencyChanges, 2);
  EXPECT_EQ(plug->latency->get(plug->p), 0u);
}

} // namespace
