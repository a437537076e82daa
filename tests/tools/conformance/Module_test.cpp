// The module and its factory as a host scans them: entry points, factory and class information in every form,
// instance creation, and loading the module again and again.

#include "Conformance.h"

#include "pluginterfaces/base/ipluginbase.h"

#include <cmath>
#include <cstring>
#include <dlfcn.h>

using namespace conformance;

namespace
{
std::string Narrow(const char16* s, size_t max) { return brevant::host::ToUtf8(s, max); }
std::string Text(const char* s, size_t max) { return std::string(s, strnlen(s, max)); }

const std::string kLibrary = std::string(BREVANT_BUNDLE_DIR) + "/Contents/x86_64-linux/Brevant.so";
} // namespace

TEST(ConformanceModule, FactoryAndClassInformationAgreeInEveryForm)
{
  auto module = Module();
  ASSERT_TRUE(module);
  IPluginFactory* factory = module->Factory();

  PFactoryInfo info{};
  ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
  EXPECT_EQ(Text(info.vendor, sizeof(info.vendor)), "Quillmere");
  EXPECT_NE(Text(info.url, sizeof(info.url)).find("://"), std::string::npos);
  EXPECT_NE(Text(info.email, sizeof(info.email)).find('@'), std::string::npos);
  EXPECT_EQ(info.flags & PFactoryInfo::kUnicode, PFactoryInfo::kUnicode);
  EXPECT_EQ(factory->getFactoryInfo(nullptr), kInvalidArgument);

  FUnknownPtr<IPluginFactory2> factory2(factory);
  FUnknownPtr<IPluginFactory3> factory3(factory);
  ASSERT_TRUE(factory2 && factory3);
  ASSERT_EQ(factory->countClasses(), 1);

  PClassInfo c1{};
  PClassInfo2 c2{};
  PClassInfoW cw{};
  ASSERT_EQ(factory->getClassInfo(0, &c1), kResultOk);
  ASSERT_EQ(factory2->getClassInfo2(0, &c2), kResultOk);
  ASSERT_EQ(factory3->getClassInfoUnicode(0, &cw), kResultOk);

  EXPECT_EQ(brevant::host::ClassIdString(c1.cid), "F2AEE70D-00DE4F4E-516C6D72-42525631");
  EXPECT_EQ(std::memcmp(c1.cid, c2.cid, 16), 0);
  EXPECT_EQ(std::memcmp(c1.cid, cw.cid, 16), 0);
  for (int32 cardinality : {c1.cardinality, c2.cardinality, cw.cardinality})
    EXPECT_EQ(cardinality, PClassInfo::kManyInstances);
  for (const char* category : {c1.category, c2.category, cw.category})
    EXPECT_EQ(Text(category, PClassInfo::kCategorySize), "Audio Module Class");
  EXPECT_EQ(Text(c1.name, PClassInfo::kNameSize), "Brevant");
  EXPECT_EQ(Text(c2.name, PClassInfo::kNameSize), "Brevant");
  EXPECT_EQ(Narrow(cw.name, PClassInfo::kNameSize), "Brevant");
  EXPECT_EQ(c2.classFlags, cw.classFlags);
  EXPECT_EQ(Text(c2.subCategories, PClassInfo2::kSubCategoriesSize), "Fx|Dynamics");
  EXPECT_EQ(Text(cw.subCategories, PClassInfoW::kSubCategoriesSize), "Fx|Dynamics");
  // An empty class vendor defers to the factory's.
  EXPECT_EQ(Text(c2.vendor, PClassInfo2::kVendorSize), Narrow(cw.vendor, PClassInfoW::kVendorSize));
  EXPECT_EQ(Text(c2.version, PClassInfo2::kVersionSize), "1.0.0");
  EXPECT_EQ(Narrow(cw.version, PClassInfoW::kVersionSize), "1.0.0");
  const std::string sdk = Text(c2.sdkVersion, PClassInfo2::kVersionSize);
  EXPECT_EQ(sdk.rfind("VST 3.", 0), 0u) << sdk;
  EXPECT_EQ(Narrow(cw.sdkVersion, PClassInfoW::kVersionSize), sdk);

  for (int32 bad : {-1, 1, 1000})
  {
    EXPECT_NE(factory->getClassInfo(bad, &c1), kResultOk);
    EXPECT_NE(factory2->getClassInfo2(bad, &c2), kResultOk);
    EXPECT_NE(factory3->getClassInfoUnicode(bad, &cw), kResultOk);
  }
}

