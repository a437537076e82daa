// Brevant in-process, as a host and the framework drive it: the factory's class, the host parameters, the
// parameter table, the engine cache, reset and state.

#include "Brevant.h"
#include "IPlugByteChunk.h"
#include "VST3TestHost.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "public.sdk/source/common/memorystream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace vst3test;

extern "C" IPluginFactory* PLUGIN_API GetPluginFactory();

namespace
{
struct Instance
{
  Instance() : plug(new Brevant(iplug::InstanceInfo())) { plug->initialize(&host); }
  ~Instance()
  {
    plug->terminate();
    plug->release();
  }
  Brevant* operator->() { return plug; }

  /** Plain values through the host's automation path: the last point of each queue, on the audio thread. */
  void Automate(std::vector<std::pair<int, double>> plainValues)
  {
    ProcessSetup setup{kRealtime, kSample64, 64, 48000.0};
    plug->setupProcessing(setup);
    Buses<double> in({2}, 1), out({2}, 1);
    ProcessData data = MakeProcessData(in, out, 1);
    ParameterChanges changes;
    for (auto& [idx, value] : plainValues)
      changes.Add(static_cast<ParamID>(idx), 0, plug->GetParam(idx)->ToNormalized(value));
    data.inputParameterChanges = &changes;
    plug->process(data);
  }

  std::vector<uint8_t> State()
  {
    MemoryStream stream;
    EXPECT_EQ(plug->getState(&stream), kResultOk);
    const auto* bytes = reinterpret_cast<const uint8_t*>(stream.getData());
    return std::vector<uint8_t>(bytes, bytes + stream.getSize());
  }

  tresult Load(std::vector<uint8_t> bytes)
  {
    MemoryStream stream(bytes.data(), static_cast<TSize>(bytes.size()));
    return plug->setState(&stream);
  }

  NamedHost host;
  Brevant* plug;
};
} // namespace

TEST(Brevant, FactoryAdvertisesOneEffectClass)
{
  IPluginFactory* factory = GetPluginFactory();
  ASSERT_NE(factory, nullptr);
  PFactoryInfo finfo{};
  factory->getFactoryInfo(&finfo);
  EXPECT_STREQ(finfo.vendor, "Quillmere");
  EXPECT_STREQ(finfo.url, "https://quillmere.example/brevant");
  EXPECT_STREQ(finfo.email, "support@quillmere.example");
  EXPECT_EQ(finfo.flags, 16);

  ASSERT_EQ(factory->countClasses(), 1);
  FUnknownPtr<IPluginFactory3> factory3(factory);
  PClassInfo2 info{};
  PClassInfoW winfo{};
  ASSERT_EQ(factory3->getClassInfo2(0, &info), kResultOk);
  ASSERT_EQ(factory3->getClassInfoUnicode(0, &winfo), kResultOk);
  const uint8_t cid[16] = {0xF2, 0xAE, 0xE7, 0x0D, 0x00, 0xDE, 0x4F, 0x4E,
                           0x51, 0x6C, 0x6D, 0x72, 0x42, 0x52, 0x56, 0x31};
  EXPECT_EQ(std::memcmp(info.cid, cid, 16), 0);
  EXPECT_EQ(std::memcmp(winfo.cid, cid, 16), 0);
  EXPECT_EQ(info.cardinality, PClassInfo::kManyInstances);
  EXPECT_STREQ(info.category, "Audio Module Class");
  EXPECT_STREQ(info.name, "Brevant");
  EXPECT_EQ(Str(winfo.name), "Brevant");
  EXPECT_EQ(info.classFlags, 2u);
  EXPECT_STREQ(info.subCategories, "Fx|Dynamics");
  EXPECT_STREQ(info.vendor, "");
  EXPECT_STREQ(info.version, "1.0.0");
  EXPECT_EQ(Str(winfo.version), "1.0.0");
  EXPECT_STREQ(info.sdkVersion, "VST 3.7.6");
  EXPECT_EQ(Str(winfo.sdkVersion), "VST 3.7.6");
  factory->release();
}

