// A hosted plug-in's factory presets as a host sees them: the program list bound to its program-change parameter.
#pragma once

#include "HostedPlugin.h"

#include <optional>
#include <string>
#include <vector>

namespace brevant::host
{

struct ProgramList
{
  Steinberg::Vst::ParamID paramId = 0; // the program-change parameter
  Steinberg::Vst::ProgramListID listId = 0;
  std::vector<std::string> names;
};

/** The program list of the plug-in's program-change parameter; none when it has no such pair. */
std::optional<ProgramList> ReadProgramList(HostedPlugin& plug);

/** Chooses a program by name (exact, else ignoring case) through the program-change parameter, as a DAW's
 * preset menu does. False with the reason in error. */
bool SelectProgram(HostedPlugin& plug, const std::string& name, std::string& error);

} // namespace brevant::host
