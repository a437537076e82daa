// Host view of the parameters: the SDK container filled from the framework's table, units, MIDI-controller
// parameters, and the controller calls that keep both sides in step.

#include "TestPlugVST3.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace vst3test;

namespace
{
ParameterInfo InfoOf(TestPlugVST3* plug, ParamID id)
{
  ParameterInfo info{};
  for (int32 i = 0; i < plug->getParameterCount(); i++)
  {
    plug->getParameterInfo(i, info);
    if (info.id == id)
      return info;
  }
  ADD_FAILURE() << "no parameter " << id;
  return info;
}

std::string StringOf(TestPlugVST3* plug, ParamID id, ParamValue normalized)
{
  String128 text{};
  EXPECT_EQ(plug->getParamStringByValue(id, normalized, text), kResultOk);
  return ToAscii(text);
}
} // namespace

TEST(IPlugVST3Controller, ParameterInfoMirrorsTheFrameworkTable)
{
  TestInstance t;
  ASSERT_EQ(t->getParameterCount(), kNumTestParams + 1);

  // The bypass switch comes first in the container, then the plug-in's parameters by index.
  ParameterInfo info{};
  ASSERT_EQ(t->getParameterInfo(0, info), kResultOk);
  EXPECT_EQ(info.id, iplug::kVST3BypassParamID);
  EXPECT_EQ(ToAscii(info.title), "Bypass");
  EXPECT_EQ(info.flags, 0x10009);
  EXPECT_EQ(info.stepCount, 1);
  EXPECT_EQ(info.unitId, kRootUnitId);
  EXPECT_EQ(StringOf(t.plug, iplug::kVST3BypassParamID, 0.0), "off");
  EXPECT_EQ(StringOf(t.plug, iplug::kVST3BypassParamID, 1.0), "on");

  const ParameterInfo gain = InfoOf(t.plug, kTestGain);
  EXPECT_EQ(ToAscii(gain.title), "Gain");
  EXPECT_EQ(ToAscii(gain.units), "dB");
  EXPECT_EQ(gain.stepCount, 0);
  EXPECT_DOUBLE_EQ(gain.defaultNormalizedValue, 0.5);
  EXPECT_EQ(gain.flags, ParameterInfo::kCanAutomate);
  EXPECT_EQ(gain.unitId, kRootUnitId);

  const ParameterInfo steps = InfoOf(t.plug, kTestSteps);
  EXPECT_EQ(steps.stepCount, 10);
  EXPECT_DOUBLE_EQ(steps.defaultNormalizedValue, 0.5);

  const ParameterInfo mode = InfoOf(t.plug, kTestMode);
  EXPECT_EQ(mode.stepCount, 2);
  EXPECT_EQ(mode.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList);

  EXPECT_EQ(InfoOf(t.plug, kTestHidden).flags, 0);
  EXPECT_EQ(InfoOf(t.plug, kTestSwitch).stepCount, 1);

  // Every host-side value starts at the default.
  EXPECT_DOUBLE_EQ(t->getParamNormalized(kTestSteps), 0.5);
  EXPECT_DOUBLE_EQ(t->getParamNormalized(kTestFreq), t->GetParam(kTestFreq)->GetDefault(true));

  // A host asking beyond the list gets a refusal, not an exception.
  EXPECT_EQ(t->getParameterInfo(kNumTestParams + 1, info), kResultFalse);
  EXPECT_EQ(t->getParameterInfo(-1, info), kResultFalse);
}