TEST(Brevant, HostParameters)
{
  Instance b;
  ASSERT_EQ(b->getParameterCount(), 33); // the host bypass, the 31 and the program change
  ParameterInfo info{};
  b->getParameterInfo(0, info);
  EXPECT_EQ(info.id, 0x10000u);
  EXPECT_EQ(info.flags, 0x10009);

  struct Expected
  {
    const char* title;
    const char* units;
    int32 steps;
    double defaultNormalized;
  };
  const double attack = std::sqrt(9. / 49.), release = std::sqrt(300. / 2900.);
  // By index; the three meter channels, never named by the plug-in, are called by their IDs.
  // clang-format off
  const Expected expected[31] = {
    {"Low Attack", "ms", 0, attack}, {"Low Release", "ms", 0, release}, {"Low Input", "dB", 0, 0.0},
    {"Low Output", "dB", 0, 0.0}, {"Low Mix", "%", 0, 1.0},
    {"Mid Attack", "ms", 0, attack}, {"Mid Release", "ms", 0, release}, {"Mid Input", "dB", 0, 0.0},
    {"Mid Output", "dB", 0, 0.0}, {"Mid Mix", "%", 0, 1.0},
    {"High Attack", "ms", 0, attack}, {"High Release", "ms", 0, release}, {"High Input", "dB", 0, 0.0},
    {"High Output", "dB", 0, 0.0}, {"High Mix", "%", 0, 1.0},
    {"Low X-Over", "Hz", 0, std::pow(375. / 1150., 1. / 1.5)},
    {"High X-Overx", "Hz", 0, std::pow(4300. / 10800., 1. / 1.5)},
    {"Input", "dB", 0, 0.5}, {"Output", "dB", 0, 0.5}, {"Mix", "%", 0, 1.0},
    {"Param 20", "", 0, 0.0}, {"Param 21", "", 0, 0.0}, {"Param 22", "", 0, 0.0},
    {"Low Sidechain", "", 1, 0.0}, {"Mid Sidechain", "", 1, 0.0}, {"High Sidechain", "", 1, 0.0},
    {"Low Bypass", "", 1, 1.0}, {"Mid Bypass", "", 1, 1.0}, {"High Bypass", "", 1, 1.0},
    {"Bypass", "", 1, 1.0}, {"Oversampling", "", 1, 0.0}};
  // clang-format on
  for (int32 i = 0; i < 31; i++)
  {
    SCOPED_TRACE(i);
    ASSERT_EQ(b->getParameterInfo(i + 1, info), kResultOk);
    EXPECT_EQ(info.id, static_cast<ParamID>(i));
    EXPECT_EQ(Str(info.title), expected[i].title);
    EXPECT_EQ(Str(info.units), expected[i].units);
    EXPECT_EQ(info.stepCount, expected[i].steps);
    EXPECT_NEAR(info.defaultNormalizedValue, expected[i].defaultNormalized, 1e-12);
    // The meter channels are hidden from the host and not automated.
    EXPECT_EQ(info.flags, i >= kLowMeter && i <= kHighMeter ? ParameterInfo::kIsReadOnly | ParameterInfo::kIsHidden
                                                            : ParameterInfo::kCanAutomate);
    EXPECT_EQ(info.unitId, kRootUnitId);
  }
  EXPECT_EQ(b->getUnitCount(), 1);
  String128 text{};
  b->getParamStringByValue(kOversampling, 0.0, text);
  EXPECT_EQ(Str(text), "Oversampling Off");
}

