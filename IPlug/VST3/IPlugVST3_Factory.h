#pragma once
// The class factory a plug-in module hands to the host: one audio-effect class, created through the plug-in's
// MakePlug. The module's own file supplies the identity, MakePlug and the exported entry points.

#include "IPlugConfig.h"

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ipluginbase.h"

namespace iplug
{

class IPlugVST3;

/** What the factory advertises about the module's one class. */
struct VST3ClassDescription
{
  const char* vendor;
  const char* url;
  const char* email;
  const char* name;
  const char* subCategories;
  const char* version;
  int mfrID;
  int uniqueID;
};

/** SDK version the class reports. */
constexpr const char* kVST3SDKVersionStr = "VST 3.7.6";

/** The class ID: two fixed words, then the manufacturer and plug-in codes; each word's bytes most significant
 * first. */
void MakeVST3ClassID(int mfrID, int uniqueID, Steinberg::TUID cid);

/** The module's factory: created and registered on the first call, the same object (one more reference) after. */
Steinberg::IPluginFactory* GetVST3PluginFactory(const VST3ClassDescription& description,
                                                Steinberg::FUnknown* (*createFunc)(void* context));

/** Defined by the plug-in module: builds one instance under a process-wide lock, so instances are never
 * constructed concurrently. */
IPlugVST3* MakePlug(const InstanceInfo& info);

/** Factory create function: an instance from MakePlug as its IAudioProcessor, or null when construction fails. */
Steinberg::FUnknown* CreateVST3Instance(void* context);

} // namespace iplug