TEST(IPlugVST3Controller, ConversionsGoThroughTheParameter)
{
  TestInstance t;
  // Stepped linear 0..10: 0.5 gives 5, 0.55 rounds to 6.
  EXPECT_DOUBLE_EQ(t->normalizedParamToPlain(kTestSteps, 0.5), 5.0);
  EXPECT_DOUBLE_EQ(t->normalizedParamToPlain(kTestSteps, 0.55), 6.0);
  EXPECT_DOUBLE_EQ(t->plainParamToNormalized(kTestSteps, 7.4), 0.7);
  EXPECT_DOUBLE_EQ(t->plainParamToNormalized(kTestSteps, 99.0), 1.0);
  // The curve applies both ways.
  EXPECT_NEAR(t->normalizedParamToPlain(kTestFreq, 0.5), 20. + 0.25 * 19980., 0.5);

  EXPECT_EQ(StringOf(t.plug, kTestMode, 1.0), "C");
  EXPECT_EQ(StringOf(t.plug, kTestGain, 0.75), "6.0");

  // Text beyond the range lands on an end, never outside; text that is no number gives a finite value.
  ParamValue n = -1;
  std::u16string text = ToUTF16("500");
  EXPECT_EQ(t->getParamValueByString(kTestGain, reinterpret_cast<TChar*>(text.data()), n), kResultOk);
  EXPECT_DOUBLE_EQ(n, 1.0);
  text = ToUTF16("-500");
  t->getParamValueByString(kTestGain, reinterpret_cast<TChar*>(text.data()), n);
  EXPECT_DOUBLE_EQ(n, 0.0);
  text = ToUTF16("B");
  t->getParamValueByString(kTestMode, reinterpret_cast<TChar*>(text.data()), n);
  EXPECT_DOUBLE_EQ(n, 0.5);
  text = ToUTF16("rubbish");
  t->getParamValueByString(kTestGain, reinterpret_cast<TChar*>(text.data()), n);
  EXPECT_TRUE(std::isfinite(n));
  EXPECT_GE(n, 0.0);
  EXPECT_LE(n, 1.0);

  // Type names as the SDK's runtime type checks see them.
  auto* p = t->getParameterObject(kTestGain);
  EXPECT_TRUE(p->isTypeOf("IPlugVST3Parameter", false));
  EXPECT_TRUE(p->isTypeOf("Parameter", true));
  EXPECT_TRUE(t->getParameterObject(iplug::kVST3BypassParamID)->isTypeOf("StringListParameter", true));
  EXPECT_TRUE(t->isTypeOf("IPlugVST3", false));
  EXPECT_TRUE(t->isTypeOf("SingleComponentEffect", true));
}

TEST(IPlugVST3Controller, UnitsFollowGroupsInOrderOfAppearance)
{
  TestInstance t;
  ASSERT_EQ(t->getUnitCount(), 3);
  UnitInfo unit{};
  t->getUnitInfo(0, unit);
  EXPECT_EQ(unit.id, kRootUnitId);
  EXPECT_EQ(unit.parentUnitId, kNoParentUnitId);
  EXPECT_EQ(ToAscii(unit.name), "Root");
  t->getUnitInfo(1, unit);
  EXPECT_EQ(unit.id, 1);
  EXPECT_EQ(unit.parentUnitId, kRootUnitId);
  EXPECT_EQ(ToAscii(unit.name), "Modes");
  EXPECT_EQ(unit.programListId, kNoProgramListId);
  t->getUnitInfo(2, unit);
  EXPECT_EQ(ToAscii(unit.name), "Filter");

  EXPECT_EQ(InfoOf(t.plug, kTestMode).unitId, 1);
  EXPECT_EQ(InfoOf(t.plug, kTestHidden).unitId, 1);
  EXPECT_EQ(InfoOf(t.plug, kTestFreq).unitId, 2);
}

TEST(IPlugVST3Controller, MidiInputAddsControllerParametersAndUnits)
{
  TestPlugOptions o;
  o.midiIn = true;
  TestInstance t(o);
  ASSERT_EQ(t->getParameterCount(), kNumTestParams + 1 + 130);
  ASSERT_EQ(t->getUnitCount(), 5);
  UnitInfo midi{}, ch1{};
  t->getUnitInfo(3, midi);
  t->getUnitInfo(4, ch1);
  EXPECT_EQ(ToAscii(midi.name), "MIDI CCs");
  EXPECT_EQ(midi.id, 4);
  EXPECT_EQ(ToAscii(ch1.name), "CH1");
  EXPECT_EQ(ch1.id, 5);
  EXPECT_EQ(ch1.parentUnitId, midi.id);

  const ParameterInfo modWheel = InfoOf(t.plug, iplug::kVST3MIDICCParamStartID + 1);
  EXPECT_EQ(ToAscii(modWheel.title), "Modulation");
  EXPECT_EQ(modWheel.flags, 0);
  EXPECT_EQ(modWheel.unitId, ch1.id);
  EXPECT_EQ(ToAscii(InfoOf(t.plug, iplug::kVST3MIDICCParamStartID + 3).title), "Contr. 3");
  EXPECT_EQ(ToAscii(InfoOf(t.plug, iplug::kVST3MIDICCParamStartID + 66).title), "Sostenuto ");
  EXPECT_EQ(ToAscii(InfoOf(t.plug, iplug::kVST3MIDICCParamStartID + 79).title), "SoundCont 10");
  EXPECT_EQ(ToAscii(InfoOf(t.plug, iplug::kVST3MIDICCParamStartID + 120).title), "Contr. 120");
  EXPECT_EQ(ToAscii(InfoOf(t.plug, 0x10082).title), "Channel Aftertouch");
  const ParameterInfo bend = InfoOf(t.plug, 0x10083);
  EXPECT_EQ(ToAscii(bend.title), "Pitch Bend");
  EXPECT_DOUBLE_EQ(bend.defaultNormalizedValue, 0.5);

  // An instrument has no bypass switch.
  TestPlugOptions instrument;
  instrument.type = 1;
  TestInstance i(instrument);
  EXPECT_EQ(i->getParameterCount(), kNumTestParams);
  EXPECT_EQ(i->getParameterObject(iplug::kVST3BypassParamID), nullptr);
}