TEST(Brevant, EngineCache)
{
  Instance b;
  const BandSettings& low = b->GetBandSettings(Brevant::kBandLow);
  const BandSettings& mid = b->GetBandSettings(Brevant::kBandMid);
  const BandSettings& high = b->GetBandSettings(Brevant::kBandHigh);
  const GlobalSettings& g = b->GetGlobalSettings();

  // initialize announced every parameter: the cache holds the defaults.
  EXPECT_EQ(g.highXoverHz, 5500.0);
  EXPECT_EQ(g.outputGain, 1.0);
  EXPECT_EQ(high.releaseMs, 400.0);
  EXPECT_EQ(mid.mix, 1.0);

  // Values as the host sends them, through the audio thread's path.
  b.Automate({{kHighInput, 40.0},
              {kLowInput, 40.0},
              {kLowOutput, 40.0},
              {kGlobalInput, -20.0},
              {kMidMix, 25.0},
              {kMidSidechain, 1.0},
              {kHighBypass, 0.0},
              {kOversampling, 1.0},
              {kBypass, 0.0}});
  EXPECT_EQ(high.driveDb, 60.0);
  EXPECT_EQ(low.driveDb, 40.0);
  EXPECT_EQ(low.shelfGainDb, 20.0);
  EXPECT_NEAR(g.inputGain, 0.1, 1e-15);
  EXPECT_EQ(mid.mix, 0.25);
  EXPECT_EQ(mid.sidechain, 1);
  EXPECT_EQ(high.active, 0);
  EXPECT_EQ(g.osFactor, 2);
  EXPECT_EQ(g.osLatency, 64);
  EXPECT_EQ(g.active, 0);
  b.Automate({{kOversampling, 0.0}, {kBypass, 1.0}, {kGlobalInput, 0.0}, {kLowMeter, 0.3}});
  EXPECT_EQ(g.osFactor + g.osLatency, 0);
  EXPECT_EQ(g.active, 1);
  EXPECT_EQ(g.inputGain, 1.0);
  b->OnParamChange(99); // nothing outside the table reacts
  EXPECT_EQ(low.attackMs, 10.0);

  // Reset clears only the oversamplers: the compressors keep their gain reduction.
  compressor& c = b->GetCompressor(Brevant::kBandLow);
  c.setThreshold(-30.0);
  for (int i = 0; i < 10; i++)
    c.processStereo(1.0, 1.0);
  const double gr = c.gainReductionDb;
  ASSERT_LT(gr, 0.0);
  b->OnReset();
  EXPECT_EQ(c.gainReductionDb, gr);
}

TEST(Brevant, State)
{
  Instance a;
  a.Automate({{kLowAttack, 33.0}, {kHighXover, 8000.0}, {kGlobalInput, -7.3}, {kOversampling, 1.0}, {kBypass, 0.0}});
  iplug::IByteChunk chunk;
  EXPECT_TRUE(a->SerializeState(chunk));
  EXPECT_EQ(chunk.Size(), 260); // editor record, then 31 doubles
  const std::vector<uint8_t> state = a.State();
  ASSERT_EQ(state.size(), 264u);

  Instance b;
  ASSERT_EQ(b.Load(state), kResultOk);
  for (int i = 0; i < kNumParams; i++)
  {
    EXPECT_EQ(b->GetParam(i)->Value(), a->GetParam(i)->Value()) << i;
    EXPECT_DOUBLE_EQ(b->getParamNormalized(i), a->GetParam(i)->GetNormalized()) << i;
  }
  EXPECT_EQ(b->GetGlobalSettings().osLatency, 64); // the restore reached the engine cache
  EXPECT_EQ(b->GetBandSettings(Brevant::kBandLow).attackMs, 33.0);

  // Without the trailing flag: refused, nothing changed.
  Instance c;
  const std::vector<uint8_t> fresh = c.State();
  EXPECT_EQ(c.Load(std::vector<uint8_t>(state.begin(), state.end() - 4)), kResultFalse);
  EXPECT_EQ(c.State(), fresh);

  // Stored values outside a range are clamped; a NaN does not reach the engine.
  std::vector<uint8_t> odd = fresh;
  const double huge = 1e300, nan = std::nan("");
  std::memcpy(odd.data() + 12 + 8 * kLowAttack, &huge, 8);
  std::memcpy(odd.data() + 12 + 8 * kGlobalInput, &nan, 8);
  ASSERT_EQ(c.Load(odd), kResultOk);
  EXPECT_EQ(c->GetParam(kLowAttack)->Value(), 50.0);
  EXPECT_TRUE(std::isfinite(c->GetGlobalSettings().inputGain));
}
