#include <gtest/gtest.h>

#include "IPlugParameter.h"

#include <cmath>
#include <string>

using iplug::IParam;

namespace
{
std::string Display(const IParam& p, double value, bool withTexts = true)
{
  WDL_String s;
  p.GetDisplay(value, false, s, withTexts);
  return s.Get();
}
} // namespace

TEST(IParam, InitDoubleRangeDefaultAndPrecision)
{
  IParam p;
  p.InitDouble("Gain", 0.5, 10.0, 5.0, 1.0, "dB");
  EXPECT_EQ(p.Type(), IParam::kTypeDouble);
  EXPECT_EQ(p.GetMin(), 10.0);
  EXPECT_EQ(p.GetMax(), 11.0); // never collapses below one step
  EXPECT_EQ(p.Value(), 10.0);  // default constrained
  EXPECT_EQ(p.GetDefault(), 0.5);

  IParam s;
  s.InitInt("Switch", 0, 0, 1);
  s.InitDouble("Switch", 0.5, 0.0, 1.0, 1.0, "", IParam::kParamStepped);
  EXPECT_EQ(s.Type(), IParam::kTypeInt); // an earlier type stays
  EXPECT_EQ(s.Value(), 1.0);
  s.SetToDefault();
  EXPECT_EQ(s.Value(), 0.5); // stored as is

  const struct
  {
    double step;
    int precision;
  } cases[] = {{1, 0}, {0.5, 1}, {0.25, 2}, {0.1, 1}, {0.01, 2}, {0.125, 3}, {1.0 / 3.0, 6}, {0.000001, 6}};
  for (const auto& c : cases)
  {
    p.InitDouble("x", 0, 0, 100, c.step);
    EXPECT_EQ(p.GetDisplayPrecision(), c.precision) << c.step;
  }
}

TEST(IParam, WrappersAddSteppingAndTheirUnits)
{
  IParam b, e, e2, f, ms;
  b.InitBool("B", true, "", IParam::kParamCannotAutomate);
  EXPECT_EQ(b.Type(), IParam::kTypeBool);
  EXPECT_EQ(b.GetFlags(), IParam::kParamCannotAutomate | IParam::kParamStepped);
  EXPECT_STREQ(b.GetDisplayTextAtIdx(1), "on");

  e.InitEnum("E", 1, 3, "", 0, "", "a", "b", "c");
  EXPECT_EQ(e.GetMax(), 2.0);
  EXPECT_EQ(e.NDisplayTexts(), 3);
  e2.InitEnum("E", 0, {"x", "y"});
  EXPECT_TRUE(e2.GetStepped());
  EXPECT_STREQ(e2.GetDisplayText(1.0), "y");

  f.InitFrequency("F", 1000, 20, 20000, 1);
  EXPECT_EQ(f.Unit(), IParam::kUnitFrequency);
  EXPECT_EQ(f.DisplayType(), IParam::kDisplayLog);
  ms.InitMilliseconds("M", 10, 1, 50);
  EXPECT_EQ(ms.Unit(), IParam::kUnitMilliseconds);
  EXPECT_STREQ(ms.GetLabel(), "ms");
  EXPECT_FALSE(ms.GetStepped());
}

TEST(IParam, InitPitchNamesNotes)
{
  IParam p;
  p.InitPitch("Note", 2, 58, 61, 0, "", true);
  EXPECT_EQ(p.GetMin(), 0.0);
  EXPECT_EQ(p.GetMax(), 3.0);
  EXPECT_EQ(p.Value(), 2.0); // an index, not offset by min
  EXPECT_STREQ(p.GetDisplayText(0), "A#3");
  EXPECT_STREQ(p.GetDisplayText(2), "C 4");

  // Notes below 0 still get a valid name.
  IParam low;
  low.InitPitch("Low", 0, -1, 0, 0, "", false);
  EXPECT_STREQ(low.GetDisplayText(0), "B -3");
  EXPECT_STREQ(low.GetDisplayText(1), "C -2");
}

