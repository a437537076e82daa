// Brevant's VST3 module: its class factory, instance creation and the module entry's work.

#include "Brevant.h"

#include "IPlugPaths.h"
#include "IPlugVST3_Factory.h"
#include "mutex.h"

#include "pluginterfaces/base/fplatform.h"

using namespace iplug;
using namespace Steinberg;

namespace
{
const VST3ClassDescription kClass = {brevant::kMfrName,    brevant::kMfrURL,          brevant::kMfrEmail,
                                     brevant::kPluginName, brevant::kVST3Subcategory, brevant::kVersionStr,
                                     brevant::kMfrID,      brevant::kUniqueID};
} // namespace

IPlugVST3* iplug::MakePlug(const InstanceInfo& info)
{
  // Instances are never built concurrently: the framework's static tables are filled on first use.
  static WDL_Mutex sMutex;
  WDL_MutexLock lock(&sMutex);
  return new Brevant(info);
}

extern "C" SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory()
{
  return GetVST3PluginFactory(kClass, CreateVST3Instance);
}

// Called by the module entry on the first ModuleEntry: the editor finds its resources through the bundle path.
bool InitModule()
{
  RegisterBundleFromModule(brevant::kBundleID);
  return true;
}

bool DeinitModule()
{
  ClearBundlePath(brevant::kBundleID);
  return true;
}