TEST(IPlugVST3Controller, MidiControllerAssignment)
{
  TestInstance t;
  ParamID id = 0;
  EXPECT_EQ(t->getMidiControllerAssignment(0, 0, 7, id), kResultOk);
  EXPECT_EQ(id, 0x10009u);
  EXPECT_EQ(t->getMidiControllerAssignment(0, 0, kPitchBend, id), kResultOk);
  EXPECT_EQ(id, 0x10083u);
  EXPECT_EQ(t->getMidiControllerAssignment(0, 1, 7, id), kResultFalse);
  EXPECT_EQ(t->getMidiControllerAssignment(1, 0, 7, id), kResultFalse);
  EXPECT_EQ(t->getMidiControllerAssignment(0, -1, 7, id), kResultFalse);
  EXPECT_EQ(t->getMidiControllerAssignment(0, 0, 130, id), kResultFalse);
}

TEST(IPlugVST3Controller, SetParamNormalizedKeepsBothSidesInStep)
{
  TestInstance t;
  t->uiChanges.clear();
  t->changes.clear();

  EXPECT_EQ(t->setParamNormalized(kTestSteps, 0.3), kResultOk);
  EXPECT_DOUBLE_EQ(t->GetParam(kTestSteps)->Value(), 3.0);
  EXPECT_DOUBLE_EQ(t->getParamNormalized(kTestSteps), 0.3);
  ASSERT_FALSE(t->uiChanges.empty());
  EXPECT_EQ(t->uiChanges.front().idx, kTestSteps);
  EXPECT_EQ(t->uiChanges.front().source, iplug::kHost);
  EXPECT_TRUE(t->changes.empty()); // the audio side hears of it through process

  // Unknown IDs and values no host should send change nothing.
  EXPECT_EQ(t->setParamNormalized(4242, 0.3), kResultFalse);
  EXPECT_EQ(t->setParamNormalized(kTestSteps, std::nan("")), kResultFalse);
  EXPECT_DOUBLE_EQ(t->GetParam(kTestSteps)->Value(), 3.0);
  EXPECT_EQ(t->getParamNormalized(4242), 0.0);

  // The bypass switch changes on the host side only.
  t->uiChanges.clear();
  EXPECT_EQ(t->setParamNormalized(iplug::kVST3BypassParamID, 1.0), kResultOk);
  EXPECT_DOUBLE_EQ(t->getParamNormalized(iplug::kVST3BypassParamID), 1.0);
  EXPECT_TRUE(t->uiChanges.empty());
  EXPECT_FALSE(t->GetBypassed());
}

TEST(IPlugVST3Controller, EditsFromTheEditorReachTheHost)
{
  TestInstance t;
  t->BeginInformHostOfParamChangeFromUI(kTestGain);
  t->SendParameterValueFromUI(kTestGain, 0.75);
  t->EndInformHostOfParamChangeFromUI(kTestGain);

  ASSERT_EQ(t.handler.edits.size(), 3u);
  EXPECT_EQ(t.handler.edits[0].kind, 'b');
  EXPECT_EQ(t.handler.edits[1].kind, 'p');
  EXPECT_DOUBLE_EQ(t.handler.edits[1].value, 0.75);
  EXPECT_EQ(t.handler.edits[2].kind, 'e');
  EXPECT_DOUBLE_EQ(t->getParamNormalized(kTestGain), 0.75);
  EXPECT_DOUBLE_EQ(t->GetParam(kTestGain)->Value(), 6.0);

  // Dirtying every parameter happens as one group edit with the host values brought in line first.
  t->GetParam(kTestSteps)->Set(8);
  t.handler.edits.clear();
  t->DirtyParametersFromUI();
  EXPECT_EQ(t.handler.groupEdits, 1);
  EXPECT_EQ(t.handler.edits.size(), static_cast<size_t>(kNumTestParams));
  EXPECT_DOUBLE_EQ(t->getParamNormalized(kTestSteps), 0.8);

  t->InformHostOfParameterDetailsChange();
  ASSERT_FALSE(t.handler.restarts.empty());
  EXPECT_EQ(t.handler.restarts.back(), kParamTitlesChanged);
}
