#pragma once
// The controller side of the VST3 binding: fills the SDK parameter container from the framework's
// parameter table, groups parameters into units and keeps both sides in step on host edits and state loads.

#include "IPlugVST3_Parameter.h"
#include "wdlstring.h"

#include <string>
#include <vector>

#include "public.sdk/source/vst/vsteditcontroller.h"

namespace iplug
{

class IEditorDelegate;

/** Name of a MIDI controller as shown for its parameter (0..127). */
const char* GetVST3MIDIControllerName(int controller);

class IPlugVST3ControllerBase
{
public:
  explicit IPlugVST3ControllerBase(Steinberg::Vst::ParameterContainer& parameters);
  virtual ~IPlugVST3ControllerBase() = default;

  IPlugVST3ControllerBase(const IPlugVST3ControllerBase&) = delete;
  IPlugVST3ControllerBase& operator=(const IPlugVST3ControllerBase&) = delete;

  /** Creates the host parameters and units; called once from initialize. With program names, the root unit gets
   * a program list of them and a program-change parameter bound to it (both with the ID kVST3PresetParamID). */
  void Initialize(IEditorDelegate& plug, Steinberg::Vst::EditControllerEx1& controller, bool isInstrument,
                  bool doesMidiIn, const std::vector<std::string>& programNames = {});

  /** The host set a value on the controller side (main thread). False for unknown IDs. */
  bool SetParamNormalized(IEditorDelegate& plug, Steinberg::Vst::ParamID tag, Steinberg::Vst::ParamValue value);

  /** Copies every framework value into its host parameter after a state load. */
  void UpdateParams(IEditorDelegate& plug, Steinberg::Vst::ParamValue bypassState);

  /** The container drops its parameters on terminate: forget the ones held here. */
  void ClearParameterPointers()
  {
    mBypassParameter = nullptr;
    mProgramParameter = nullptr;
  }

  Steinberg::Vst::Parameter* GetBypassParameter() const { return mBypassParameter; }
  Steinberg::Vst::Parameter* GetProgramParameter() const { return mProgramParameter; }
  /** The program a normalized value of the program-change parameter names, or -1 without one. */
  int ProgramFromNormalized(Steinberg::Vst::ParamValue value) const;

protected:
  Steinberg::Vst::ParameterContainer* mParameters;
  IPlugVST3BypassParameter* mBypassParameter = nullptr;
  IPlugVST3ProgramParameter* mProgramParameter = nullptr;

  // Track information from the host's channel context.
  WDL_String mChannelName;
  WDL_String mChannelNamespace;
  WDL_String mChannelUID;
  int mChannelIndex = 0;
  int mChannelColor = 0;
  int mChannelNamespaceIndex = 0;
};

} // namespace iplug
