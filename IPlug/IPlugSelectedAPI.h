#pragma once
// The API class a plug-in class derives from, chosen when the plug-in is built: a target that defines IPLUG_CLAP
// builds the CLAP binding, every other one the VST3 binding. The plug-in class names only iplug::Plugin.

#if defined(IPLUG_CLAP)
#include "IPlugCLAP.h"
namespace iplug
{
using Plugin = IPlugCLAP;
}
#else
#include "IPlugVST3.h"
namespace iplug
{
using Plugin = IPlugVST3;
}
#endif
