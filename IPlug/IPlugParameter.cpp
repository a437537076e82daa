#include "IPlugParameter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace iplug
{

namespace
{
// Largest double below 0.5: adding 0.5 itself would round 0.49999999999999994 up to 1.
constexpr double kHalfDown = 0.49999999999999994;

// Copies text into a fixed field, cutting it to fit; the source may overlap the field.
template <size_t N> void CopyField(char (&field)[N], const char* text)
{
  if (!text)
    text = "";
  const size_t len = strnlen(text, N - 1);
  std::memmove(field, text, len);
  field[len] = '\0';
}

int PrecisionFromStep(double step)
{
  if (step == std::trunc(step))
    return 0;
  double x = step;
  for (int i = 1; i <= 5; ++i)
  {
    x *= 10.0;
    if (x == std::trunc(x))
      return i;
  }
  return 6;
}

double Clamp01(double x)
{
  if (!(x > 0.0)) // also catches NaN from a degenerate range
    return 0.0;
  return x > 1.0 ? 1.0 : x;
}
} // namespace

// --- shapes --------------------------------------------------------------------------------------

double IParam::ShapeLinear::NormalizedToValue(double normalized, const IParam& param) const
{
  return param.GetMin() + normalized * (param.GetMax() - param.GetMin());
}

double IParam::ShapeLinear::ValueToNormalized(double value, const IParam& param) const
{
  return (value - param.GetMin()) / (param.GetMax() - param.GetMin());
}

int IParam::ShapePowCurve::GetDisplayType() const
{
  if (mShape > 2.5)
    return kDisplayCubed;
  if (mShape > 1.5)
    return kDisplaySquared;
  if (mShape < 0.4)
    return kDisplayCubeRoot;
  if (mShape < 2.0 / 3.0)
    return kDisplaySquareRoot;
  return kDisplayLinear;
}

double IParam::ShapePowCurve::NormalizedToValue(double normalized, const IParam& param) const
{
  return param.GetMin() + std::pow(normalized, mShape) * (param.GetMax() - param.GetMin());
}

double IParam::ShapePowCurve::ValueToNormalized(double value, const IParam& param) const
{
  return std::pow((value - param.GetMin()) / (param.GetMax() - param.GetMin()), 1.0 / mShape);
}

void IParam::ShapeExp::Init(const IParam& param)
{
  const double m = param.GetMin() > 0.0 ? param.GetMin() : 1e-8;
  mMul = std::log(param.GetMax() / m);
  mAdd = std::log(m);
}

double IParam::ShapeExp::NormalizedToValue(double normalized, const IParam&) const
{
  return std::exp(normalized * mMul + mAdd);
}

double IParam::ShapeExp::ValueToNormalized(double value, const IParam&) const
{
  return (std::log(value) - mAdd) / mMul;
}

// --- construction and initialization -------------------------------------------------------------

IParam::IParam() : mShape(std::make_unique<ShapeLinear>()) {}

IParam::~IParam() = default;

void IParam::InitBool(const char* name, bool defaultValue, const char* label, int flags, const char* group,
                      const char* offText, const char* onText)
{
  if (mType == kTypeNone)
    mType = kTypeBool;
  InitDouble(name, defaultValue ? 1.0 : 0.0, 0.0, 1.0, 1.0, label, flags | kParamStepped, group, ShapeLinear{},
             kUnitCustom);
  SetDisplayText(0.0, offText);
  SetDisplayText(1.0, onText);
}

void IParam::InitEnum(const char* name, int defaultValue, int nEnums, const char* label, int flags, const char* group,
                      const char* listItems, ...)
{
  if (mType == kTypeNone)
    mType = kTypeEnum;
  InitDouble(name, defaultValue, 0.0, nEnums - 1.0, 1.0, label, flags | kParamStepped, group, ShapeLinear{},
             kUnitCustom);
  if (listItems)
  {
    SetDisplayText(0.0, listItems);
    va_list args;
    va_start(args, listItems);
    for (int i = 1; i < nEnums; ++i)
      SetDisplayText(i, va_arg(args, const char*));
    va_end(args);
  }
}

void IParam::InitEnum(const char* name, int defaultValue, std::initializer_list<const char*> listItems, int flags,
                      const char* group)
{
  if (mType == kTypeNone)
    mType = kTypeEnum;
  InitDouble(name, defaultValue, 0.0, static_cast<double>(listItems.size()) - 1.0, 1.0, "", flags | kParamStepped,
             group, ShapeLinear{}, kUnitCustom);
  int i = 0;
  for (const char* item : listItems)
    SetDisplayText(i++, item);
}

void IParam::InitInt(const char* name, int defaultValue, int minVal, int maxVal, const char* label, int flags,
                     const char* group)
{
  if (mType == kTypeNone)
    mType = kTypeInt;
  InitDouble(name, defaultValue, minVal, maxVal, 1.0, label, flags | kParamStepped, group, ShapeLinear{}, kUnitCustom);
}

void IParam::InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                        const char* label, int flags, const char* group, const Shape& shape, EParamUnit unit,
                        DisplayFunc displayFunc)
{
  if (mType == kTypeNone)
    mType = kTypeDouble;

  CopyField(mName, name);
  CopyField(mLabel, label);
  CopyField(mParamGroup, group);

  mMin = minVal;
  mMax = std::max(maxVal, minVal + step);
  mStep = step;
  mDefault = defaultVal;
  mUnit = unit;
  mFlags = flags;
  mDisplayFunction = std::move(displayFunc);

  Set(defaultVal);

  mDisplayPrecision = PrecisionFromStep(step);

  // Clone before releasing the old shape: the caller may have passed our own.
  std::unique_ptr<Shape> newShape(shape.Clone());
  mShape = std::move(newShape);
  mShape->Init(*this);
}

