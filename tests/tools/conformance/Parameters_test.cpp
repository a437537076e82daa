// Parameters, units and MIDI mapping as hosts and validators scan them: information, steps, conversions and
// texts for every parameter, edits from the host, and the unit tree.

#include "Conformance.h"

#include "pluginterfaces/vst/ivstmidicontrollers.h"

#include <algorithm>
#include <cmath>
#include <set>

using namespace conformance;

namespace
{
std::vector<ParameterInfo> Infos(Instance& plug)
{
  std::vector<ParameterInfo> infos;
  for (int32 i = 0; i < plug.controller->getParameterCount(); i++)
  {
    ParameterInfo info{};
    EXPECT_EQ(plug.controller->getParameterInfo(i, info), kResultOk) << i;
    infos.push_back(info);
  }
  return infos;
}

// Normalized values worth trying for a parameter: its ends, a few inner points, its default and, for a stepped
// one, every step.
std::vector<double> Probes(const ParameterInfo& info)
{
  std::vector<double> v = {0.0, 0.1, 0.25, 0.5, 0.75, 0.9, 1.0, info.defaultNormalizedValue};
  for (int32 k = 0; info.stepCount > 0 && k <= info.stepCount; k++)
    v.push_back(static_cast<double>(k) / info.stepCount);
  return v;
}

std::string Text(Instance& plug, ParamID id, double normalized)
{
  String128 s{};
  EXPECT_EQ(plug.controller->getParamStringByValue(id, normalized, s), kResultOk) << id;
  return Str(s);
}
} // namespace

TEST(ConformanceParameters, ScanLikeAValidator)
{
  Instance plug;
  const auto infos = Infos(plug);
  ASSERT_EQ(infos.size(), 33u); // the host bypass, the 31 and the program change
  ParameterInfo info{};
  EXPECT_NE(plug.controller->getParameterInfo(-1, info), kResultOk);
  EXPECT_NE(plug.controller->getParameterInfo(33, info), kResultOk);

  auto* units = plug.Query<IUnitInfo>();
  ASSERT_NE(units, nullptr);
  std::set<UnitID> unitIds;
  for (int32 u = 0; u < units->getUnitCount(); u++)
  {
    UnitInfo unit{};
    ASSERT_EQ(units->getUnitInfo(u, unit), kResultOk);
    unitIds.insert(unit.id);
  }

  std::set<ParamID> ids;
  int bypasses = 0;
  for (const auto& p : infos)
  {
    SCOPED_TRACE(::testing::Message() << "parameter " << p.id << " \"" << Str(p.title) << "\"");
    EXPECT_TRUE(ids.insert(p.id).second) << "duplicate ID";
    EXPECT_NE(p.id, kNoParamId);
    EXPECT_FALSE(Str(p.title).empty());
    EXPECT_GE(p.stepCount, 0);
    EXPECT_GE(p.defaultNormalizedValue, 0.0);
    EXPECT_LE(p.defaultNormalizedValue, 1.0);
    EXPECT_TRUE(unitIds.count(p.unitId)) << "unit " << p.unitId;
    if (p.flags & ParameterInfo::kIsReadOnly)
    {
      EXPECT_EQ(p.flags & ParameterInfo::kCanAutomate, 0) << "read-only yet automatable";
    }
    if (p.flags & ParameterInfo::kIsList)
    {
      EXPECT_GT(p.stepCount, 0) << "a list needs entries";
    }
    if (p.flags & ParameterInfo::kIsProgramChange)
    {
      // It switches the program list of its unit, one step per program.
      UnitInfo unit{};
      for (int32 u = 0; u < units->getUnitCount(); u++)
        if (units->getUnitInfo(u, unit) == kResultOk && unit.id == p.unitId)
          break;
      EXPECT_EQ(unit.id, p.unitId);
      EXPECT_NE(unit.programListId, kNoProgramListId);
      ProgramListInfo list{};
      bool found = false;
      for (int32 l = 0; l < units->getProgramListCount() && !found; l++)
        found = units->getProgramListInfo(l, list) == kResultOk && list.id == unit.programListId;
      EXPECT_TRUE(found) << "program list " << unit.programListId;
      EXPECT_EQ(list.programCount, p.stepCount + 1);
    }
    if (p.flags & ParameterInfo::kIsBypass)
    {
      bypasses++;
      EXPECT_EQ(p.stepCount, 1);
      EXPECT_NE(p.flags & ParameterInfo::kCanAutomate, 0);
    }
    // A fresh instance shows its defaults.
    EXPECT_DOUBLE_EQ(plug.controller->getParamNormalized(p.id), p.defaultNormalizedValue);
  }
  EXPECT_EQ(bypasses, 1);
  units->release();
}

