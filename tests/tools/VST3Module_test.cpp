// The SDK helper classes (class factory, Linux module entry, single-component effect) as a host sees them
// through the built test module.
#include "HostObjects.h"
#include "TestGainIDs.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{

const FUID kSingleUID(0x7E570001, 0x3A1B4C2D, 0x8E9FA0B1, 0xC2D3E4F5);

class VST3Module : public ::testing::Test
{
protected:
  void SetUp() override
  {
    mHandle = dlopen(TESTGAIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(mHandle, nullptr) << dlerror();
    mEntry = reinterpret_cast<bool (*)(void*)>(dlsym(mHandle, "ModuleEntry"));
    mExit = reinterpret_cast<bool (*)()>(dlsym(mHandle, "ModuleExit"));
    mGetFactory = reinterpret_cast<GetFactoryProc>(dlsym(mHandle, "GetPluginFactory"));
    ASSERT_TRUE(mEntry && mExit && mGetFactory);
    ASSERT_TRUE(mEntry(mHandle));
  }
  void TearDown() override
  {
    if (mExit)
    {
      EXPECT_TRUE(mExit());
    }
    if (mHandle)
      dlclose(mHandle);
  }

  void* mHandle = nullptr;
  bool (*mEntry)(void*) = nullptr;
  bool (*mExit)() = nullptr;
  GetFactoryProc mGetFactory = nullptr;
};

std::string Narrow(const char16* s)
{
  std::string out;
  for (; *s; ++s)
    out += static_cast<char>(*s);
  return out;
}

TEST_F(VST3Module, ExportsOnlyTheEntryPoints)
{
  // Everything else, the factory global and the module's own functions included, stays hidden.
  for (const char* hidden : {"_ZN9Steinberg14gPluginFactoryE", "_Z10InitModulev", "_Z12DeinitModulev", "moduleHandle",
                             "_ZN9Steinberg7FObject7addRefEv"})
    EXPECT_EQ(dlsym(mHandle, hidden), nullptr) << hidden;
}

TEST(VST3Bundle, HasTheLinuxLayout)
{
  namespace fs = std::filesystem;
  const fs::path bundle(TESTGAIN_BUNDLE);
  EXPECT_EQ(bundle.filename(), "TestGain.vst3");
  EXPECT_TRUE(fs::equivalent(bundle / "Contents" / "x86_64-linux" / "TestGain.so", TESTGAIN_LIBRARY));
  EXPECT_TRUE(fs::is_regular_file(bundle / "Contents" / "Resources" / "TestGain.txt"));
}

TEST_F(VST3Module, EntryAndExitAreCounted)
{
  EXPECT_TRUE(mEntry(mHandle));
  EXPECT_TRUE(mExit());
  EXPECT_TRUE(mExit()); // balances SetUp's entry
  EXPECT_FALSE(mExit()) << "an exit without an entry must fail, not drive the count below zero";
  EXPECT_TRUE(mEntry(mHandle)); // and the module can be entered again
}

TEST_F(VST3Module, FactoryIsSharedAndRegistersOnce)
{
  IPluginFactory* first = mGetFactory();
  IPluginFactory* second = mGetFactory();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->addRef(), 3u); // two GetPluginFactory references plus this one
  first->release();
  EXPECT_EQ(first->countClasses(), 3);
  second->release();
  first->release();

  // Once released the factory is gone; a new one is built with the classes registered once again.
  IPluginFactory* fresh = mGetFactory();
  EXPECT_EQ(fresh->countClasses(), 3);
  EXPECT_EQ(fresh->release(), 0u);
}

TEST_F(VST3Module, ClassInformationAgreesInEveryForm)
{
  IPtr<IPluginFactory> factory = owned(mGetFactory());
  FUnknownPtr<IPluginFactory3> factory3(factory);
  ASSERT_TRUE(factory3);

  PFactoryInfo fi;
  ASSERT_EQ(factory->getFactoryInfo(&fi), kResultOk);
  EXPECT_STREQ(fi.vendor, "Brevant Tests");
  EXPECT_EQ(fi.flags, PFactoryInfo::kUnicode);

  for (int32 i = 0; i < factory->countClasses(); ++i)
  {
    PClassInfo c1;
    PClassInfo2 c2;
    PClassInfoW w;
    ASSERT_EQ(factory->getClassInfo(i, &c1), kResultOk);
    ASSERT_EQ(factory3->getClassInfo2(i, &c2), kResultOk);
    ASSERT_EQ(factory3->getClassInfoUnicode(i, &w), kResultOk);
    EXPECT_EQ(memcmp(c1.cid, c2.cid, sizeof(TUID)), 0);
    EXPECT_EQ(memcmp(w.cid, c2.cid, sizeof(TUID)), 0);
    EXPECT_STREQ(c1.name, c2.name);
    EXPECT_EQ(Narrow(w.name), c2.name);
    EXPECT_STREQ(w.category, c2.category);
    EXPECT_STREQ(w.subCategories, c2.subCategories);
    EXPECT_EQ(Narrow(w.version), c2.version);
    EXPECT_EQ(Narrow(w.sdkVersion), c2.sdkVersion);
    EXPECT_EQ(w.classFlags, c2.classFlags);
    EXPECT_EQ(w.cardinality, PClassInfo::kManyInstances);
  }
  PClassInfo2 c2;
  EXPECT_EQ(factory3->getClassInfo2(3, &c2), kInvalidArgument);
  EXPECT_EQ(factory3->getClassInfo2(-1, &c2), kInvalidArgument);
  EXPECT_EQ(factory3->getClassInfo2(0, nullptr), kInvalidArgument);
}

