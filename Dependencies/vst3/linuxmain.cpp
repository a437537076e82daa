// Linux module entry and exit, for SDK subsets that lack them (see cmake/Dependencies.cmake). The host calls
// ModuleEntry after dlopen and before GetPluginFactory, and ModuleExit before dlclose; both may be called more
// than once, so they keep a count and run the module's InitModule/DeinitModule only on the first and last call.
#include "pluginterfaces/base/fplatform.h"

#include <mutex>

// Defined by the module.
extern bool InitModule();
extern bool DeinitModule();

// The handle the host passed to ModuleEntry, while the module is entered.
void* moduleHandle = nullptr;

namespace
{
std::mutex sEntryMutex;
int sEntryCount = 0;
} // namespace

extern "C"
{

  SMTG_EXPORT_SYMBOL bool ModuleEntry(void* sharedLibraryHandle)
  {
    std::lock_guard<std::mutex> lock(sEntryMutex);
    if (sEntryCount > 0)
    {
      ++sEntryCount;
      return true;
    }
    moduleHandle = sharedLibraryHandle;
    if (!InitModule())
    {
      // Not entered: a later ModuleEntry tries again, and no ModuleExit is owed.
      moduleHandle = nullptr;
      return false;
    }
    sEntryCount = 1;
    return true;
  }

  SMTG_EXPORT_SYMBOL bool ModuleExit()
  {
    std::lock_guard<std::mutex> lock(sEntryMutex);
    if (sEntryCount == 0)
      return false; // unbalanced call: nothing to leave
    if (--sEntryCount > 0)
      return true;
    moduleHandle = nullptr;
    return DeinitModule();
  }

} // extern "C"