TEST(ConformanceParameters, StepsAndConversionsRoundTrip)
{
  Instance plug;
  for (const auto& p : Infos(plug))
  {
    SCOPED_TRACE(::testing::Message() << "parameter " << p.id << " \"" << Str(p.title) << "\"");
    const double lo = plug.controller->normalizedParamToPlain(p.id, 0.0);
    const double hi = plug.controller->normalizedParamToPlain(p.id, 1.0);
    ASSERT_TRUE(std::isfinite(lo) && std::isfinite(hi));
    EXPECT_LE(lo, hi);
    double previous = -INFINITY;
    for (int32 k = 0; p.stepCount > 0 && k <= p.stepCount; k++)
    {
      // Every step has its own plain value and comes back to itself.
      const double n = static_cast<double>(k) / p.stepCount;
      const double plain = plug.controller->normalizedParamToPlain(p.id, n);
      EXPECT_GT(plain, previous) << "step " << k;
      previous = plain;
      EXPECT_NEAR(plug.controller->plainParamToNormalized(p.id, plain), n, 1e-9) << "step " << k;
      // A value between steps lands on one of them.
      const double between = plug.controller->normalizedParamToPlain(p.id, std::min(n + 0.3 / p.stepCount, 1.0));
      const double snapped = plug.controller->plainParamToNormalized(p.id, between) * p.stepCount;
      EXPECT_NEAR(snapped, std::round(snapped), 1e-9) << "step " << k;
    }
    for (double n : Probes(p))
    {
      if (p.stepCount == 0)
      {
        const double plain = plug.controller->normalizedParamToPlain(p.id, n);
        EXPECT_NEAR(plug.controller->plainParamToNormalized(p.id, plain), n, 1e-9) << n;
      }
    }
    // Out-of-range values stay within the range both ways.
    for (double n : {-0.5, 1.5})
    {
      const double plain = plug.controller->normalizedParamToPlain(p.id, n);
      EXPECT_TRUE(plain >= lo && plain <= hi) << n << " gives " << plain;
    }
    for (double plain : {lo - 1000.0, hi + 1000.0})
    {
      const double n = plug.controller->plainParamToNormalized(p.id, plain);
      EXPECT_TRUE(n >= 0.0 && n <= 1.0) << plain << " gives " << n;
    }
  }
}

TEST(ConformanceParameters, TextsRoundTrip)
{
  Instance plug;
  for (const auto& p : Infos(plug))
  {
    SCOPED_TRACE(::testing::Message() << "parameter " << p.id << " \"" << Str(p.title) << "\"");
    for (double n : Probes(p))
    {
      const std::string text = Text(plug, p.id, n);
      EXPECT_FALSE(text.empty()) << n;
      String128 text16{};
      for (size_t i = 0; i < text.size() && i < 127; i++)
        text16[i] = static_cast<char16>(text[i]);
      double back = -1.0;
      ASSERT_EQ(plug.controller->getParamValueByString(p.id, text16, back), kResultOk) << text;
      ASSERT_TRUE(back >= 0.0 && back <= 1.0) << text << " gives " << back;
      // What a host shows and reads back shows the same again, and a step comes back exactly.
      EXPECT_EQ(Text(plug, p.id, back), text) << n;
      if (p.stepCount > 0 && std::abs(n * p.stepCount - std::round(n * p.stepCount)) < 1e-12)
      {
        EXPECT_NEAR(back, n, 1e-12) << text;
      }
    }
    // Values outside 0..1 from a careless host still have a text.
    for (double n : {-0.5, 1.5, -double(INFINITY), double(NAN)})
    {
      String128 s{};
      EXPECT_EQ(plug.controller->getParamStringByValue(p.id, n, s), kResultOk) << n;
    }
    // Text a user might type that means nothing still gives a usable value.
    for (const char16* junk : {u"", u"abc", u"1e999", u"-1e999", u"nan"})
    {
      double value = -1.0;
      if (plug.controller->getParamValueByString(p.id, const_cast<char16*>(junk), value) == kResultOk)
      {
        EXPECT_TRUE(value >= 0.0 && value <= 1.0) << Str(junk) << " gives " << value;
      }
    }
  }
  EXPECT_EQ(Text(plug, kHostBypassID, 0.0), "off");
  EXPECT_EQ(Text(plug, kHostBypassID, 1.0), "on");

  String128 s{};
  double value = 0;
  EXPECT_NE(plug.controller->getParamStringByValue(0x7777, 0.5, s), kResultOk);
  EXPECT_NE(plug.controller->getParamValueByString(0x7777, s, value), kResultOk);
}