void IParam::InitFrequency(const char* name, double defaultVal, double minVal, double maxVal, double step, int flags,
                           const char* group)
{
  if (mType == kTypeNone)
    mType = kTypeDouble;
  InitDouble(name, defaultVal, minVal, maxVal, step, "Hz", flags, group, ShapeExp{}, kUnitFrequency);
}

void IParam::InitSeconds(const char* name, double defaultVal, double minVal, double maxVal, double step, int flags,
                         const char* group)
{
  if (mType == kTypeNone)
    mType = kTypeDouble;
  InitDouble(name, defaultVal, minVal, maxVal, step, "Seconds", flags, group, ShapeLinear{}, kUnitSeconds);
}

void IParam::InitMilliseconds(const char* name, double defaultVal, double minVal, double maxVal, int flags,
                              const char* group)
{
  if (mType == kTypeNone)
    mType = kTypeDouble;
  InitDouble(name, defaultVal, minVal, maxVal, 1.0, "ms", flags, group, ShapeLinear{}, kUnitMilliseconds);
}

void IParam::InitGain(const char* name, double defaultVal, double minVal, double maxVal, double step, int flags,
                      const char* group)
{
  if (mType == kTypeNone)
    mType = kTypeDouble;
  InitDouble(name, defaultVal, minVal, maxVal, step, "dB", flags, group, ShapeLinear{}, kUnitDB);
}

void IParam::InitPercentage(const char* name, double defaultVal, double minVal, double maxVal, int flags,
                            const char* group)
{
  if (mType == kTypeNone)
    mType = kTypeDouble;
  InitDouble(name, defaultVal, minVal, maxVal, 1.0, "%", flags, group, ShapeLinear{}, kUnitPercentage);
}

void IParam::InitAngleDegrees(const char* name, double defaultVal, double minVal, double maxVal, int flags,
                              const char* group)
{
  if (mType == kTypeNone)
    mType = kTypeDouble;
  InitDouble(name, defaultVal, minVal, maxVal, 1.0, "degrees", flags, group, ShapeLinear{}, kUnitDegrees);
}

