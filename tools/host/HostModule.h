// A loaded VST3 module: the bundle's shared library opened with dlopen and entered through the Linux entry
// points (ModuleEntry before GetPluginFactory, ModuleExit before dlclose), with its class factory.
#pragma once

#include "HostObjects.h"

#include "pluginterfaces/base/ipluginbase.h"

#include <memory>
#include <string>
#include <vector>

namespace brevant::host
{

struct FactoryInfo
{
  std::string vendor, url, email;
  Steinberg::int32 flags = 0;
};

struct ClassInfo
{
  int index = 0;                       // in the factory
  alignas(8) Steinberg::TUID cid = {}; // SDK code compares IDs as 64-bit words
  std::string category, name, subCategories, vendor, version, sdkVersion;
  Steinberg::int32 cardinality = 0;
  Steinberg::uint32 classFlags = 0;

  bool IsAudioEffect() const;
};

// Class ID as four big-endian 32-bit words, e.g. "F2AEE70D-00DE4F4E-516C6D72-42525631".
std::string ClassIdString(const Steinberg::TUID cid);

class HostModule
{
public:
  // path: a bundle folder ("Name.vst3", holding Contents/x86_64-linux/Name.so) or the shared library itself.
  // Null with a message in `error` when the path is missing, the library does not load, lacks the entry points,
  // or its ModuleEntry or factory fails.
  static std::shared_ptr<HostModule> Load(const std::string& path, std::string& error);
  ~HostModule();

  HostModule(const HostModule&) = delete;
  HostModule& operator=(const HostModule&) = delete;

  const std::string& Path() const { return mPath; }
  const std::string& LibraryPath() const { return mLibraryPath; }
  Steinberg::IPluginFactory* Factory() const { return mFactory; }
  const FactoryInfo& GetFactoryInfo() const { return mFactoryInfo; }
  const std::vector<ClassInfo>& Classes() const { return mClasses; }
  // Classes of category "Audio Module Class", in factory order.
  std::vector<const ClassInfo*> AudioEffects() const;
  // A class by name (exact, else ignoring case); null when there is none.
  const ClassInfo* FindClass(const std::string& name) const;
  // The host context given to the factory and to every instance. One per process: loading a library twice
  // yields the same factory, which keeps the context it was last given.
  static HostApp& Host();

private:
  HostModule() = default;
  bool ReadClasses();

  std::string mPath;
  std::string mLibraryPath;
  void* mHandle = nullptr;
  bool mEntered = false;
  Steinberg::IPluginFactory* mFactory = nullptr;
  FactoryInfo mFactoryInfo;
  std::vector<ClassInfo> mClasses;
};

} // namespace brevant::host