TEST_F(VST3Module, CreateInstanceChecksItsArguments)
{
  IPtr<IPluginFactory> factory = owned(mGetFactory());
  void* obj = reinterpret_cast<void*>(1);
  const TUID unknown = INLINE_UID(1, 2, 3, 4);
  EXPECT_EQ(factory->createInstance(unknown, IComponent::iid, &obj), kNoInterface);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(factory->createInstance(kSingleUID, IComponent::iid, nullptr), kInvalidArgument);
  // An interface the class lacks: nothing returned, nothing leaked.
  EXPECT_EQ(factory->createInstance(kSingleUID, IPluginFactory::iid, &obj), kNoInterface);
  EXPECT_EQ(obj, nullptr);
}

TEST_F(VST3Module, SingleComponentIsOneObjectBehindEveryInterface)
{
  IPtr<IPluginFactory> factory = owned(mGetFactory());
  auto create = [&](const TUID iid)
  {
    FUnknown* obj = nullptr;
    EXPECT_EQ(factory->createInstance(kSingleUID, iid, reinterpret_cast<void**>(&obj)), kResultOk);
    return owned(obj);
  };
  auto component = create(IComponent::iid);
  ASSERT_TRUE(component);
  auto identity = [](FUnknown* u)
  {
    FUnknown* id = nullptr;
    u->queryInterface(FUnknown::iid, reinterpret_cast<void**>(&id));
    return owned(id).get();
  };
  // Each interface of one instance leads back to the same object.
  const TUID* iids[] = {&IComponent::iid.toTUID(),      &IAudioProcessor::iid.toTUID(),
                        &IEditController::iid.toTUID(), &IEditController2::iid.toTUID(),
                        &IPluginBase::iid.toTUID(),     &IConnectionPoint::iid.toTUID(),
                        &IUnitInfo::iid.toTUID(),       &IProcessContextRequirements::iid.toTUID()};
  for (const TUID* iid : iids)
  {
    FUnknown* itf = nullptr;
    ASSERT_EQ(component->queryInterface(*iid, reinterpret_cast<void**>(&itf)), kResultOk);
    EXPECT_EQ(identity(itf), identity(component));
    itf->release();
  }
  // The factory hands out a new instance per call.
  auto processor = create(IAudioProcessor::iid);
  auto controller = create(IEditController::iid);
  EXPECT_NE(identity(processor), identity(component));
  EXPECT_NE(identity(controller), identity(processor));

  // initialize and terminate act once on the shared base, through either interface.
  FUnknownPtr<IEditController> asController(component);
  FUnknownPtr<IComponent> comp(component);
  brevant::host::HostApp host;
  EXPECT_EQ(comp->initialize(&host), kResultOk);
  EXPECT_EQ(asController->initialize(&host), kResultFalse) << "already initialized";
  EXPECT_EQ(comp->getBusCount(kAudio, kInput), 2);
  EXPECT_EQ(asController->getParameterCount(), 3);
  EXPECT_EQ(asController->terminate(), kResultOk);
  EXPECT_EQ(comp->getBusCount(kAudio, kInput), 0);
  EXPECT_EQ(asController->getParameterCount(), 0);
}

TEST_F(VST3Module, SingleComponentDefaults)
{
  IPtr<IPluginFactory> factory = owned(mGetFactory());
  IComponent* raw = nullptr;
  ASSERT_EQ(factory->createInstance(kSingleUID, IComponent::iid, reinterpret_cast<void**>(&raw)), kResultOk);
  IPtr<IComponent> component = owned(raw);
  FUnknownPtr<IAudioProcessor> processor(component);
  ASSERT_EQ(component->initialize(nullptr), kResultOk);

  BusInfo info{};
  EXPECT_EQ(component->getBusInfo(kAudio, kInput, 1, info), kResultOk);
  EXPECT_EQ(info.busType, kAux);
  EXPECT_EQ(info.flags, 0u);
  EXPECT_EQ(info.channelCount, 2);
  EXPECT_EQ(component->getBusInfo(kAudio, kInput, 2, info), kInvalidArgument);
  EXPECT_EQ(component->getBusInfo(kAudio, kOutput, -1, info), kInvalidArgument);
  EXPECT_EQ(component->activateBus(kAudio, kInput, 5, true), kInvalidArgument);
  EXPECT_EQ(component->getBusCount(kEvent, kInput), 0);
  TUID cid;
  EXPECT_NE(component->getControllerClassId(cid), kResultOk) << "a single component is its own controller";

  EXPECT_EQ(processor->canProcessSampleSize(kSample32), kResultTrue);
  EXPECT_EQ(processor->canProcessSampleSize(kSample64), kResultTrue);
  EXPECT_EQ(processor->canProcessSampleSize(2), kResultFalse);
  ProcessSetup bad{kRealtime, 7, 512, 48000.0};
  EXPECT_EQ(processor->setupProcessing(bad), kResultFalse);

  // Accepted arrangements are stored on the buses; more arrangements than buses are refused.
  SpeakerArrangement mono = SpeakerArr::kMono;
  SpeakerArrangement ins[] = {mono, mono, mono};
  EXPECT_EQ(processor->setBusArrangements(ins, 3, &mono, 1), kResultFalse);
  EXPECT_EQ(processor->setBusArrangements(ins, 2, &mono, 1), kResultTrue);
  SpeakerArrangement arr = 0;
  EXPECT_EQ(processor->getBusArrangement(kInput, 1, arr), kResultTrue);
  EXPECT_EQ(arr, SpeakerArr::kMono);
  EXPECT_EQ(processor->getBusArrangement(kOutput, 1, arr), kInvalidArgument);
  EXPECT_EQ(component->terminate(), kResultOk);
}

} // namespace