TEST(ConformanceModule, CreateInstanceGivesOneObjectBehindEveryInterfaceAndRefusesTheRest)
{
  auto module = Module();
  ASSERT_TRUE(module);
  IPluginFactory* factory = module->Factory();
  const auto& cid = module->Classes().front().cid;

  FUnknown* objects[3] = {};
  const FUID* iids[3] = {&IComponent::iid, &IAudioProcessor::iid, &IEditController::iid};
  for (int i = 0; i < 3; i++)
  {
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(cid, iids[i]->toTUID(), &obj), kResultOk);
    // Each creation makes a new object; asked for FUnknown, each answers with one identity.
    FUnknown* unknown = nullptr;
    static_cast<FUnknown*>(obj)->queryInterface(FUnknown::iid, reinterpret_cast<void**>(&unknown));
    ASSERT_NE(unknown, nullptr);
    objects[i] = unknown;
    static_cast<FUnknown*>(obj)->release();
  }
  EXPECT_NE(objects[0], objects[1]);
  for (auto* o : objects)
    o->release();

  Instance plug(false);
  ASSERT_TRUE(plug.Valid());
  FUnknownPtr<IComponent> fromController(plug.controller);
  FUnknownPtr<IEditController> fromProcessor(plug.processor);
  EXPECT_EQ(fromController.getInterface(), plug.component);
  EXPECT_EQ(fromProcessor.getInterface(), plug.controller);

  void* obj = reinterpret_cast<void*>(0x1);
  TUID unknownClass = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_NE(factory->createInstance(unknownClass, IComponent::iid, &obj), kResultOk);
  EXPECT_EQ(obj, nullptr);
  obj = reinterpret_cast<void*>(0x1);
  EXPECT_NE(factory->createInstance(cid, IPluginFactory::iid, &obj), kResultOk);
  EXPECT_EQ(obj, nullptr);
  EXPECT_NE(factory->createInstance(nullptr, IComponent::iid, &obj), kResultOk);
  EXPECT_NE(factory->createInstance(cid, nullptr, &obj), kResultOk);
  EXPECT_NE(factory->createInstance(cid, IComponent::iid, nullptr), kResultOk);
}

TEST(ConformanceModule, EntryAndExitAreCountedAndTheFactoryIsShared)
{
  void* lib = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto entry = reinterpret_cast<bool (*)(void*)>(dlsym(lib, "ModuleEntry"));
  auto exit = reinterpret_cast<bool (*)()>(dlsym(lib, "ModuleExit"));
  auto getFactory = reinterpret_cast<GetFactoryProc>(dlsym(lib, "GetPluginFactory"));
  ASSERT_TRUE(entry && exit && getFactory);

  // The module may be entered already (the run's shared load): entries and exits pair up on top of that.
  ASSERT_TRUE(entry(lib));
  ASSERT_TRUE(entry(lib));
  IPluginFactory* a = getFactory();
  IPluginFactory* b = getFactory();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->countClasses(), 1) << "registered once";
  b->release();
  a->release();
  EXPECT_TRUE(exit());
  EXPECT_TRUE(exit());
  dlclose(lib);
}

TEST(ConformanceModule, LoadsAgainAndAgainWithFreshStaticState)
{
  // Released completely and loaded again, as hosts do when rescanning: every round behaves like the first, and a
  // module nobody else holds really leaves the process (no thread or registration of it stays behind).
  for (int round = 0; round < 4; round++)
  {
    void* resident = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (resident)
      dlclose(resident);

    std::string error;
    auto module = HostModule::Load(BREVANT_BUNDLE_DIR, error);
    ASSERT_TRUE(module) << error;
    ASSERT_EQ(module->Classes().size(), 1u);
    {
      auto plug = HostedPlugin::Create(module, error);
      ASSERT_TRUE(plug) << error;
      ASSERT_TRUE(plug->Setup(48000.0, 256, kSample32));
      ASSERT_TRUE(plug->Start());
      std::vector<float> l(256, 0.25f), r(256, -0.25f), ol(256), or_(256);
      float* in[2] = {l.data(), r.data()};
      float* out[2] = {ol.data(), or_.data()};
      ASSERT_TRUE(plug->Process(256, in, out));
      EXPECT_TRUE(std::isfinite(ol[255]) && std::isfinite(or_[255]));
      plug->Stop();
      std::vector<uint8_t> state;
      ASSERT_TRUE(plug->GetState(state));
      EXPECT_TRUE(plug->SetState(state));
    }
    module.reset();

    void* after = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (!resident)
    {
      EXPECT_EQ(after, nullptr) << "the module stayed in memory after round " << round;
    }
    if (after)
      dlclose(after);
  }
}
