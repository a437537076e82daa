// The host's view of the parameters: the SDK container filled from the framework's table, units, the MIDI
// controller parameters, and the controller calls that keep both sides in step.

#include "TestPlugVST3.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vst3test;

namespace
{
ParameterInfo InfoOf(TestPlugVST3* plug, ParamID id)
{
  ParameterInfo info{};
  for (int32 i = 0; i < plug->getParameterCount(); i++)
    if (plug->getParameterInfo(i, info) == kResultOk && info.id == id)
      return info;
  ADD_FAILURE() << "no parameter " << id;
  return info;
}

std::string Text(TestPlugVST3* plug, ParamID id, ParamValue normalized)
{
  String128 text{};
  plug->getParamStringByValue(id, normalized, text);
  return Str(text);
}

ParamValue FromText(TestPlugVST3* plug, ParamID id, const char16_t* text)
{
  ParamValue n = -1;
  EXPECT_EQ(plug->getParamValueByString(id, const_cast<TChar*>(text), n), kResultOk);
  return n;
}
} // namespace

TEST(IPlugVST3Controller, ParameterInfoMirrorsTheFrameworkTable)
{
  TestInstance t;
  ASSERT_EQ(t->getParameterCount(), kNumTestParams + 1);

  // The host bypass switch comes first, then the plug-in's parameters by index.
  ParameterInfo info{};
  ASSERT_EQ(t->getParameterInfo(0, info), kResultOk);
  EXPECT_EQ(info.id, iplug::kVST3BypassParamID);
  EXPECT_EQ(Str(info.title), "Bypass");
  EXPECT_EQ(info.flags, 0x10009);
  EXPECT_EQ(info.stepCount, 1);
  EXPECT_EQ(Text(t.plug, iplug::kVST3BypassParamID, 1.0), "on");

  const ParameterInfo gain = InfoOf(t.plug, kTestGain);
  EXPECT_EQ(Str(gain.title), "Gain");
  EXPECT_EQ(Str(gain.units), "dB");
  EXPECT_EQ(gain.stepCount, 0);
  EXPECT_DOUBLE_EQ(gain.defaultNormalizedValue, 0.5);
  EXPECT_EQ(gain.flags, ParameterInfo::kCanAutomate);
  EXPECT_EQ(InfoOf(t.plug, kTestSteps).stepCount, 10);
  EXPECT_EQ(InfoOf(t.plug, kTestMode).flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList);
  EXPECT_EQ(InfoOf(t.plug, kTestHidden).flags, 0);

  // Units: the root, then one per group in order of first appearance.
  ASSERT_EQ(t->getUnitCount(), 3);
  UnitInfo unit{};
  t->getUnitInfo(1, unit);
  EXPECT_EQ(Str(unit.name), "Modes");
  EXPECT_EQ(unit.parentUnitId, kRootUnitId);
  EXPECT_EQ(InfoOf(t.plug, kTestHidden).unitId, 1);
  EXPECT_EQ(InfoOf(t.plug, kTestFreq).unitId, 2);
  EXPECT_EQ(InfoOf(t.plug, kTestGain).unitId, kRootUnitId);

  // A host asking beyond the list is refused rather than thrown at.
  EXPECT_EQ(t->getParameterInfo(kNumTestParams + 1, info), kResultFalse);
  EXPECT_EQ(t->getParameterInfo(-1, info), kResultFalse);
}

TEST(IPlugVST3Controller, ConversionsGoThroughTheParameter)
{
  TestInstance t;
  EXPECT_DOUBLE_EQ(t->normalizedParamToPlain(kTestSteps, 0.5), 5.0);
  EXPECT_DOUBLE_EQ(t->normalizedParamToPlain(kTestSteps, 0.55), 6.0);
  EXPECT_DOUBLE_EQ(t->plainParamToNormalized(kTestSteps, 99.0), 1.0);
  EXPECT_NEAR(t->normalizedParamToPlain(kTestFreq, 0.5), 20. + 0.25 * 19980., 1.0);
  EXPECT_EQ(Text(t.plug, kTestMode, 1.0), "C");

  // Text beyond the range lands on an end; text that is no number still gives a value in range.
  EXPECT_DOUBLE_EQ(FromText(t.plug, kTestGain, u"500"), 1.0);
  EXPECT_DOUBLE_EQ(FromText(t.plug, kTestMode, u"B"), 0.5);
  const ParamValue junk = FromText(t.plug, kTestGain, u"rubbish");
  EXPECT_TRUE(junk >= 0.0 && junk <= 1.0);

  EXPECT_TRUE(t->getParameterObject(kTestGain)->isTypeOf("IPlugVST3Parameter", false));
  EXPECT_TRUE(t->getParameterObject(iplug::kVST3BypassParamID)->isTypeOf("StringListParameter", true));
  EXPECT_TRUE(t->isTypeOf("IPlugVST3", false));
  EXPECT_TRUE(t->isTypeOf("SingleComponentEffect", true));
}