TEST(IParam, InitFromSourceRenamesAndCopiesTexts)
{
  IParam src;
  src.InitEnum("Low Mode", 1, 2, "", 0, "Low", "Off", "On");
  src.Set(0);
  IParam dst;
  dst.Init(src, "Low", "High", "High");
  EXPECT_STREQ(dst.GetName(), "High Mode");
  EXPECT_STREQ(dst.GetGroup(), "High");
  EXPECT_EQ(dst.Type(), IParam::kTypeEnum);
  EXPECT_EQ(dst.NDisplayTexts(), 2);
  EXPECT_EQ(dst.Value(), 1.0); // the source's value is not copied

  IParam removed;
  removed.Init(src, "Low ", nullptr, nullptr);
  EXPECT_STREQ(removed.GetName(), "Mode");
  EXPECT_STREQ(removed.GetGroup(), "Low");

  // Re-initializing from itself keeps the texts intact (and appends a copy).
  src.Init(src);
  EXPECT_EQ(src.NDisplayTexts(), 4);
  EXPECT_STREQ(src.GetDisplayTextAtIdx(3), "On");
}

TEST(IParam, LongTextsAreCutToFieldSize)
{
  const char* longText = "0123456789012345678901234567890123456789";
  IParam p;
  p.InitDouble(longText, 0, 0, 1, 0.1, longText, 0, longText);
  p.SetDisplayText(0.5, longText);
  EXPECT_EQ(std::strlen(p.GetName()), 31u);
  EXPECT_EQ(std::strlen(p.GetLabel()), 31u);
  EXPECT_EQ(std::strlen(p.GetGroup()), 31u);
  EXPECT_EQ(std::strlen(p.GetDisplayText(0.5)), 31u);

  IParam q;
  q.InitDouble("abcdefghijklmnopqrstuvwxyz", 0, 0, 1, 1);
  q.Init(q, "a", "0123456789"); // grows past the field
  EXPECT_STREQ(q.GetName(), "0123456789bcdefghijklmnopqrstuv");

  double v = 7.0;
  EXPECT_EQ(p.GetDisplayTextAtIdx(1, &v), nullptr);
  EXPECT_EQ(p.GetDisplayTextAtIdx(-1, &v), nullptr);
  EXPECT_EQ(v, 7.0);
}

TEST(IParam, ConstrainRoundsHalvesAwayFromZeroAndClamps)
{
  EXPECT_EQ(IParam::Round(2.5), 3.0);
  EXPECT_EQ(IParam::Round(-2.5), -3.0);
  EXPECT_EQ(IParam::Round(0.49999999999999994), 0.0);
  EXPECT_FALSE(std::signbit(IParam::Round(-0.49999999999999994)));

  IParam p;
  p.InitDouble("Stepped", 0, -10, 10, 0.5, "", IParam::kParamStepped);
  EXPECT_EQ(p.Constrain(1.25), 1.5);
  EXPECT_EQ(p.Constrain(-1.25), -1.5);
  EXPECT_EQ(p.Constrain(1.2), 1.0);
  EXPECT_EQ(p.Constrain(99), 10.0);
  EXPECT_EQ(p.Constrain(-99), -10.0);
  EXPECT_EQ(p.Constrain(NAN), -10.0); // never stores NaN
  p.Set(INFINITY);
  EXPECT_EQ(p.Value(), 10.0);
  p.SetNormalized(0.51);
  EXPECT_EQ(p.Value(), 0.0);
}

