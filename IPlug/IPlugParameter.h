#pragma once
// One automatable parameter: its definition (range, step, shape, texts) and its current value.
// The definition is written while the plug-in is constructed and read-only afterwards; only the value
// changes later, and it is atomic so the audio thread, the editor and the host may touch it at once.

#include "IPlugConstants.h"
#include "heapbuf.h"
#include "wdlstring.h"

#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>

namespace iplug
{

class IParam
{
public:
  /** Value type, set once by the first initialization call. */
  enum EParamKind : int32_t
  {
    kTypeNone = 0,
    kTypeBool = 1,
    kTypeInt = 2,
    kTypeEnum = 3,
    kTypeDouble = 4
  };

  /** Unit codes reported to hosts that show units. */
  enum EParamUnit : int32_t
  {
    kUnitPercentage = 0,
    kUnitSeconds = 1,
    kUnitMilliseconds = 2,
    kUnitSamples = 3,
    kUnitDB = 4,
    kUnitLinearGain = 5,
    kUnitPan = 6,
    kUnitPhase = 7,
    kUnitDegrees = 8,
    kUnitMeters = 9,
    kUnitRate = 10,
    kUnitRatio = 11,
    kUnitFrequency = 12,
    kUnitOctaves = 13,
    kUnitCents = 14,
    kUnitAbsCents = 15,
    kUnitSemitones = 16,
    kUnitMIDINote = 17,
    kUnitMIDICtrlNum = 18,
    kUnitBPM = 19,
    kUnitBeats = 20,
    kUnitCustom = 21
  };

  /** Curve description for hosts that draw one. */
  enum EDisplayType : int
  {
    kDisplayLinear = 0,
    kDisplayLog = 1,
    kDisplayExp = 2,
    kDisplaySquareRoot = 3,
    kDisplaySquared = 4,
    kDisplayCubeRoot = 5,
    kDisplayCubed = 6
  };

  enum EFlags : int
  {
    kFlagsNone = 0,
    kParamCannotAutomate = 1,
    kParamStepped = 2,
    kParamNegateDisplay = 4,
    kParamSignDisplay = 8
  };

  using DisplayFunc = std::function<void(double, WDL_String&)>;

  /** Maps between normalized 0..1 values and plain values in the parameter's range. */
  struct Shape
  {
    virtual ~Shape() = default;
    virtual Shape* Clone() const = 0;
    /** Called once the parameter's range is set. */
    virtual void Init(const IParam&) {}
    virtual int GetDisplayType() const = 0;
    virtual double NormalizedToValue(double normalized, const IParam& param) const = 0;
    virtual double ValueToNormalized(double value, const IParam& param) const = 0;
  };

  struct ShapeLinear : public Shape
  {
    Shape* Clone() const override { return new ShapeLinear(*this); }
    int GetDisplayType() const override { return kDisplayLinear; }
    double NormalizedToValue(double normalized, const IParam& param) const override;
    double ValueToNormalized(double value, const IParam& param) const override;
  };

  /** value = min + n^shape · range. */
  struct ShapePowCurve : public Shape
  {
    explicit ShapePowCurve(double shape) : mShape(shape) {}
    Shape* Clone() const override { return new ShapePowCurve(*this); }
    int GetDisplayType() const override;
    double NormalizedToValue(double normalized, const IParam& param) const override;
    double ValueToNormalized(double value, const IParam& param) const override;

    double mShape;
  };

  /** Exponential mapping for frequency-like ranges; a minimum of 0 or below is taken as 1e-8. */
  struct ShapeExp : public Shape
  {
    Shape* Clone() const override { return new ShapeExp(*this); }
    void Init(const IParam& param) override;
    int GetDisplayType() const override { return kDisplayLog; }
    double NormalizedToValue(double normalized, const IParam& param) const override;
    double ValueToNormalized(double value, const IParam& param) const override;

    double mMul = 1.0;
    double mAdd = 1.0;
  };

  /** One value-to-text entry: 8 bytes of value, 32 bytes of text. */
  struct DisplayText
  {
    double mValue;
    char mText[kMaxParamDisplayLen];
  };

  IParam();
  ~IParam();
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  // Initialization. Every form ends in InitDouble.
  void InitBool(const char* name, bool defaultValue, const char* label = "", int flags = 0, const char* group = "",
                const char* offText = "off", const char* onText = "on");
  /** listItems is the text for 0; the further variadic const char* arguments give 1 … nEnums − 1. */
  void InitEnum(const char* name, int defaultValue, int nEnums, const char* label = "", int flags = 0,
                const char* group = "", const char* listItems = nullptr, ...);
  void InitEnum(const char* name, int defaultValue, std::initializer_list<const char*> listItems, int flags = 0,
                const char* group = "");
  void InitInt(const char* name, int defaultValue, int minVal, int maxVal, const char* label = "", int flags = 0,
               const char* group = "");
  void InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                  const char* label = "", int flags = 0, const char* group = "", const Shape& shape = ShapeLinear{},
                  EParamUnit unit = kUnitCustom, DisplayFunc displayFunc = nullptr);
  void InitFrequency(const char* name, double defaultVal = 1000., double minVal = 0.1, double maxVal = 10000.,
                     double step = 0.1, int flags = 0, const char* group = "");
  void InitSeconds(const char* name, double defaultVal = 1., double minVal = 0., double maxVal = 10., double step = 0.1,
                   int flags = 0, const char* group = "");
  void InitMilliseconds(const char* name, double defaultVal = 1., double minVal = 0., double maxVal = 100.,
                        int flags = 0, const char* group = "");
  void InitGain(const char* name, double defaultVal = 0., double minVal = -70., double maxVal = 24., double step = 0.5,
                int flags = 0, const char* group = "");
  void InitPercentage(const char* name, double defaultVal = 0., double minVal = 0., double maxVal = 100., int flags = 0,
                      const char* group = "");
  void InitAngleDegrees(const char* name, double defaultVal = 0., double minVal = 0., double maxVal = 360.,
                        int flags = 0, const char* group = "");
  /** An enumeration of note names ("C 4", "C#4" …) for the notes minVal … maxVal; the value is the index. */
  void InitPitch(const char* name, int defaultVal = 60, int minVal = 0, int maxVal = 128, int flags = 0,
                 const char* group = "", bool middleCisC = false);
  /** Copies another parameter's definition, replacing the first searchStr in its name by replaceStr. */
  void Init(const IParam& source, const char* searchStr = "", const char* replaceStr = "", const char* newGroup = "");

