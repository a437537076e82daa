#include "HostModule.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"

#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <strings.h>

using namespace Steinberg;

namespace brevant::host
{

namespace
{

using ModuleEntryFunc = bool (*)(void*);
using ModuleExitFunc = bool (*)();

std::string ArchFolder()
{
#if defined(__x86_64__)
  return "x86_64-linux";
#elif defined(__aarch64__)
  return "aarch64-linux";
#else
  return "unknown-linux";
#endif
}

std::string Text(const char* s, size_t size) { return std::string(s, strnlen(s, size)); }

} // namespace

bool ClassInfo::IsAudioEffect() const { return category == kVstAudioEffectClass; }

std::string ClassIdString(const TUID cid)
{
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < 16; ++i)
  {
    if (i > 0 && i % 4 == 0)
      out += '-';
    const auto byte = static_cast<unsigned char>(cid[i]);
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
  }
  return out;
}

std::shared_ptr<HostModule> HostModule::Load(const std::string& path, std::string& error)
{
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path bundle(path);
  if (path.empty() || !fs::exists(bundle, ec))
  {
    error = "bundle not found: " + path;
    return nullptr;
  }
  std::shared_ptr<HostModule> module(new HostModule);
  module->mPath = path;
  if (fs::is_directory(bundle, ec))
  {
    const std::string stem = bundle.filename().empty() ? bundle.parent_path().stem().string() : bundle.stem().string();
    const fs::path lib = bundle / "Contents" / ArchFolder() / (stem + ".so");
    if (!fs::is_regular_file(lib, ec))
    {
      error = "no module for this machine in bundle " + path + " (expected " + lib.string() + ")";
      return nullptr;
    }
    module->mLibraryPath = lib.string();
  }
  else
    module->mLibraryPath = path;

  module->mHandle = dlopen(module->mLibraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module->mHandle)
  {
    const char* why = dlerror();
    error = "cannot load " + module->mLibraryPath + ": " + (why ? why : "unknown error");
    return nullptr;
  }

  auto entry = reinterpret_cast<ModuleEntryFunc>(dlsym(module->mHandle, "ModuleEntry"));
  auto exit = reinterpret_cast<ModuleExitFunc>(dlsym(module->mHandle, "ModuleExit"));
  auto getFactory = reinterpret_cast<GetFactoryProc>(dlsym(module->mHandle, "GetPluginFactory"));
  if (!entry || !exit || !getFactory)
  {
    std::string missing;
    for (auto [name, found] : {std::pair{"ModuleEntry", entry != nullptr}, std::pair{"ModuleExit", exit != nullptr},
                               std::pair{"GetPluginFactory", getFactory != nullptr}})
    {
      if (!found)
        missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    error = "not a VST3 module: " + module->mLibraryPath + " does not export " + missing;
    return nullptr;
  }
  if (!entry(module->mHandle))
  {
    error = "the module's ModuleEntry failed: " + module->mLibraryPath;
    return nullptr;
  }
  module->mEntered = true;

  module->mFactory = getFactory();
  if (!module->mFactory)
  {
    error = "the module's GetPluginFactory returned no factory: " + module->mLibraryPath;
    return nullptr;
  }
  if (FUnknownPtr<IPluginFactory3> factory3(module->mFactory); factory3)
    factory3->setHostContext(static_cast<FUnknown*>(&Host()));
  if (!module->ReadClasses())
  {
    error = "cannot read the factory information of " + module->mLibraryPath;
    return nullptr;
  }
  return module;
}

HostApp& HostModule::Host()
{
  // Never destroyed: a factory or plug-in released late (even at exit) may still call it.
  static HostApp* host = new HostApp;
  return *host;
}

HostModule::~HostModule()
{
  if (mFactory)
    mFactory->release();
  mFactory = nullptr;
  if (mEntered)
  {
    if (auto exit = reinterpret_cast<ModuleExitFunc>(dlsym(mHandle, "ModuleExit")))
      exit();
  }
  if (mHandle)
    dlclose(mHandle);
}

bool HostModule::ReadClasses()
{
  PFactoryInfo fi;
  if (mFactory->getFactoryInfo(&fi) != kResultOk)
    return false;
  mFactoryInfo = {Text(fi.vendor, sizeof(fi.vendor)), Text(fi.url, sizeof(fi.url)), Text(fi.email, sizeof(fi.email)),
                  fi.flags};

  FUnknownPtr<IPluginFactory3> factory3(mFactory);
  FUnknownPtr<IPluginFactory2> factory2(mFactory);
  const int32 count = mFactory->countClasses();
  for (int32 i = 0; i < count; ++i)
  {
    ClassInfo info;
    info.index = i;
    PClassInfoW w;
    PClassInfo2 c2;
    PClassInfo c1;
    if (factory3 && factory3->getClassInfoUnicode(i, &w) == kResultOk)
    {
      memcpy(info.cid, w.cid, sizeof(TUID));
      info.cardinality = w.cardinality;
      info.category = Text(w.category, sizeof(w.category));
      info.name = ToUtf8(w.name, PClassInfo::kNameSize);
      info.classFlags = w.classFlags;
      info.subCategories = Text(w.subCategories, sizeof(w.subCategories));
      info.vendor = ToUtf8(w.vendor, PClassInfoW::kVendorSize);
      info.version = ToUtf8(w.version, PClassInfoW::kVersionSize);
      info.sdkVersion = ToUtf8(w.sdkVersion, PClassInfoW::kVersionSize);
    }
    else if (factory2 && factory2->getClassInfo2(i, &c2) == kResultOk)
    {
      memcpy(info.cid, c2.cid, sizeof(TUID));
      info.cardinality = c2.cardinality;
      info.category = Text(c2.category, sizeof(c2.category));
      info.name = Text(c2.name, sizeof(c2.name));
      info.classFlags = c2.classFlags;
      info.subCategories = Text(c2.subCategories, sizeof(c2.subCategories));
      info.vendor = Text(c2.vendor, sizeof(c2.vendor));
      info.version = Text(c2.version, sizeof(c2.version));
      info.sdkVersion = Text(c2.sdkVersion, sizeof(c2.sdkVersion));
    }
    else if (mFactory->getClassInfo(i, &c1) == kResultOk)
    {
      memcpy(info.cid, c1.cid, sizeof(TUID));
      info.cardinality = c1.cardinality;
      info.category = Text(c1.category, sizeof(c1.category));
      info.name = Text(c1.name, sizeof(c1.name));
    }
    else
      return false;
    mClasses.push_back(std::move(info));
  }
  return true;
}

std::vector<const ClassInfo*> HostModule::AudioEffects() const
{
  std::vector<const ClassInfo*> out;
  for (const auto& c : mClasses)
  {
    if (c.IsAudioEffect())
      out.push_back(&c);
  }
  return out;
}

const ClassInfo* HostModule::FindClass(const std::string& name) const
{
  for (const auto& c : mClasses)
  {
    if (c.name == name)
      return &c;
  }
  for (const auto& c : mClasses)
  {
    if (strcasecmp(c.name.c_str(), name.c_str()) == 0)
      return &c;
  }
  return nullptr;
}

} // namespace brevant::host
