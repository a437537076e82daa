#include "IPlugVST3_Factory.h"

#include "IPlugVST3.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "public.sdk/source/main/pluginfactory.h"

#include <new>

using namespace Steinberg;

namespace iplug
{

void MakeVST3ClassID(int mfrID, int uniqueID, TUID cid)
{
  const uint32 words[4] = {0xF2AEE70D, 0x00DE4F4E, static_cast<uint32>(mfrID), static_cast<uint32>(uniqueID)};
  const FUID fuid(words[0], words[1], words[2], words[3]);
  const uint32 longs[4] = {fuid.getLong1(), fuid.getLong2(), fuid.getLong3(), fuid.getLong4()};
  for (int w = 0; w < 4; w++)
  {
    for (int b = 0; b < 4; b++)
      cid[w * 4 + b] = static_cast<char>((longs[w] >> (24 - 8 * b)) & 0xFF);
  }
}

IPluginFactory* GetVST3PluginFactory(const VST3ClassDescription& description, FUnknown* (*createFunc)(void*))
{
  if (gPluginFactory)
  {
    gPluginFactory->addRef();
    return gPluginFactory;
  }

  static PFactoryInfo factoryInfo(description.vendor, description.url, description.email, PFactoryInfo::kUnicode);
  gPluginFactory = new CPluginFactory(factoryInfo);

  TUID cid;
  MakeVST3ClassID(description.mfrID, description.uniqueID, cid);

  static const PClassInfo2 classInfo(cid, PClassInfo::kManyInstances, kVstAudioEffectClass, description.name,
                                     Vst::kSimpleModeSupported, description.subCategories, nullptr, description.version,
                                     kVST3SDKVersionStr);

  gPluginFactory->registerClass(&classInfo, createFunc, nullptr);
  return gPluginFactory;
}

FUnknown* CreateVST3Instance(void*)
{
  // An exception must not cross into the host: a constructor that fails yields no instance.
  try
  {
    IPlugVST3* plug = MakePlug(InstanceInfo());
    return static_cast<Vst::IAudioProcessor*>(plug);
  }
  catch (...)
  {
    return nullptr;
  }
}

} // namespace iplug
