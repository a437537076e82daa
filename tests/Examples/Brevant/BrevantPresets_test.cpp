// The factory presets: made whole, recalled through the host's program-change parameter, never in the way of a
// restored session.

#include "Brevant.h"
#include "HostPresets.h"
#include "HostedPlugin.h"
#include "IPlugByteChunk.h"

#include "pluginterfaces/vst/ivstunits.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/vstpresetfile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace brevant::host;

namespace
{
std::unique_ptr<HostedPlugin> Open()
{
  std::string error;
  auto module = HostModule::Load(BREVANT_BUNDLE_DIR, error);
  EXPECT_TRUE(module) << error;
  auto plug = module ? HostedPlugin::Create(module, error) : nullptr;
  EXPECT_TRUE(plug) << error;
  return plug;
}

double Plain(HostedPlugin& plug, const char* title)
{
  const auto p = plug.FindParam(title);
  return p ? plug.NormalizedToPlain(p->id, plug.GetParamNormalized(p->id)) : NAN;
}
} // namespace

TEST(BrevantPresets, EveryPresetRestoresItsOwnValuesInRange)
{
  Brevant plug{iplug::InstanceInfo()};
  ASSERT_EQ(plug.NPresets(), brevant::kNumPresets);
  EXPECT_STREQ(plug.GetPresetName(0), "Init");

  iplug::IByteChunk defaults;
  ASSERT_TRUE(plug.SerializeState(defaults));
  std::set<std::string> names;
  for (int i = 0; i < plug.NPresets(); i++)
  {
    SCOPED_TRACE(plug.GetPresetName(i));
    ASSERT_TRUE(plug.GetPreset(i)->mInitialized);
    names.insert(plug.GetPresetName(i));
    // A preset is a whole state: recalled, it re-serializes to the same size and every value is in range, down to
    // the last parameter (a chunk out of step with the state's layout would shift or cut them).
    ASSERT_TRUE(plug.RestorePreset(i));
    iplug::IByteChunk state;
    ASSERT_TRUE(plug.SerializeState(state));
    EXPECT_EQ(state.Size(), defaults.Size());
    EXPECT_EQ(plug.GetPreset(i)->mChunk.Size(), defaults.Size());
    for (int p = 0; p < kNumParams; p++)
    {
      const iplug::IParam* param = plug.GetParam(p);
      if (p == kLowMeter || p == kMidMeter || p == kHighMeter)
        continue;
      EXPECT_GE(param->Value(), param->GetMin()) << param->GetName();
      EXPECT_LE(param->Value(), param->GetMax()) << param->GetName();
    }
    EXPECT_TRUE(plug.GetParam(kBypass)->Bool()) << "a preset never switches the effect off";
  }
  EXPECT_EQ(names.size(), static_cast<size_t>(plug.NPresets())) << "names are unique";

  ASSERT_TRUE(plug.RestorePreset("Bass Tightener"));
  EXPECT_DOUBLE_EQ(plug.GetParam(kLowInput)->Value(), 26.0);
  EXPECT_EQ(plug.GetParam(kMidBypass)->IntValue(), 0);
  EXPECT_DOUBLE_EQ(plug.GetParam(kMidInput)->Value(), 0.0) << "unnamed values are the defaults";
  ASSERT_TRUE(plug.RestorePreset("Init"));
  iplug::IByteChunk init;
  ASSERT_TRUE(plug.SerializeState(init));
  EXPECT_TRUE(init.IsEqual(defaults));
}

TEST(BrevantPresets, HostsListAndRecallThemThroughTheProgramParameter)
{
  auto plug = Open();
  ASSERT_TRUE(plug);
  FUnknownPtr<IUnitInfo> units(plug->Controller());
  ASSERT_TRUE(units);
  ASSERT_EQ(units->getProgramListCount(), 1);
  ProgramListInfo list{};
  ASSERT_EQ(units->getProgramListInfo(0, list), kResultOk);
  EXPECT_EQ(list.id, 0x10001);
  EXPECT_EQ(list.programCount, brevant::kNumPresets);
  EXPECT_NE(units->getProgramListInfo(1, list), kResultOk);
  UnitInfo root{};
  ASSERT_EQ(units->getUnitInfo(0, root), kResultOk);
  EXPECT_EQ(root.programListId, 0x10001);

  const auto programs = ReadProgramList(*plug);
  ASSERT_TRUE(programs);
  EXPECT_EQ(programs->names.front(), "Init");
  const auto param = plug->FindParam("#0x10001");
  ASSERT_TRUE(param);
  EXPECT_TRUE(param->flags & ParameterInfo::kIsProgramChange);
  EXPECT_EQ(param->stepCount, brevant::kNumPresets - 1);
  EXPECT_EQ(param->unitId, kRootUnitId);

  std::string error;
  ASSERT_TRUE(SelectProgram(*plug, "parallel crush", error)) << error;
  EXPECT_DOUBLE_EQ(Plain(*plug, "Mix"), 40.0);
  EXPECT_DOUBLE_EQ(Plain(*plug, "Low Input"), 36.0);
  EXPECT_GE(plug->Handler().RestartCount(kParamValuesChanged), 1);
  EXPECT_FALSE(SelectProgram(*plug, "No Such Preset", error));

  // Choosing the program the parameter already shows recalls it again only through a change (a DAW menu's
  // second pick is one), so a tweak after a recall survives an echo of the same value.
  ASSERT_TRUE(plug->SetParamPlain(plug->FindParam("Low Input")->id, 12.0));
  ASSERT_TRUE(plug->SetParamNormalized(param->id, plug->GetParamNormalized(param->id)));
  EXPECT_DOUBLE_EQ(Plain(*plug, "Low Input"), 12.0);
  ASSERT_TRUE(SelectProgram(*plug, "Parallel Crush", error)) << error;
  EXPECT_DOUBLE_EQ(Plain(*plug, "Low Input"), 36.0);
}

