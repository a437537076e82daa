#pragma once
// The API class a plug-in class derives from, chosen when the plug-in is built: a target that defines IPLUG_CLAP
// builds the CLAP binding, one that defines IPLUG_LV2 the LV2 binding, every other one the VST3 binding. The plug-in
// class names only iplug::Plugin.

#if defined(IPLUG_CLAP)
#include "IPlugCLAP.h"
namespace iplug
{
using Plugin = IPlugCLAP;
}
#elif defined(IPLUG_LV2)
#include "IPlugLV2.h"
namespace iplug
{
using Plugin = IPlugLV2;
}
#else
#include "IPlugVST3.h"
namespace iplug
{
using Plugin = IPlugVST3;
}
#endif