TEST(IPlugVST3Controller, MidiControllerParametersAndAssignment)
{
  TestPlugOptions o;
  o.midiIn = true;
  TestInstance t(o);
  ASSERT_EQ(t->getParameterCount(), kNumTestParams + 1 + 130);
  ASSERT_EQ(t->getUnitCount(), 5);
  UnitInfo midi{}, ch1{};
  t->getUnitInfo(3, midi);
  t->getUnitInfo(4, ch1);
  EXPECT_EQ(Str(midi.name), "MIDI CCs");
  EXPECT_EQ(midi.id, 4);
  EXPECT_EQ(Str(ch1.name), "CH1");
  EXPECT_EQ(ch1.id, 5);
  EXPECT_EQ(ch1.parentUnitId, midi.id);

  const ParameterInfo modulation = InfoOf(t.plug, iplug::kVST3MIDICCParamStartID + 1);
  EXPECT_EQ(Str(modulation.title), "Modulation");
  EXPECT_EQ(modulation.unitId, ch1.id);
  EXPECT_EQ(modulation.flags, 0);
  EXPECT_EQ(Str(InfoOf(t.plug, iplug::kVST3MIDICCParamStartID + 3).title), "Contr. 3");
  EXPECT_DOUBLE_EQ(InfoOf(t.plug, 0x10083).defaultNormalizedValue, 0.5); // pitch bend at rest

  ParamID id = 0;
  EXPECT_EQ(t->getMidiControllerAssignment(0, 0, 7, id), kResultOk);
  EXPECT_EQ(id, 0x10009u);
  EXPECT_EQ(t->getMidiControllerAssignment(0, 1, 7, id), kResultFalse);
  EXPECT_EQ(t->getMidiControllerAssignment(0, -1, 7, id), kResultFalse);
  EXPECT_EQ(t->getMidiControllerAssignment(0, 0, 130, id), kResultFalse);

  // An instrument has no bypass switch.
  TestPlugOptions instrument;
  instrument.type = 1;
  TestInstance i(instrument);
  EXPECT_EQ(i->getParameterObject(iplug::kVST3BypassParamID), nullptr);
}

TEST(IPlugVST3Controller, HostAndEditorEditsKeepBothSidesInStep)
{
  TestInstance t;
  t->uiChanges.clear();
  t->changes.clear();
  EXPECT_EQ(t->setParamNormalized(kTestSteps, 0.3), kResultOk);
  EXPECT_DOUBLE_EQ(t->GetParam(kTestSteps)->Value(), 3.0);
  EXPECT_DOUBLE_EQ(t->getParamNormalized(kTestSteps), 0.3);
  ASSERT_EQ(t->uiChanges.size(), 2u); // the change hook, then the editor's
  EXPECT_EQ(t->uiChanges[0].source, iplug::kHost);
  EXPECT_TRUE(t->changes.empty()); // the audio side hears of it through process

  EXPECT_EQ(t->setParamNormalized(4242, 0.3), kResultFalse);
  EXPECT_EQ(t->setParamNormalized(kTestSteps, std::nan("")), kResultFalse);
  EXPECT_DOUBLE_EQ(t->GetParam(kTestSteps)->Value(), 3.0);

  // The bypass switch changes on the host side only.
  t->uiChanges.clear();
  EXPECT_EQ(t->setParamNormalized(iplug::kVST3BypassParamID, 1.0), kResultOk);
  EXPECT_DOUBLE_EQ(t->getParamNormalized(iplug::kVST3BypassParamID), 1.0);
  EXPECT_TRUE(t->uiChanges.empty());

  // An edit from the editor: begin, perform, end at the host, both values updated.
  t.handler->Clear();
  t->BeginInformHostOfParamChangeFromUI(kTestGain);
  t->SendParameterValueFromUI(kTestGain, 0.75);
  t->EndInformHostOfParamChangeFromUI(kTestGain);
  const auto edits = t.handler->Edits();
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_EQ(edits[1].kind, ComponentHandler::EEdit::kPerform);
  EXPECT_DOUBLE_EQ(edits[1].value, 0.75);
  EXPECT_DOUBLE_EQ(t->getParamNormalized(kTestGain), 0.75);
  EXPECT_DOUBLE_EQ(t->GetParam(kTestGain)->Value(), 6.0);

  // Dirtying every parameter is one group edit, the host values brought in line first.
  t->GetParam(kTestSteps)->Set(8);
  t.handler->Clear();
  t->DirtyParametersFromUI();
  EXPECT_EQ(t.handler->GroupEdits(), 1);
  EXPECT_EQ(t.handler->Edits().size(), static_cast<size_t>(kNumTestParams));
  EXPECT_DOUBLE_EQ(t->getParamNormalized(kTestSteps), 0.8);

  t->InformHostOfParameterDetailsChange();
  EXPECT_EQ(t.handler->RestartCount(kParamTitlesChanged), 1);
}
