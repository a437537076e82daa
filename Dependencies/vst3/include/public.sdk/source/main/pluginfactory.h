// Class factory a module hands to the host from GetPluginFactory. Same class name, header path, API and
// factory-definition macros as the SDK's own, which the packaged SDK subset lacks.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/vsttypes.h"

#include <vector>

namespace Steinberg
{

class CPluginFactory : public IPluginFactory3
{
public:
  using CreateFunc = FUnknown* (*)(void* context);

  explicit CPluginFactory(const PFactoryInfo& info);
  virtual ~CPluginFactory();

  // Registering keeps a copy of the record; a class ID registered before is refused (false).
  bool registerClass(const PClassInfo* info, CreateFunc createFunc, void* context = nullptr);
  bool registerClass(const PClassInfo2* info, CreateFunc createFunc, void* context = nullptr);
  bool registerClass(const PClassInfoW* info, CreateFunc createFunc, void* context = nullptr);
  bool isClassRegistered(const FUID& cid);
  void removeAllClasses();

  DECLARE_FUNKNOWN_METHODS

  //--- IPluginFactory
  tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) SMTG_OVERRIDE;
  int32 PLUGIN_API countClasses() SMTG_OVERRIDE;
  tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) SMTG_OVERRIDE;
  tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) SMTG_OVERRIDE;
  //--- IPluginFactory2
  tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) SMTG_OVERRIDE;
  //--- IPluginFactory3
  tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) SMTG_OVERRIDE;
  tresult PLUGIN_API setHostContext(FUnknown* context) SMTG_OVERRIDE;

  FUnknown* getHostContext() const { return hostContext; }

protected:
  // Every class is kept in both forms so each getClassInfo variant answers for every class.
  struct PClassEntry
  {
    PClassInfo2 info8;
    PClassInfoW info16;
    CreateFunc createFunc = nullptr;
    void* context = nullptr;
  };

  bool addEntry(const PClassEntry& entry);

  PFactoryInfo factoryInfo;
  std::vector<PClassEntry> classes;
  FUnknown* hostContext = nullptr;
};

// The module's factory; GetPluginFactory creates it once and hands out references. Cleared when it is destroyed.
extern CPluginFactory* gPluginFactory;

} // namespace Steinberg

//--- Factory-definition helpers: BEGIN_FACTORY_DEF … DEF_CLASS2 … END_FACTORY defines GetPluginFactory.

#define BEGIN_FACTORY(vendor, url, email, flags)                                                                       \
  using namespace Steinberg;                                                                                           \
  extern "C" SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory()                                          \
  {                                                                                                                    \
    if (!gPluginFactory)                                                                                               \
    {                                                                                                                  \
      static PFactoryInfo factoryInfo(vendor, url, email, flags);                                                      \
      gPluginFactory = new CPluginFactory(factoryInfo);

#define BEGIN_FACTORY_DEF(vendor, url, email) BEGIN_FACTORY(vendor, url, email, PFactoryInfo::kUnicode)

#define DEF_CLASS(cid, cardinality, category, name, createMethod)                                                      \
  {                                                                                                                    \
    TUID lcid = cid;                                                                                                   \
    static PClassInfo componentClass(lcid, cardinality, category, name);                                               \
    gPluginFactory->registerClass(&componentClass, createMethod);                                                      \
  }

#define DEF_CLASS1(cid, cardinality, category, name, createMethod)                                                     \
  {                                                                                                                    \
    static PClassInfo componentClass(cid, cardinality, category, name);                                                \
    gPluginFactory->registerClass(&componentClass, createMethod);                                                      \
  }

#define DEF_CLASS2(cid, cardinality, category, name, classFlags, subCategories, version, sdkVersion, createMethod)     \
  {                                                                                                                    \
    TUID lcid = cid;                                                                                                   \
    static PClassInfo2 componentClass(lcid, cardinality, category, name, classFlags, subCategories, nullptr, version,  \
                                      sdkVersion);                                                                     \
    gPluginFactory->registerClass(&componentClass, createMethod);                                                      \
  }

#define DEF_CLASS_W(cid, cardinality, category, name, classFlags, subCategories, version, sdkVersion, createMethod)    \
  {                                                                                                                    \
    TUID lcid = cid;                                                                                                   \
    static PClassInfoW componentClass(lcid, cardinality, category, name, classFlags, subCategories, nullptr, version,  \
                                      sdkVersion);                                                                     \
    gPluginFactory->registerClass(&componentClass, createMethod);                                                      \
  }

#define END_FACTORY                                                                                                    \
  }                                                                                                                    \
  else gPluginFactory->addRef();                                                                                       \
  return gPluginFactory;                                                                                               \
  }