TEST(BrevantPresets, ARestoredSessionIsTheSavedStateWhateverTheProgram)
{
  auto plug = Open();
  ASSERT_TRUE(plug);
  std::string error;
  ASSERT_TRUE(SelectProgram(*plug, "Drum Punch", error)) << error;
  ASSERT_TRUE(plug->SetParamPlain(plug->FindParam("Low Input")->id, 11.0));
  std::vector<uint8_t> saved;
  ASSERT_TRUE(plug->GetState(saved));
  EXPECT_EQ(saved.size(), 264u) << "the state's layout is the same with presets";

  // Another program chosen since; the session's state comes back as it was saved, and the host echoing the
  // program value it shows afterwards does not recall that program over it.
  ASSERT_TRUE(SelectProgram(*plug, "Vocal Leveller", error)) << error;
  ASSERT_TRUE(plug->SetState(saved));
  EXPECT_DOUBLE_EQ(Plain(*plug, "Low Input"), 11.0);
  EXPECT_DOUBLE_EQ(Plain(*plug, "Mid Input"), 30.0);
  const ParamID program = plug->FindParam("#0x10001")->id;
  ASSERT_TRUE(plug->SetParamNormalized(program, plug->GetParamNormalized(program)));
  EXPECT_DOUBLE_EQ(Plain(*plug, "Low Input"), 11.0);
  std::vector<uint8_t> again;
  ASSERT_TRUE(plug->GetState(again));
  EXPECT_EQ(again, saved);

  // A program change sent to the processor in a block is not a recall (it would rewrite every value on the audio
  // thread).
  ASSERT_TRUE(plug->Setup(48000.0, 64, kSample32));
  ASSERT_TRUE(plug->Start());
  ASSERT_TRUE(plug->QueueParamChange(program, 1.0));
  std::vector<float> l(64, 0.1f), r(64, 0.1f), ol(64), or_(64);
  float* in[2] = {l.data(), r.data()};
  float* out[2] = {ol.data(), or_.data()};
  ASSERT_TRUE(plug->Process(64, in, out));
  plug->Stop();
  EXPECT_DOUBLE_EQ(Plain(*plug, "Low Input"), 11.0);
}

#ifdef BREVANT_VSTPRESETS_TOOL
TEST(BrevantPresets, PresetFilesLoadAsTheProgramsDo)
{
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "brevant-vstpresets";
  std::filesystem::remove_all(dir);
  const std::string command =
      std::string(BREVANT_VSTPRESETS_TOOL) + " " + BREVANT_BUNDLE_DIR + " -o " + dir.string() + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);

  auto reference = Open();
  auto plug = Open();
  ASSERT_TRUE(reference && plug);
  const auto programs = ReadProgramList(*reference);
  ASSERT_TRUE(programs);
  for (const std::string& name : programs->names)
  {
    SCOPED_TRACE(name);
    const auto path = dir / "Quillmere" / "Brevant" / (name + ".vstpreset");
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    IPtr<MemoryStream> stream = owned(new MemoryStream(bytes.data(), static_cast<TSize>(bytes.size())));
    ASSERT_TRUE(PresetFile::loadPreset(stream, FUID::fromTUID(plug->Class().cid), plug->Component()));

    std::string error;
    ASSERT_TRUE(SelectProgram(*reference, name, error)) << error;
    std::vector<uint8_t> expected, loaded;
    ASSERT_TRUE(reference->GetState(expected));
    ASSERT_TRUE(plug->GetState(loaded));
    EXPECT_EQ(loaded, expected);
  }
}
#endif
