#pragma once
// The module's entry points `lv2_descriptor` (one descriptor per plug-in variant) and `lv2ui_descriptor` (the one
// editor all variants share). The plug-in module defines the functions below.
//
// Typical use (the plug-in module):
//   const LV2Variant* iplug::GetLV2Variants(int& count) { count = 2; return kVariants; }
//   const char* iplug::GetLV2UIURI() { return "https://example.org/plug#ui"; }
//   IPlugLV2* iplug::MakeLV2Plug(const InstanceInfo& info) { return new MyPlugin(info); }

#include "IPlugConfig.h"
#include "IPlugLV2_Ports.h"

namespace iplug
{

class IPlugLV2;

/** Defined by the plug-in module: its plug-ins, the first the main (stereo) one (static storage). */
const LV2Variant* GetLV2Variants(int& count);

/** Defined by the plug-in module: the URI of its editor. */
const char* GetLV2UIURI();

/** Defined by the plug-in module: the name of the port of a parameter that has no name of its own (a meter the
 * plug-in drives), or null. */
const char* GetLV2PortName(int paramIdx);

/** Defined by the plug-in module: builds one instance (never concurrently: the module serialises it). */
IPlugLV2* MakeLV2Plug(const InstanceInfo& info);

} // namespace iplug