void IParam::InitPitch(const char* name, int defaultVal, int minVal, int maxVal, int flags, const char* group,
                       bool middleCisC)
{
  static const char* const kNoteNames[12] = {"C ", "C#", "D ", "D#", "E ", "F ", "F#", "G ", "G#", "A ", "A#", "B "};

  if (mType == kTypeNone)
    mType = kTypeEnum;
  InitDouble(name, defaultVal, 0.0, static_cast<double>(maxVal) - minVal, 1.0, "", flags | kParamStepped, group,
             ShapeLinear{}, kUnitCustom);

  const long long octaveOffset = middleCisC ? 1 : 2;
  for (long long i = 0; i <= static_cast<long long>(maxVal) - minVal; ++i)
  {
    const long long note = minVal + i;
    // Floor division so notes below 0 still pick a valid name and a consistent octave.
    const long long octave = (note >= 0 ? note / 12 : -((11 - note) / 12));
    const int nameIdx = static_cast<int>(note - octave * 12);
    WDL_String text;
    text.SetFormatted(kMaxParamDisplayLen, "%s%lli", kNoteNames[nameIdx], octave - octaveOffset);
    SetDisplayText(static_cast<double>(i), text.Get());
  }
}

void IParam::Init(const IParam& source, const char* searchStr, const char* replaceStr, const char* newGroup)
{
  if (mType == kTypeNone)
    mType = source.mType;

  WDL_String name(source.mName);
  WDL_String group(source.mParamGroup);
  if (searchStr && *searchStr)
  {
    if (const char* found = std::strstr(name.Get(), searchStr))
    {
      const int pos = static_cast<int>(found - name.Get());
      name.DeleteSub(pos, static_cast<int>(std::strlen(searchStr)));
      if (replaceStr && *replaceStr)
        name.Insert(replaceStr, pos);
    }
  }
  if (newGroup && *newGroup)
    group.Set(newGroup);

  // Take copies first: source may be this parameter.
  const WDL_String label(source.mLabel);
  const std::vector<DisplayText> texts(source.mDisplayTexts.Get(),
                                       source.mDisplayTexts.Get() + source.mDisplayTexts.GetSize());
  InitDouble(name.Get(), source.mDefault, source.mMin, source.mMax, source.mStep, label.Get(), source.mFlags,
             group.Get(), *source.mShape, source.mUnit, DisplayFunc(source.mDisplayFunction));
  for (const DisplayText& t : texts)
    mDisplayTexts.Add(t);
}

// --- values --------------------------------------------------------------------------------------

double IParam::Round(double x)
{
  const double r = x >= 0.0 ? std::trunc(x + kHalfDown) : std::trunc(x - kHalfDown);
  return r == 0.0 ? 0.0 : r; // small negatives give +0, so a stepped value restores to the same bits
}

int IParam::ToInt(double x)
{
  if (!(x == x))
    return 0;
  if (x >= static_cast<double>(INT_MAX))
    return INT_MAX;
  if (x <= static_cast<double>(INT_MIN))
    return INT_MIN;
  return static_cast<int>(x);
}

double IParam::DBToAmp() const { return std::pow(10.0, Value() / 20.0); }

double IParam::Constrain(double value) const
{
  // A NaN (a corrupt state, a broken host) must never reach the stored value.
  if (std::isnan(value))
    return mMin;
  if ((mFlags & kParamStepped) && mStep > 0.0)
    value = Round(value / mStep) * mStep;
  if (value < mMin)
    value = mMin;
  if (value > mMax)
    value = mMax;
  return value;
}

double IParam::ToNormalized(double value) const { return Clamp01(mShape->ValueToNormalized(Constrain(value), *this)); }

// --- display texts -------------------------------------------------------------------------------

void IParam::SetDisplayText(double value, const char* text)
{
  DisplayText entry{};
  entry.mValue = value;
  CopyField(entry.mText, text);
  mDisplayTexts.Add(entry);
}

const char* IParam::GetDisplayTextAtIdx(int idx, double* value) const
{
  if (idx < 0 || idx >= mDisplayTexts.GetSize())
    return nullptr;
  const DisplayText& entry = mDisplayTexts.Get()[idx];
  if (value)
    *value = entry.mValue;
  return entry.mText;
}

const char* IParam::GetDisplayText(double value) const
{
  for (int i = 0; i < mDisplayTexts.GetSize(); ++i)
  {
    const DisplayText& entry = mDisplayTexts.Get()[i];
    if (entry.mValue == value)
      return entry.mText;
  }
  return "";
}

