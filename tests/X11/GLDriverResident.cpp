// The host process keeps Mesa's GL driver loaded, as a DAW drawing with GL does. Mesa unloads its driver when the
// last connection using it closes, and the driver's own allocations then lose their last reference: a leak
// report about memory neither the plug-in nor the host ever held.
#include <dlfcn.h>

#include <cstdio>
#include <initializer_list>

namespace
{
struct GLDriverResident
{
  GLDriverResident()
  {
    for (const char* path :
         {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "/usr/lib/dri/swrast_dri.so", "swrast_dri.so"})
      if (dlopen(path, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE))
        return;
    std::fprintf(stderr, "note: Mesa's swrast driver not found; a GL driver unload may be reported as a leak\n");
  }
} sResident;
} // namespace
