#include "IPlugLV2_Entry.h"

#include "IPlugLV2.h"
#include "mutex.h"

#include <cstring>
#include <memory>
#include <vector>

namespace iplug
{

namespace
{
// The framework's static tables are filled on first use: instances are never built concurrently.
WDL_Mutex sEntryMutex;

IPlugLV2* Self(LV2_Handle h) { return static_cast<IPlugLV2*>(h); }

IPlugLV2* Make()
{
  WDL_MutexLock lock(&sEntryMutex);
  try
  {
    return MakeLV2Plug(InstanceInfo{});
  }
  catch (...)
  {
    return nullptr; // nothing may cross the C boundary
  }
}

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate, const char* bundlePath,
                       const LV2_Feature* const* features)
{
  int count = 0;
  const LV2Variant* variants = GetLV2Variants(count);
  const LV2Variant* variant = nullptr;
  for (int i = 0; descriptor && descriptor->URI && i < count; i++)
  {
    if (!std::strcmp(descriptor->URI, variants[i].uri))
      variant = &variants[i];
  }
  if (!variant)
    return nullptr;
  std::unique_ptr<IPlugLV2> plug(Make());
  if (!plug || !plug->InstantiateDSP(*variant, rate, bundlePath, features))
    return nullptr;
  return plug.release();
}

// One descriptor per variant, made on first use from the module's table.
const std::vector<LV2_Descriptor>& Descriptors()
{
  static const std::vector<LV2_Descriptor> descriptors = []
  {
    int count = 0;
    const LV2Variant* variants = GetLV2Variants(count);
    std::vector<LV2_Descriptor> d;
    for (int i = 0; i < count; i++)
    {
      d.push_back({variants[i].uri, Instantiate, [](LV2_Handle h, uint32_t port, void* data)
                   { Self(h)->ConnectPort(port, data); },
                   [](LV2_Handle h) { Self(h)->Activate(); }, [](LV2_Handle h, uint32_t n) { Self(h)->Run(n); },
                   [](LV2_Handle h) { Self(h)->Deactivate(); }, [](LV2_Handle h) { delete Self(h); },
                   IPlugLV2::DSPExtensionData});
    }
    return d;
  }();
  return descriptors;
}

LV2UI_Handle InstantiateUI(const LV2UI_Descriptor*, const char* pluginURI, const char* bundlePath,
                           LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                           const LV2_Feature* const* features)
{
  int count = 0;
  const LV2Variant* variants = GetLV2Variants(count);
  bool ours = false;
  for (int i = 0; pluginURI && i < count; i++)
    ours = ours || !std::strcmp(pluginURI, variants[i].uri);
  if (!ours)
    return nullptr;
  std::unique_ptr<IPlugLV2> plug(Make());
  if (!plug || !plug->InstantiateUI(bundlePath, write, controller, widget, features))
    return nullptr;
  return plug.release();
}

const LV2UI_Descriptor& UIDescriptor()
{
  static const LV2UI_Descriptor descriptor = {
      GetLV2UIURI(),
      InstantiateUI,
      [](LV2UI_Handle h) { delete static_cast<IPlugLV2*>(h); },
      [](LV2UI_Handle h, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
      { static_cast<IPlugLV2*>(h)->PortEvent(port, size, format, buffer); },
      IPlugLV2::UIExtensionData,
  };
  return descriptor;
}
} // namespace

} // namespace iplug

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
  const auto& d = iplug::Descriptors();
  return index < d.size() ? &d[index] : nullptr;
}

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index)
{
  return index == 0 ? &iplug::UIDescriptor() : nullptr;
}
