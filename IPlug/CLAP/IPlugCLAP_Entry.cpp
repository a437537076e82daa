#include "IPlugCLAP_Entry.h"

#include "IPlugCLAP.h"
#include "mutex.h"
#include "wdlstring.h"

#include <cstring>
#include <new>

namespace iplug
{

namespace
{
WDL_Mutex sEntryMutex;
int sInitCount = 0;
WDL_String sModulePath;

const clap_plugin* CreatePlugin(const clap_plugin_factory*, const clap_host* host, const char* pluginId)
{
  const clap_plugin_descriptor& descriptor = GetCLAPDescriptor();
  if (!host || !pluginId || std::strcmp(pluginId, descriptor.id) != 0 || !clap_version_is_compatible(host->clap_version))
    return nullptr;
  // The framework's static tables are filled on first use: instances are never built concurrently.
  WDL_MutexLock lock(&sEntryMutex);
  IPlugCLAP* plug = nullptr;
  try
  {
    plug = MakeCLAPPlug(InstanceInfo{});
  }
  catch (...)
  {
    return nullptr; // nothing may cross the C boundary
  }
  if (!plug)
    return nullptr;
  plug->AttachHost(host, &descriptor);
  return plug->GetClapPlugin();
}

const clap_plugin_factory kFactory = {
    [](const clap_plugin_factory*) -> uint32_t { return 1; },
    [](const clap_plugin_factory*, uint32_t index) -> const clap_plugin_descriptor*
    { return index == 0 ? &GetCLAPDescriptor() : nullptr; },
    CreatePlugin,
};

bool EntryInit(const char* path)
{
  WDL_MutexLock lock(&sEntryMutex);
  if (sInitCount++ == 0)
    sModulePath.Set(path ? path : "");
  return true;
}

void EntryDeinit()
{
  WDL_MutexLock lock(&sEntryMutex);
  if (sInitCount > 0 && --sInitCount == 0)
    sModulePath.Set("");
}

const void* EntryGetFactory(const char* factoryId)
{
  return factoryId && std::strcmp(factoryId, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
}
} // namespace

const clap_plugin_factory& GetCLAPPluginFactory() { return kFactory; }

const char* GetCLAPModulePath() { return sModulePath.Get(); }

} // namespace iplug

extern "C" CLAP_EXPORT const clap_plugin_entry clap_entry = {
    CLAP_VERSION_INIT,
    iplug::EntryInit,
    iplug::EntryDeinit,
    iplug::EntryGetFactory,
};
