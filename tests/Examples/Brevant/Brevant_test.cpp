// The plug-in class as the framework and a host drive it: parameter table, engine cache, reset, state, and
// unchanged audio while bypassed (the host's bypass or the plug-in's own "Bypass" switch).

#include "Brevant.h"
#include "IPlugByteChunk.h"
#include "VST3TestHost.h"

#include "public.sdk/source/common/memorystream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace vst3test;

namespace
{
struct Instance
{
  Instance() : plug(new Brevant(iplug::InstanceInfo()))
  {
    plug->initialize(&host);
    plug->setComponentHandler(&handler);
  }
  ~Instance()
  {
    plug->setComponentHandler(nullptr);
    plug->terminate();
    plug->release();
  }
  Brevant* operator->() { return plug; }

  void Start(int32 sampleSize)
  {
    ProcessSetup setup{kRealtime, sampleSize, 256, 48000.0};
    plug->setupProcessing(setup);
    plug->activateBus(kAudio, kInput, 0, true);
    plug->activateBus(kAudio, kOutput, 0, true);
    plug->setActive(true);
    plug->setProcessing(true);
  }

  /** Sets plain values through the host's automation path (the last point of a queue, on the audio thread). */
  void Automate(std::vector<std::pair<int, double>> plainValues)
  {
    Buses<double> in({2}, 1), out({2}, 1);
    ProcessData data = MakeProcessData(in, out, 1);
    ParameterChanges changes;
    for (auto& [idx, value] : plainValues)
      changes.Add(static_cast<ParamID>(idx), {{0, plug->GetParam(idx)->ToNormalized(value)}});
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

  tresult Load(const std::vector<uint8_t>& bytes)
  {
    MemoryStream stream;
    int32 written = 0;
    stream.write(const_cast<uint8_t*>(bytes.data()), static_cast<int32>(bytes.size()), &written);
    stream.seek(0, IBStream::kIBSeekSet, nullptr);
    return plug->setState(&stream);
  }

  HostApplication host;
  ComponentHandler handler;
  Brevant* plug;
};
} // namespace

TEST(Brevant, ParameterTable)
{
  Brevant plug{iplug::InstanceInfo()};
  ASSERT_EQ(plug.NParams(), 31);
  EXPECT_STREQ(plug.GetParam(kHighXover)->GetName(), "High X-Overx");
  for (int i : {kLowMeter, kMidMeter, kHighMeter})
  {
    const iplug::IParam* p = plug.GetParam(i);
    EXPECT_STREQ(p->GetName(), "");
    EXPECT_EQ(p->Type(), iplug::IParam::kTypeNone);
    EXPECT_EQ(p->GetMin(), 0.0);
    EXPECT_EQ(p->GetMax(), 1.0);
  }
  EXPECT_STREQ(plug.GetParam(kOversampling)->GetDisplayText(0), "Oversampling Off");
  EXPECT_STREQ(plug.GetParam(kOversampling)->GetDisplayText(1), "Oversampling On");
  EXPECT_TRUE(plug.GetParam(kBypass)->GetStepped());
  EXPECT_EQ(plug.GetParam(kBypass)->Value(), 1.0);
  EXPECT_EQ(plug.GetParam(kLowRelease)->Value(), 400.0);
  EXPECT_EQ(plug.GetParam(kGlobalInput)->GetMin(), -20.0);
  EXPECT_EQ(plug.GetParam(kLowInput)->GetDisplayPrecision(), 1);
  EXPECT_STREQ(plug.GetParam(kLowMix)->GetLabel(), "%");
  EXPECT_EQ(plug.GetEditorWidth(), 997);
  EXPECT_EQ(plug.GetEditorHeight(), 612);
  EXPECT_EQ(plug.GetMinWidth(), 498);
  EXPECT_EQ(plug.GetMaxHeight(), 1224);
  EXPECT_EQ(plug.GetUniqueID(), 0x42525631);
  EXPECT_EQ(plug.GetMfrID(), 0x516C6D72);
  EXPECT_STREQ(plug.GetBundleID(), "com.Quillmere.vst3.Brevant");
  WDL_String version;
  plug.GetPluginVersionStr(version);
  EXPECT_STREQ(version.Get(), "v1.0.0");
}

TEST(Brevant, InitializeFillsTheEngineCache)
{
  Instance b;
  const GlobalSettings& g = b->GetGlobalSettings();
  EXPECT_EQ(g.lowXoverHz, 425.0);
  EXPECT_EQ(g.highXoverHz, 5500.0);
  EXPECT_EQ(g.inputGain, 1.0);
  EXPECT_EQ(g.outputGain, 1.0);
  EXPECT_EQ(g.mix, 1.0);
  EXPECT_EQ(g.active, 1);
  EXPECT_EQ(g.osFactor, 0);
  EXPECT_EQ(g.osLatency, 0);
  for (int band = 0; band < Brevant::kNumBands; band++)
  {
    const BandSettings& s = b->GetBandSettings(band);
    EXPECT_EQ(s.attackMs, 10.0);
    EXPECT_EQ(s.releaseMs, 400.0);
    EXPECT_EQ(s.driveDb, 0.0);
    EXPECT_EQ(s.shelfGainDb, 0.0);
    EXPECT_EQ(s.mix, 1.0);
    EXPECT_EQ(s.sidechain, 0);
    EXPECT_EQ(s.active, 1);
  }
}

TEST(Brevant, ParameterChangesConvertIntoTheEngineCache)
{
  Instance b;
  b.Start(kSample64);
  b.Automate({{kHighInput, 40.0},
              {kLowInput, 40.0},
              {kLowOutput, 40.0},
              {kGlobalInput, -20.0},
              {kGlobalOutput, 20.0},
              {kMidMix, 25.0},
              {kGlobalMix, 0.0},
              {kHighAttack, 50.0},
              {kMidRelease, 3000.0},
              {kLowXover, 1200.0},
              {kHighXover, 1200.0},
              {kMidSidechain, 1.0},
              {kHighBypass, 0.0},
              {kOversampling, 1.0},
              {kBypass, 0.0}});
  const BandSettings& low = b->GetBandSettings(Brevant::kBandLow);
  const BandSettings& mid = b->GetBandSettings(Brevant::kBandMid);
  const BandSettings& high = b->GetBandSettings(Brevant::kBandHigh);
  const GlobalSettings& g = b->GetGlobalSettings();
  EXPECT_EQ(high.driveDb, 60.0);
  EXPECT_EQ(low.driveDb, 40.0);
  EXPECT_EQ(low.shelfGainDb, 20.0);
  EXPECT_NEAR(g.inputGain, 0.1, 1e-15);
  EXPECT_NEAR(g.outputGain, 10.0, 1e-13);
  EXPECT_EQ(mid.mix, 0.25);
  EXPECT_EQ(g.mix, 0.0);
  EXPECT_EQ(high.attackMs, 50.0);
  EXPECT_EQ(mid.releaseMs, 3000.0);
  EXPECT_EQ(g.lowXoverHz, 1200.0);
  EXPECT_EQ(g.highXoverHz, 1200.0);
  EXPECT_EQ(mid.sidechain, 1);
  EXPECT_EQ(high.active, 0);
  EXPECT_EQ(g.osFactor, 2);
  EXPECT_EQ(g.osLatency, 64);
  EXPECT_EQ(g.active, 0);

  b.Automate({{kOversampling, 0.0}, {kBypass, 1.0}, {kGlobalInput, 0.0}});
  EXPECT_EQ(g.osFactor, 0);
  EXPECT_EQ(g.osLatency, 0);
  EXPECT_EQ(g.active, 1);
  EXPECT_EQ(g.inputGain, 1.0);

  // The meter channels carry readings only: the engine ignores them, and nothing outside the table reacts.
  const BandSettings before = low;
  b.Automate({{kLowMeter, 0.3}, {kMidMeter, 0.7}});
  b->OnParamChange(99);
  b->OnParamChange(-1);
  EXPECT_EQ(low.attackMs, before.attackMs);
  EXPECT_EQ(low.mix, before.mix);
}

TEST(Brevant, ResetClearsOnlyTheOversamplers)
{
  Brevant plug{iplug::InstanceInfo()};
  compressor& c = plug.GetCompressor(Brevant::kBandLow);
  c.setThreshold(-30.0);
  for (int i = 0; i < 10; i++)
    c.processStereo(1.0, 1.0);
  const double gr = c.gainReductionDb;
  ASSERT_LT(gr, 0.0);
  plug.OnReset();
  EXPECT_EQ(c.gainReductionDb, gr);
}

TEST(Brevant, StateRoundTrip)
{
  Instance a;
  a.Start(kSample64);
  a.Automate({{kLowAttack, 33.0}, {kHighXover, 8000.0}, {kGlobalInput, -7.3}, {kOversampling, 1.0}, {kBypass, 0.0}});
  iplug::IByteChunk chunk;
  EXPECT_TRUE(a->SerializeState(chunk));
  EXPECT_EQ(chunk.Size(), 260);

  const std::vector<uint8_t> state = a.State();
  ASSERT_EQ(state.size(), 264u);

  Instance b;
  ASSERT_EQ(b.Load(state), kResultOk);
  for (int i = 0; i < kNumParams; i++)
  {
    EXPECT_EQ(b->GetParam(i)->Value(), a->GetParam(i)->Value()) << i;
    EXPECT_DOUBLE_EQ(b->getParamNormalized(i), a->GetParam(i)->GetNormalized()) << i;
  }
  // The restore reached the engine cache too.
  EXPECT_EQ(b->GetGlobalSettings().osLatency, 64);
  EXPECT_EQ(b->GetGlobalSettings().active, 0);
  EXPECT_EQ(b->GetBandSettings(Brevant::kBandLow).attackMs, 33.0);

  // A state without the trailing flag is refused and changes nothing.
  Instance c;
  const std::vector<uint8_t> fresh = c.State();
  EXPECT_EQ(c.Load(std::vector<uint8_t>(state.begin(), state.end() - 4)), kResultFalse);
  EXPECT_EQ(c.State(), fresh);
  EXPECT_EQ(c->GetBandSettings(Brevant::kBandLow).attackMs, 10.0);
}

TEST(Brevant, BypassedAudioPassesUnchanged)
{
  for (int32 size : {kSample32, kSample64})
  {
    Instance b;
    b.Start(size);
    b.Automate({{kBypass, 0.0}});
    auto check = [&](auto zero)
    {
      using T = decltype(zero);
      Buses<T> in({2, 2}, 256), out({2}, 256);
      for (int i = 0; i < 256; i++)
      {
        in.at(0, 0, i) = static_cast<T>(std::sin(0.05 * i));
        in.at(0, 1, i) = static_cast<T>(std::cos(0.03 * i));
        in.at(1, 0, i) = T(0.9);
      }
      ProcessData data = MakeProcessData(in, out, 256);
      for (int bypass = 0; bypass < 2; bypass++)
      {
        ParameterChanges changes;
        changes.Add(iplug::kVST3BypassParamID, {{0, bypass ? 1.0 : 0.0}});
        data.inputParameterChanges = &changes;
        EXPECT_EQ(b->process(data), kResultOk);
        for (int i = 0; i < 256; i++)
        {
          ASSERT_EQ(out.at(0, 0, i), in.at(0, 0, i));
          ASSERT_EQ(out.at(0, 1, i), in.at(0, 1, i));
        }
      }
    };
    if (size == kSample32)
      check(0.0f);
    else
      check(0.0);
    EXPECT_EQ(b->getLatencySamples(), 0u);
  }
}

TEST(Brevant, HostileStates)
{
  Instance b;
  const std::vector<uint8_t> before = b.State();
  // A state that claims an editor size and scale no editor can have still only stores the numbers; values
  // outside a parameter's range are clamped on the way in.
  std::vector<uint8_t> state = before;
  const double huge = 1e300;
  std::memcpy(state.data() + 12 + 8 * kLowAttack, &huge, 8);
  const double nan = std::nan("");
  std::memcpy(state.data() + 12 + 8 * kGlobalInput, &nan, 8);
  ASSERT_EQ(b.Load(state), kResultOk);
  EXPECT_EQ(b->GetParam(kLowAttack)->Value(), 50.0);
  const double input = b->GetParam(kGlobalInput)->Value();
  EXPECT_TRUE(input >= -20.0 && input <= 20.0);
  EXPECT_TRUE(std::isfinite(b->GetGlobalSettings().inputGain));
}
