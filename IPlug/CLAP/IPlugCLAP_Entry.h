#pragma once
// The module's entry point `clap_entry` and its plug-in factory: one plug-in, described and created by the plug-in
// module, which defines the two functions below.
//
// Typical use (the plug-in module):
//   const clap_plugin_descriptor& iplug::GetCLAPDescriptor() { return kDescriptor; }
//   IPlugCLAP* iplug::MakeCLAPPlug(const InstanceInfo& info) { return new MyPlugin(info); }

#include "IPlugConfig.h"

#include "clap/entry.h"
#include "clap/plugin-factory.h"

namespace iplug
{

class IPlugCLAP;

/** Defined by the plug-in module: the descriptor of its one plug-in (static storage). */
const clap_plugin_descriptor& GetCLAPDescriptor();

/** Defined by the plug-in module: builds one instance (never concurrently: the module serialises it). */
IPlugCLAP* MakeCLAPPlug(const InstanceInfo& info);

/** The factory clap_entry hands out. */
const clap_plugin_factory& GetCLAPPluginFactory();

/** The path the host gave the module's init (empty before init). */
const char* GetCLAPModulePath();

} // namespace iplug