bool IParam::MapDisplayText(const char* text, double* value) const
{
  if (!text)
    return false;
  for (int i = 0; i < mDisplayTexts.GetSize(); ++i)
  {
    const DisplayText& entry = mDisplayTexts.Get()[i];
    if (std::strcmp(entry.mText, text) == 0)
    {
      if (value)
        *value = entry.mValue;
      return true;
    }
  }
  return false;
}

// --- display -------------------------------------------------------------------------------------

void IParam::GetDisplay(double value, bool normalized, WDL_String& display, bool withDisplayText) const
{
  if (normalized)
    value = FromNormalized(value);

  if (mDisplayFunction)
  {
    mDisplayFunction(value, display);
    return;
  }

  if (withDisplayText)
  {
    const char* text = GetDisplayText(value);
    if (*text)
    {
      display.Set(text, kMaxParamDisplayLen);
      return;
    }
  }

  double v = (mFlags & kParamNegateDisplay) ? -value : value;
  if (v == 0.0)
    v = 0.0; // drops the sign of -0.0

  if (mDisplayPrecision == 0)
  {
    double r = Round(v);
    if (r == 0.0)
      r = 0.0;
    if (r >= INT_MIN && r <= INT_MAX)
      display.SetFormatted(kMaxParamDisplayLen, "%d", static_cast<int>(r));
    else
      display.SetFormatted(kMaxParamDisplayLen, "%.0f", r); // beyond int, or not finite
  }
  else if ((mFlags & kParamSignDisplay) && v != 0.0)
  {
    display.SetFormatted(kMaxParamDisplayLen, "%+.*f", mDisplayPrecision, v);
  }
  else
  {
    display.SetFormatted(kMaxParamDisplayLen, "%.*f", mDisplayPrecision, v);
  }
}

const char* IParam::GetLabel() const
{
  if (*GetDisplayText(static_cast<double>(IntValue())))
    return "";
  return mLabel;
}

void IParam::GetDisplayWithLabel(WDL_String& display, bool withDisplayText) const
{
  GetDisplay(Value(), false, display, withDisplayText);
  const char* label = GetLabel();
  if (*label)
  {
    display.Append(" ");
    display.Append(label);
  }
}

double IParam::StringToValue(const char* text) const
{
  if (!text)
    text = "";
  double mapped = 0.0;
  if (MapDisplayText(text, &mapped))
    return mapped;
  if (mType == kTypeBool || mType == kTypeEnum)
    return 0.0;
  double v = std::atof(text);
  if (mFlags & kParamNegateDisplay)
    v = -v;
  return Constrain(v);
}

void IParam::GetJSON(WDL_String& json, int idx) const
{
  json.AppendFormatted(kMaxJSONPieceLen, "{");
  json.AppendFormatted(kMaxJSONPieceLen, "\"id\":%i, ", idx);
  json.AppendFormatted(kMaxJSONPieceLen, "\"name\":\"%s\", ", mName);
  switch (mType)
  {
  case kTypeBool:
    json.AppendFormatted(kMaxJSONPieceLen, "\"type\":\"%s\", ", "bool");
    break;
  case kTypeInt:
    json.AppendFormatted(kMaxJSONPieceLen, "\"type\":\"%s\", ", "int");
    break;
  case kTypeEnum:
    json.AppendFormatted(kMaxJSONPieceLen, "\"type\":\"%s\", ", "enum");
    break;
  case kTypeDouble:
    json.AppendFormatted(kMaxJSONPieceLen, "\"type\":\"%s\", ", "float");
    break;
  default:
    break;
  }
  json.AppendFormatted(kMaxJSONPieceLen, "\"min\":%f, ", mMin);
  json.AppendFormatted(kMaxJSONPieceLen, "\"max\":%f, ", mMax);
  json.AppendFormatted(kMaxJSONPieceLen, "\"default\":%f, ", mDefault);
  json.AppendFormatted(kMaxJSONPieceLen, "\"rate\":\"control\"");
  json.AppendFormatted(kMaxJSONPieceLen, "}");
}

} // namespace iplug