TEST(IParam, ShapesMapAndRoundTrip)
{
  IParam lin, pow2, freq, zeroMin;
  lin.InitDouble("lin", 0, -50, 50, 0.001);
  pow2.InitDouble("pow", 0, 0, 100, 0.001, "", 0, "", IParam::ShapePowCurve(2.0));
  freq.InitFrequency("f", 1000, 20, 20000, 0.001);
  zeroMin.InitDouble("z", 0, 0, 1000, 0.001, "", 0, "", IParam::ShapeExp{});

  EXPECT_DOUBLE_EQ(pow2.FromNormalized(0.5), 25.0);
  EXPECT_DOUBLE_EQ(pow2.ToNormalized(25.0), 0.5);
  EXPECT_NEAR(freq.FromNormalized(0.5), std::sqrt(20.0 * 20000.0), 1e-9);
  EXPECT_NEAR(zeroMin.GetShape().NormalizedToValue(0.0, zeroMin), 1e-8, 1e-20);
  EXPECT_NEAR(zeroMin.FromNormalized(0.0), 1e-8, 1e-20); // inside [0, 1000]: the clamp keeps it
  IParam zeroMinStepped;
  zeroMinStepped.InitDouble("zs", 0, 0, 1000, 1, "", IParam::kParamStepped, "", IParam::ShapeExp{});
  EXPECT_EQ(zeroMinStepped.FromNormalized(0.0), 0.0);
  EXPECT_EQ(zeroMin.ToNormalized(0.0), 0.0);

  for (IParam* p : {&lin, &pow2, &freq, &zeroMin})
  {
    EXPECT_EQ(p->ToNormalized(p->GetMin() - 1000.0), 0.0) << p->GetName();
    EXPECT_EQ(p->ToNormalized(p->GetMax() + 1000.0), 1.0) << p->GetName();
    for (double n : {0.1, 0.37, 0.5, 0.93})
      EXPECT_NEAR(p->ToNormalized(p->FromNormalized(n)), n, 1e-6) << p->GetName() << " " << n;
  }

  EXPECT_EQ(IParam::ShapePowCurve(3.0).GetDisplayType(), IParam::kDisplayCubed);
  EXPECT_EQ(IParam::ShapePowCurve(2.0).GetDisplayType(), IParam::kDisplaySquared);
  EXPECT_EQ(IParam::ShapePowCurve(1.5).GetDisplayType(), IParam::kDisplayLinear);
  EXPECT_EQ(IParam::ShapePowCurve(0.3).GetDisplayType(), IParam::kDisplayCubeRoot);
  EXPECT_EQ(IParam::ShapePowCurve(0.5).GetDisplayType(), IParam::kDisplaySquareRoot);

  // Each parameter owns its own clone of the shape.
  IParam::ShapePowCurve curve(2.0);
  IParam a;
  a.InitDouble("a", 0, 0, 100, 1, "", 0, "", curve);
  curve.mShape = 1.0;
  EXPECT_DOUBLE_EQ(a.FromNormalized(0.5), 25.0);
}

TEST(IParam, NumericDisplay)
{
  IParam p;
  p.InitDouble("p", 0, -100, 100, 1);
  EXPECT_EQ(Display(p, 2.5), "3");
  EXPECT_EQ(Display(p, -2.5), "-3");
  EXPECT_EQ(Display(p, -0.3), "0");
  EXPECT_EQ(Display(p, 1e12), "1000000000000");

  p.InitDouble("p", 0, -100, 100, 0.1);
  EXPECT_EQ(Display(p, -0.0), "0.0");

  p.InitDouble("p", 0, -100, 100, 0.01, "", IParam::kParamSignDisplay);
  EXPECT_EQ(Display(p, 1.5), "+1.50");
  EXPECT_EQ(Display(p, -1.5), "-1.50");
  EXPECT_EQ(Display(p, 0.0), "0.00");

  p.InitDouble("p", 0, -100, 100, 1, "", IParam::kParamNegateDisplay);
  EXPECT_EQ(Display(p, 6), "-6");
  EXPECT_EQ(Display(p, 0), "0");
  EXPECT_EQ(p.StringToValue("6"), -6.0);
  EXPECT_EQ(p.StringToValue("-3"), 3.0);

  IParam n;
  n.InitDouble("n", 0, 0, 100, 1);
  WDL_String s;
  n.GetDisplay(0.25, true, s);
  EXPECT_STREQ(s.Get(), "25");

  n.InitDouble("n", 0, 0, 100, 1, "", 0, "", IParam::ShapeLinear{}, IParam::kUnitCustom,
               [](double v, WDL_String& t) { t.SetFormatted(32, "<%g>", v); });
  n.SetDisplayText(5, "five");
  EXPECT_EQ(Display(n, 5), "<5>"); // a display function wins over texts
}