TEST(ConformanceParameters, HostEditsReachTheControllerAndTheState)
{
  Instance plug;
  const auto before = plug.State();
  // A program change recalls a preset over every other value: first, so the edits after it show in the state.
  auto infos = Infos(plug);
  std::stable_partition(infos.begin(), infos.end(),
                        [](const ParameterInfo& p) { return (p.flags & ParameterInfo::kIsProgramChange) != 0; });
  for (const auto& p : infos)
  {
    SCOPED_TRACE(::testing::Message() << "parameter " << p.id);
    ASSERT_EQ(plug.controller->setParamNormalized(p.id, 0.6), kResultOk);
    EXPECT_NEAR(plug.controller->getParamNormalized(p.id), 0.6, 1e-12);
    EXPECT_EQ(plug.controller->setParamNormalized(p.id, 1.5), kResultOk);
    EXPECT_LE(plug.controller->getParamNormalized(p.id), 1.0);
    EXPECT_EQ(plug.controller->setParamNormalized(p.id, -1.0), kResultOk);
    EXPECT_GE(plug.controller->getParamNormalized(p.id), 0.0);
    plug.controller->setParamNormalized(p.id, NAN);
    EXPECT_TRUE(std::isfinite(plug.controller->getParamNormalized(p.id)));
  }
  EXPECT_NE(plug.controller->setParamNormalized(0x7777, 0.5), kResultOk);
  EXPECT_EQ(plug.controller->getParamNormalized(0x7777), 0.0);
  // The plug-in's own values followed the controller: its state changed.
  EXPECT_NE(plug.State(), before);
}

TEST(ConformanceParameters, UnitTreeAndProgramLists)
{
  Instance plug;
  auto* units = plug.Query<IUnitInfo>();
  ASSERT_NE(units, nullptr);
  const int32 count = units->getUnitCount();
  ASSERT_GE(count, 1);
  std::set<UnitID> ids;
  std::vector<UnitInfo> all;
  for (int32 u = 0; u < count; u++)
  {
    UnitInfo unit{};
    ASSERT_EQ(units->getUnitInfo(u, unit), kResultOk);
    EXPECT_TRUE(ids.insert(unit.id).second);
    EXPECT_FALSE(Str(unit.name).empty());
    all.push_back(unit);
  }
  UnitInfo unit{};
  EXPECT_NE(units->getUnitInfo(count, unit), kResultOk);
  EXPECT_NE(units->getUnitInfo(-1, unit), kResultOk);

  std::set<ProgramListID> lists;
  for (int32 l = 0; l < units->getProgramListCount(); l++)
  {
    ProgramListInfo list{};
    ASSERT_EQ(units->getProgramListInfo(l, list), kResultOk);
    lists.insert(list.id);
    for (int32 p = 0; p < list.programCount; p++)
    {
      String128 name{};
      EXPECT_EQ(units->getProgramName(list.id, p, name), kResultOk);
    }
  }
  ProgramListInfo list{};
  EXPECT_NE(units->getProgramListInfo(units->getProgramListCount(), list), kResultOk);

  for (const auto& u : all)
  {
    if (u.id == kRootUnitId)
    {
      EXPECT_EQ(u.parentUnitId, kNoParentUnitId);
    }
    else
    {
      EXPECT_TRUE(ids.count(u.parentUnitId)) << "unit " << u.id << " has no parent";
    }
    if (u.programListId != kNoProgramListId)
    {
      EXPECT_TRUE(lists.count(u.programListId)) << "unit " << u.id;
    }
  }
  EXPECT_TRUE(ids.count(kRootUnitId));
  EXPECT_TRUE(ids.count(units->getSelectedUnit()));
  EXPECT_EQ(units->selectUnit(kRootUnitId), kResultOk);
  UnitID byBus = -5;
  if (units->getUnitByBus(kAudio, kInput, 0, 0, byBus) == kResultOk)
  {
    EXPECT_TRUE(ids.count(byBus));
  }
  EXPECT_NE(units->setUnitProgramData(0, 0, nullptr), kResultOk);
  units->release();
}

TEST(ConformanceParameters, MidiMappingNamesOnlyParametersThatExist)
{
  Instance plug;
  std::set<ParamID> ids;
  for (const auto& p : Infos(plug))
    ids.insert(p.id);
  auto* mapping = plug.Query<IMidiMapping>();
  ASSERT_NE(mapping, nullptr);
  int assigned = 0;
  for (int32 bus = -1; bus <= 2; bus++)
    for (int16 channel = -1; channel <= 16; channel++)
      for (CtrlNumber cc = -1; cc <= kCountCtrlNumber; cc++)
      {
        ParamID id = 0;
        if (mapping->getMidiControllerAssignment(bus, channel, cc, id) == kResultOk)
        {
          assigned++;
          EXPECT_TRUE(ids.count(id)) << "bus " << bus << " channel " << channel << " cc " << cc << " -> " << id;
          EXPECT_LT(bus, plug.component->getBusCount(kEvent, kInput));
        }
      }
  // Brevant takes no MIDI: nothing is assigned.
  EXPECT_EQ(assigned, 0);
  mapping->release();
}
