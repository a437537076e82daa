#pragma once
// The host-facing parameter objects: one per framework parameter, and the host's bypass switch.

#include "IPlugParameter.h"

#include "public.sdk/source/vst/vstparameters.h"

namespace iplug
{

/** Parameter ID of the host bypass switch. */
constexpr Steinberg::Vst::ParamID kVST3BypassParamID = 0x10000;
/** Program-list ID under which preset names are offered. */
constexpr Steinberg::Vst::ParamID kVST3PresetParamID = 0x10001;
/** First MIDI-controller parameter; 130 per channel (128 controllers, aftertouch, pitch bend). */
constexpr Steinberg::Vst::ParamID kVST3MIDICCParamStartID = 0x10002;
constexpr int kVST3NumMIDICCParamsPerChannel = 130;

/** Copies ASCII into a UTF-16 buffer of dstSize units, always terminated. */
void CopyAsciiToUTF16(Steinberg::Vst::TChar* dst, int dstSize, const char* src);
/** Converts a UTF-16 text (up to srcSize units or its terminator) into UTF-8, at most maxBytes bytes. */
void UTF16ToUTF8(WDL_String& dst, const Steinberg::Vst::TChar* src, int srcSize, int maxBytes = 4096);

/** Mirrors one framework parameter; every conversion goes through the IParam so host and editor agree. */
class IPlugVST3Parameter : public Steinberg::Vst::Parameter
{
public:
  IPlugVST3Parameter(IParam* param, Steinberg::Vst::ParamID tag, Steinberg::Vst::UnitID unitID);

  void toString(Steinberg::Vst::ParamValue valueNormalized, Steinberg::Vst::String128 string) const override;
  bool fromString(const Steinberg::Vst::TChar* string, Steinberg::Vst::ParamValue& valueNormalized) const override;
  Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue valueNormalized) const override;
  Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plainValue) const override;

  IParam* GetIParam() const { return mIPlugParam; }

  OBJ_METHODS(IPlugVST3Parameter, Parameter)

private:
  IParam* mIPlugParam;
};

/** The host's bypass switch: a two-entry list, "off" at 0 and "on" at 1. */
class IPlugVST3BypassParameter : public Steinberg::Vst::StringListParameter
{
public:
  IPlugVST3BypassParameter();

  // Values outside 0..1 (or a plain value outside the list) are taken as the nearest end of the list.
  void toString(Steinberg::Vst::ParamValue valueNormalized, Steinberg::Vst::String128 string) const override;
  Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue valueNormalized) const override;
  Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plainValue) const override;

  OBJ_METHODS(IPlugVST3BypassParameter, StringListParameter)
};

/** The program-change parameter: one entry per preset, in the root unit, bound to the program list of the same ID.
 * Not automatable: a recall rewrites every parameter, which belongs on the main thread. */
class IPlugVST3ProgramParameter : public Steinberg::Vst::StringListParameter
{
public:
  IPlugVST3ProgramParameter();

  // As the bypass: values outside the list are taken as its nearest end.
  void toString(Steinberg::Vst::ParamValue valueNormalized, Steinberg::Vst::String128 string) const override;
  Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue valueNormalized) const override;
  Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plainValue) const override;

  OBJ_METHODS(IPlugVST3ProgramParameter, StringListParameter)
};

} // namespace iplug