TEST(IParam, DisplayTextsAndLabels)
{
  IParam p;
  p.InitDouble("Mode", 0, 0, 10, 1, "ms");
  p.SetDisplayText(0, "Off");
  p.SetDisplayText(1, "One");
  p.SetDisplayText(1, "Shadowed");
  p.SetDisplayText(2, "");
  EXPECT_EQ(Display(p, 0.9999), "1");
  EXPECT_EQ(Display(p, 1.0), "One");
  EXPECT_EQ(Display(p, 1.0, false), "1");
  EXPECT_EQ(Display(p, 2.0), "2"); // an empty text falls through

  double v = -1;
  EXPECT_TRUE(p.MapDisplayText("Shadowed", &v));
  EXPECT_EQ(v, 1.0);
  v = -1;
  EXPECT_FALSE(p.MapDisplayText("off", &v));
  EXPECT_EQ(v, -1.0);
  EXPECT_FALSE(p.MapDisplayText(nullptr, &v));

  WDL_String s;
  p.Set(0);
  EXPECT_STREQ(p.GetLabel(), "");
  p.GetDisplayWithLabel(s);
  EXPECT_STREQ(s.Get(), "Off");
  p.Set(5);
  p.GetDisplayWithLabel(s);
  EXPECT_STREQ(s.Get(), "5 ms");
  p.Set(2);
  EXPECT_STREQ(p.GetLabel(), "ms");

  EXPECT_EQ(p.StringToValue("Off"), 0.0);
  EXPECT_EQ(p.StringToValue("12 ms"), 10.0); // atof, then clamp
  EXPECT_EQ(p.StringToValue("junk"), 0.0);
}

TEST(IParam, UnmatchedTextForEnumAndBoolReadsZero)
{
  IParam e, b, shifted;
  e.InitEnum("E", 2, 3, "", 0, "", "a", "b", "c");
  b.InitBool("B", true);
  EXPECT_EQ(e.StringToValue("2"), 0.0);
  EXPECT_EQ(e.StringToValue("c"), 2.0);
  EXPECT_EQ(b.StringToValue("1"), 0.0);
  EXPECT_EQ(b.StringToValue("on"), 1.0);
  shifted.InitDouble("S", 5, 5, 10, 1);
  EXPECT_EQ(shifted.StringToValue("abc"), 5.0); // reads 0, clamps to min
  EXPECT_EQ(shifted.StringToValue(nullptr), 5.0);
}

TEST(IParam, JSONText)
{
  IParam p;
  p.InitDouble("Mix", 50, 0, 100, 1);
  WDL_String json("[");
  p.GetJSON(json, 5);
  EXPECT_STREQ(json.Get(), "[{\"id\":5, \"name\":\"Mix\", \"type\":\"float\", \"min\":0.000000, \"max\":100.000000, "
                           "\"default\":50.000000, \"rate\":\"control\"}");

  IParam none, b;
  WDL_String j2;
  none.GetJSON(j2, 0);
  EXPECT_STREQ(j2.Get(), "{\"id\":0, \"name\":\"\", \"min\":0.000000, \"max\":1.000000, \"default\":0.000000, "
                         "\"rate\":\"control\"}");
  b.InitBool("On", false);
  j2.Clear();
  b.GetJSON(j2, 1);
  EXPECT_NE(std::string(j2.Get()).find("\"type\":\"bool\", "), std::string::npos);
}
