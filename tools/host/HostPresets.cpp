#include "HostPresets.h"

#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <algorithm>
#include <cctype>
#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace brevant::host
{

namespace
{

std::string Lower(std::string s)
{
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

} // namespace

std::optional<ProgramList> ReadProgramList(HostedPlugin& plug)
{
  if (!plug.Controller())
    return std::nullopt;
  FUnknownPtr<IUnitInfo> units(plug.Controller());
  if (!units)
    return std::nullopt;

  for (const ParamDescription& p : plug.Params())
  {
    if (!(p.flags & ParameterInfo::kIsProgramChange))
      continue;
    // The parameter's unit names the list it switches.
    for (int32 u = 0; u < units->getUnitCount(); u++)
    {
      UnitInfo unit{};
      if (units->getUnitInfo(u, unit) != kResultOk || unit.id != p.unitId || unit.programListId == kNoProgramListId)
        continue;
      for (int32 l = 0; l < units->getProgramListCount(); l++)
      {
        ProgramListInfo info{};
        if (units->getProgramListInfo(l, info) != kResultOk || info.id != unit.programListId)
          continue;
        ProgramList list;
        list.paramId = p.id;
        list.listId = info.id;
        for (int32 i = 0; i < info.programCount; i++)
        {
          String128 name16 = {};
          char name[256] = {};
          if (units->getProgramName(info.id, i, name16) == kResultOk)
          {
            name16[127] = 0;
            UString(name16, 128).toAscii(name, sizeof(name));
          }
          list.names.emplace_back(name);
        }
        return list;
      }
    }
  }
  return std::nullopt;
}

bool SelectProgram(HostedPlugin& plug, const std::string& name, std::string& error)
{
  const auto list = ReadProgramList(plug);
  if (!list || list->names.empty())
  {
    error = "the plug-in has no presets";
    return false;
  }
  auto found = std::find(list->names.begin(), list->names.end(), name);
  if (found == list->names.end())
    found = std::find_if(list->names.begin(), list->names.end(),
                         [&](const std::string& n) { return Lower(n) == Lower(name); });
  if (found == list->names.end())
  {
    error = "no preset named \"" + name + "\" (brevant-host info lists the presets)";
    return false;
  }
  const double steps = static_cast<double>(list->names.size() - 1);
  const auto normalized = [&](size_t index) { return steps > 0 ? static_cast<double>(index) / steps : 0.0; };
  const auto index = static_cast<size_t>(found - list->names.begin());
  // Plug-ins recall on a change of program: when the list already shows this one (a fresh instance shows the
  // first), step off it first, as a user would in a DAW's menu.
  bool ok = true;
  if (list->names.size() > 1 && std::fabs(plug.GetParamNormalized(list->paramId) - normalized(index)) < 1e-9)
    ok = plug.SetParamNormalized(list->paramId, normalized(index == 0 ? 1 : 0));
  if (!ok || !plug.SetParamNormalized(list->paramId, normalized(index)))
  {
    error = plug.LastError();
    return false;
  }
  return true;
}

} // namespace brevant::host