  // Value.
  double Value() const { return mValue.load(); }
  /** Current value truncated toward zero. */
  int IntValue() const { return ToInt(Value()); }
  bool Bool() const { return Value() >= 0.5; }
  double DBToAmp() const;

  void Set(double value) { mValue.exchange(Constrain(value)); }
  void SetNormalized(double normalized) { Set(FromNormalized(normalized)); }
  /** Stores the default as given, unconstrained. */
  void SetToDefault() { mValue.exchange(mDefault); }

  double Constrain(double value) const;
  double FromNormalized(double normalized) const { return Constrain(mShape->NormalizedToValue(normalized, *this)); }
  double ToNormalized(double value) const;
  double GetNormalized() const { return ToNormalized(Value()); }
  double GetDefault(bool normalized = false) const { return normalized ? ToNormalized(mDefault) : mDefault; }

  // Display texts.
  void SetDisplayText(double value, const char* text);
  void SetDisplayPrecision(int precision) { mDisplayPrecision = precision; }
  int NDisplayTexts() const { return mDisplayTexts.GetSize(); }
  /** Text of entry idx (and its value through value), or null when idx is out of range. */
  const char* GetDisplayTextAtIdx(int idx, double* value = nullptr) const;
  /** Text of the first entry whose value equals value exactly, else "". */
  const char* GetDisplayText(double value) const;
  bool MapDisplayText(const char* text, double* value) const;

  // Display and text entry.
  void GetDisplay(double value, bool normalized, WDL_String& display, bool withDisplayText = true) const;
  void GetDisplay(WDL_String& display, bool withDisplayText = true) const
  {
    GetDisplay(Value(), false, display, withDisplayText);
  }
  void GetDisplayWithLabel(WDL_String& display, bool withDisplayText = true) const;
  /** The label, or "" when the current value has a non-empty display text. */
  const char* GetLabel() const;
  double StringToValue(const char* text) const;
  void GetJSON(WDL_String& json, int idx) const;
  void PrintDetails() const {}

  // Definition.
  const char* GetName() const { return mName; }
  const char* GetGroup() const { return mParamGroup; }
  const char* GetCustomUnit() const { return mUnit == kUnitCustom ? mLabel : nullptr; }
  void GetBounds(double& lo, double& hi) const
  {
    lo = mMin;
    hi = mMax;
  }
  EParamKind Type() const { return mType; }
  EParamUnit Unit() const { return mUnit; }
  EDisplayType DisplayType() const { return static_cast<EDisplayType>(mShape->GetDisplayType()); }
  const Shape& GetShape() const { return *mShape; }
  bool HasDisplayFunc() const { return static_cast<bool>(mDisplayFunction); }
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetStep() const { return mStep; }
  double GetRange() const { return mMax - mMin; }
  int GetDisplayPrecision() const { return mDisplayPrecision; }
  int GetFlags() const { return mFlags; }
  bool GetCanAutomate() const { return !(mFlags & kParamCannotAutomate); }
  bool GetStepped() const { return mFlags & kParamStepped; }
  bool GetNegateDisplay() const { return mFlags & kParamNegateDisplay; }
  bool GetSignDisplay() const { return mFlags & kParamSignDisplay; }

  /** Half-away-from-zero rounding used for steps and integer display. */
  static double Round(double x);

private:
  /** Truncation toward zero that stays defined for values outside int (and NaN, which gives 0). */
  static int ToInt(double x);

  EParamKind mType = kTypeNone;
  EParamUnit mUnit = kUnitCustom;
  std::atomic<double> mValue{0.0};
  static_assert(std::atomic<double>::is_always_lock_free, "parameter values are shared with the audio thread");
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mDefault = 0.0;
  int mDisplayPrecision = 0;
  int mFlags = 0;
  char mName[kMaxParamNameLen] = {};
  char mLabel[kMaxParamLabelLen] = {};
  char mParamGroup[kMaxParamGroupLen] = {};
  std::unique_ptr<Shape> mShape;
  DisplayFunc mDisplayFunction;
  WDL_TypedBuf<DisplayText> mDisplayTexts;
};

static_assert(sizeof(IParam::DisplayText) == 40);

} // namespace iplug
