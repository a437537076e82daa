#include "IPlugVST3_ControllerBase.h"

#include "IPlugEditorDelegate.h"

#include "pluginterfaces/vst/ivstmidicontrollers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace iplug
{

const char* GetVST3MIDIControllerName(int controller)
{
  static const char* const kNamed[128] = {
      "BankSel.MSB", "Modulation",  "BreathCtrl",   nullptr,       "Foot Ctrl",   "Porta.Time",  "DataEntMSB",
      "MainVolume",  "Balance",     nullptr,        "Pan",         "Expression",  "FXControl1",  "FXControl2",
      nullptr,       nullptr,       "Gen.Purp.1",   "Gen.Purp.2",  "Gen.Purp.3",  "Gen.Purp.4",  nullptr,
      nullptr,       nullptr,       nullptr,        nullptr,       nullptr,       nullptr,       nullptr,
      nullptr,       nullptr,       nullptr,        nullptr,       "BankSel.LSB", "Modul. LSB",  "BrthCt LSB",
      nullptr,       "FootCt LSB",  "Port.T LSB",   "DataEntLSB",  "MainVolLSB",  "BalanceLSB",  nullptr,
      "Pan LSB",     "Expr. LSB",   nullptr,        nullptr,       nullptr,       nullptr,       "Gen.P.1LSB",
      "Gen.P.2LSB",  "Gen.P.3LSB",  "Gen.P.4LSB",   nullptr,       nullptr,       nullptr,       nullptr,
      nullptr,       nullptr,       nullptr,        nullptr,       nullptr,       nullptr,       nullptr,
      nullptr,       "Damper Ped",  "Porta. Ped",   "Sostenuto ",  "Soft Pedal",  "Legato Sw",   "Hold 2",
      "SoundCont 1", "SoundCont 2", "SoundCont 3",  "SoundCont 4", "SoundCont 5", "SoundCont 6", "SoundCont 7",
      "SoundCont 8", "SoundCont 9", "SoundCont 10", "Gen.Purp.5",  "Gen.Purp.6",  "Gen.Purp.7",  "Gen.Purp.8",
      "Portamento",  nullptr,       nullptr,        nullptr,       nullptr,       nullptr,       nullptr,
      "FX 1 Depth",  "FX 2 Depth",  "FX 3 Depth",   "FX 4 Depth",  "FX 5 Depth",  "Data Incr",   "Data Decr",
      "Non-RegLSB",  "Non-RegMSB",  "Reg LSB",      "Reg MSB",     nullptr,       nullptr,       nullptr,
      nullptr,       nullptr,       nullptr,        nullptr,       nullptr,       nullptr,       nullptr,
      nullptr,       nullptr,       nullptr,        nullptr,       nullptr,       nullptr,       nullptr,
      nullptr,       nullptr,       "Reset Ctrl",   "Local Ctrl",  "AllNoteOff",  "OmniModOff",  "OmniModeOn",
      "MonoModeOn",  "PolyModeOn"};
  static_assert(sizeof(kNamed) / sizeof(kNamed[0]) == 128);

  // The unnamed ones are numbered; built once so callers get stable pointers.
  static const std::vector<std::string> kNumbered = []
  {
    std::vector<std::string> names(128);
    for (int i = 0; i < 128; i++)
      names[i] = "Contr. " + std::to_string(i);
    return names;
  }();

  if (controller < 0 || controller > 127)
    return "";
  return kNamed[controller] ? kNamed[controller] : kNumbered[controller].c_str();
}

IPlugVST3ControllerBase::IPlugVST3ControllerBase(ParameterContainer& parameters) : mParameters(&parameters) {}

void IPlugVST3ControllerBase::Initialize(IEditorDelegate& plug, EditControllerEx1& controller, bool isInstrument,
                                         bool doesMidiIn, const std::vector<std::string>& programNames)
{
  if (!isInstrument)
  {
    mBypassParameter = new IPlugVST3BypassParameter();
    mParameters->addParameter(mBypassParameter);
  }

  String128 name;
  const bool hasPrograms = !programNames.empty();
  if (hasPrograms)
  {
    mProgramParameter = new IPlugVST3ProgramParameter();
    auto* list = new ProgramList(STR16("Factory Presets"), kVST3PresetParamID, kRootUnitId);
    for (const std::string& program : programNames)
    {
      CopyAsciiToUTF16(name, 128, program.c_str());
      mProgramParameter->appendString(name);
      list->addProgram(name);
    }
    controller.addProgramList(list);
  }

  CopyAsciiToUTF16(name, 128, "Root");
  controller.addUnit(new Unit(name, kRootUnitId, kNoParentUnitId, hasPrograms ? kVST3PresetParamID : kNoProgramListId));

  // One unit per distinct non-empty group, in order of first appearance.
  std::vector<std::string> groups;
  for (int i = 0; i < plug.NParams(); i++)
  {
    IParam* param = plug.GetParam(i);
    UnitID unitID = kRootUnitId;
    const char* group = param->GetGroup();
    if (group && group[0])
    {
      size_t g = 0;
      while (g < groups.size() && groups[g] != group)
        g++;
      if (g == groups.size())
      {
        groups.emplace_back(group);
        CopyAsciiToUTF16(name, 128, group);
        controller.addUnit(new Unit(name, static_cast<UnitID>(g + 1), kRootUnitId));
      }
      unitID = static_cast<UnitID>(g + 1);
    }
    mParameters->addParameter(new IPlugVST3Parameter(param, static_cast<ParamID>(i), unitID));
  }
  // After the plug-in's own, so their indices in the container stay as they were without presets.
  if (mProgramParameter)
    mParameters->addParameter(mProgramParameter);

  if (doesMidiIn)
  {
    const UnitID midiUnitID = controller.getUnitCount() + 1;
    CopyAsciiToUTF16(name, 128, "MIDI CCs");
    controller.addUnit(new Unit(name, midiUnitID, kRootUnitId));

    const UnitID channelUnitID = controller.getUnitCount() + 1;
    char channelName[32];
    snprintf(channelName, sizeof(channelName), "CH%i", 1);
    CopyAsciiToUTF16(name, 128, channelName);
    controller.addUnit(new Unit(name, channelUnitID, midiUnitID));

    for (int cc = 0; cc < 128; cc++)
    {
      CopyAsciiToUTF16(name, 128, GetVST3MIDIControllerName(cc));
      mParameters->addParameter(name, STR16(""), 0, 0.0, 0, static_cast<int32>(kVST3MIDICCParamStartID + cc),
                                channelUnitID);
    }
    mParameters->addParameter(STR16("Channel Aftertouch"), STR16(""), 0, 0.0, 0,
                              static_cast<int32>(kVST3MIDICCParamStartID + kAfterTouch), channelUnitID);
    mParameters->addParameter(STR16("Pitch Bend"), STR16(""), 0, 0.5, 0,
                              static_cast<int32>(kVST3MIDICCParamStartID + kPitchBend), channelUnitID);
  }
}

bool IPlugVST3ControllerBase::SetParamNormalized(IEditorDelegate& plug, ParamID tag, ParamValue value)
{
  Parameter* parameter = mParameters->getParameter(tag);
  if (!parameter)
    return false;
  if (!std::isfinite(value)) // a NaN would survive every clamp below
    return false;

  parameter->setNormalized(value);

  if (tag < kVST3BypassParamID && static_cast<int>(tag) < plug.NParams())
  {
    const int idx = static_cast<int>(tag);
    plug.GetParam(idx)->SetNormalized(value);
    plug.OnParamChangeUI(idx, kHost);
    plug.SendParameterValueFromDelegate(idx, value, true);
  }
  return true;
}

int IPlugVST3ControllerBase::ProgramFromNormalized(ParamValue value) const
{
  if (!mProgramParameter || !std::isfinite(value))
    return -1;
  return static_cast<int>(mProgramParameter->toPlain(std::clamp(value, 0.0, 1.0)));
}

void IPlugVST3ControllerBase::UpdateParams(IEditorDelegate& plug, ParamValue bypassState)
{
  for (int i = 0; i < plug.NParams(); i++)
  {
    if (Parameter* parameter = mParameters->getParameter(static_cast<ParamID>(i)))
      parameter->setNormalized(std::clamp(plug.GetParam(i)->GetNormalized(), 0.0, 1.0));
  }
  if (mBypassParameter)
    mBypassParameter->setNormalized(bypassState);
}

} // namespace iplug
