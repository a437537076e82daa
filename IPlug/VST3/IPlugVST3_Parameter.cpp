#include "IPlugVST3_Parameter.h"

#include "pluginterfaces/base/ustring.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace iplug
{

void CopyAsciiToUTF16(TChar* dst, int dstSize, const char* src)
{
  if (!dst || dstSize <= 0)
    return;
  int i = 0;
  if (src)
  {
    for (; i < dstSize - 1 && src[i]; i++)
      dst[i] = static_cast<TChar>(static_cast<unsigned char>(src[i]));
  }
  dst[i] = 0;
}

void UTF16ToUTF8(WDL_String& dst, const TChar* src, int srcSize, int maxBytes)
{
  dst.Set("");
  if (!src)
    return;
  std::string out;
  for (int i = 0; i < srcSize && src[i]; i++)
  {
    uint32_t c = static_cast<uint16_t>(src[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < srcSize)
    {
      const uint32_t lo = static_cast<uint16_t>(src[i + 1]);
      if (lo >= 0xDC00 && lo <= 0xDFFF)
      {
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        i++;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF)
      c = 0xFFFD; // a lone surrogate is not text
    char buf[4];
    int n;
    if (c < 0x80)
    {
      buf[0] = static_cast<char>(c);
      n = 1;
    }
    else if (c < 0x800)
    {
      buf[0] = static_cast<char>(0xC0 | (c >> 6));
      buf[1] = static_cast<char>(0x80 | (c & 0x3F));
      n = 2;
    }
    else if (c < 0x10000)
    {
      buf[0] = static_cast<char>(0xE0 | (c >> 12));
      buf[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      buf[2] = static_cast<char>(0x80 | (c & 0x3F));
      n = 3;
    }
    else
    {
      buf[0] = static_cast<char>(0xF0 | (c >> 18));
      buf[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      buf[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      buf[3] = static_cast<char>(0x80 | (c & 0x3F));
      n = 4;
    }
    if (static_cast<int>(out.size()) + n > maxBytes)
      break; // never split a character
    out.append(buf, static_cast<size_t>(n));
  }
  dst.Set(out.c_str());
}

IPlugVST3Parameter::IPlugVST3Parameter(IParam* param, ParamID tag, UnitID unitID) : mIPlugParam(param)
{
  // Hosts list parameters by title and refuse untitled ones: a nameless parameter is called by its ID.
  if (param->GetName()[0])
    CopyAsciiToUTF16(info.title, 128, param->GetName());
  else
  {
    char title[32];
    snprintf(title, sizeof(title), "Param %u", static_cast<unsigned>(tag));
    CopyAsciiToUTF16(info.title, 128, title);
  }
  CopyAsciiToUTF16(info.shortTitle, 128, "");
  CopyAsciiToUTF16(info.units, 128, param->GetLabel());

  precision = param->GetDisplayPrecision();

  // Only value types with discrete steps report them; a parameter never initialised is a plain 0..1 value.
  const IParam::EParamKind type = param->Type();
  if (type == IParam::kTypeBool || type == IParam::kTypeInt || type == IParam::kTypeEnum)
    info.stepCount = static_cast<int32>(param->GetMax() - param->GetMin());
  else
    info.stepCount = 0;

  info.defaultNormalizedValue = valueNormalized = param->GetDefault(true);
  info.flags = 0;
  if (type == IParam::kTypeNone)
  {
    // Never initialised by the plug-in: a channel between its engine and its editor (a meter, say), not a control.
    // The host neither shows nor automates it.
    info.flags |= ParameterInfo::kIsReadOnly | ParameterInfo::kIsHidden;
  }
  else if (param->GetCanAutomate())
    info.flags |= ParameterInfo::kCanAutomate;
  if (param->Type() == IParam::kTypeEnum)
    info.flags |= ParameterInfo::kIsList;
  info.id = tag;
  info.unitId = unitID;
}

void IPlugVST3Parameter::toString(ParamValue valueNormalized, String128 string) const
{
  WDL_String display;
  mIPlugParam->GetDisplay(valueNormalized, true, display, true);
  CopyAsciiToUTF16(string, 128, display.Get());
}

bool IPlugVST3Parameter::fromString(const TChar* string, ParamValue& valueNormalized) const
{
  WDL_String text;
  UTF16ToUTF8(text, string, 128, 127);
  const double v = mIPlugParam->StringToValue(text.Get());
  valueNormalized = mIPlugParam->ToNormalized(v);
  if (!std::isfinite(valueNormalized)) // unparsable text must not leak a NaN to the host
    valueNormalized = 0.0;
  return true;
}

ParamValue IPlugVST3Parameter::toPlain(ParamValue valueNormalized) const
{
  return mIPlugParam->FromNormalized(valueNormalized);
}

ParamValue IPlugVST3Parameter::toNormalized(ParamValue plainValue) const
{
  return mIPlugParam->ToNormalized(plainValue);
}

IPlugVST3BypassParameter::IPlugVST3BypassParameter()
    : StringListParameter(STR16("Bypass"), kVST3BypassParamID, nullptr,
                          ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass | ParameterInfo::kIsList, kRootUnitId,
                          nullptr)
{
  appendString(STR16("off"));
  appendString(STR16("on"));
}

namespace
{
double Clamped(double value, double lo, double hi) { return std::isnan(value) ? lo : std::clamp(value, lo, hi); }
} // namespace

void IPlugVST3BypassParameter::toString(ParamValue valueNormalized, String128 string) const
{
  StringListParameter::toString(Clamped(valueNormalized, 0.0, 1.0), string);
}

ParamValue IPlugVST3BypassParameter::toPlain(ParamValue valueNormalized) const
{
  return StringListParameter::toPlain(Clamped(valueNormalized, 0.0, 1.0));
}

ParamValue IPlugVST3BypassParameter::toNormalized(ParamValue plainValue) const
{
  return StringListParameter::toNormalized(Clamped(plainValue, 0.0, static_cast<double>(info.stepCount)));
}

IPlugVST3ProgramParameter::IPlugVST3ProgramParameter()
    : StringListParameter(STR16("Program"), kVST3PresetParamID, nullptr,
                          ParameterInfo::kIsProgramChange | ParameterInfo::kIsList, kRootUnitId, nullptr)
{
}

void IPlugVST3ProgramParameter::toString(ParamValue valueNormalized, String128 string) const
{
  StringListParameter::toString(Clamped(valueNormalized, 0.0, 1.0), string);
}

ParamValue IPlugVST3ProgramParameter::toPlain(ParamValue valueNormalized) const
{
  return StringListParameter::toPlain(Clamped(valueNormalized, 0.0, 1.0));
}

ParamValue IPlugVST3ProgramParameter::toNormalized(ParamValue plainValue) const
{
  return StringListParameter::toNormalized(Clamped(plainValue, 0.0, static_cast<double>(info.stepCount)));
}

} // namespace iplug
