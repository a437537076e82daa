// The built bundle, loaded the way a host loads it: dlopen, ModuleEntry, the factory, one instance through a
// block of audio and a state round trip, then ModuleExit.

#include "VST3TestHost.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "public.sdk/source/common/memorystream.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace vst3test;

TEST(BrevantModule, LoadsAndRunsLikeInAHost)
{
  const std::string path = std::string(BREVANT_BUNDLE_DIR) + "/Contents/x86_64-linux/Brevant.so";
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();

  using EntryFunc = bool (*)(void*);
  using ExitFunc = bool (*)();
  using FactoryFunc = IPluginFactory*(PLUGIN_API*)();
  auto entry = reinterpret_cast<EntryFunc>(dlsym(lib, "ModuleEntry"));
  auto exit = reinterpret_cast<ExitFunc>(dlsym(lib, "ModuleExit"));
  auto getFactory = reinterpret_cast<FactoryFunc>(dlsym(lib, "GetPluginFactory"));
  ASSERT_TRUE(entry && exit && getFactory);
  // Nothing else is visible to the host.
  EXPECT_EQ(dlsym(lib, "InitModule"), nullptr);
  EXPECT_EQ(dlsym(lib, "gPluginFactory"), nullptr);

  ASSERT_TRUE(entry(lib));
  {
    IPluginFactory* factory = getFactory();
    ASSERT_NE(factory, nullptr);
    PClassInfo info{};
    ASSERT_EQ(factory->getClassInfo(0, &info), kResultOk);
    EXPECT_STREQ(info.name, "Brevant");

    IComponent* component = nullptr;
    ASSERT_EQ(factory->createInstance(info.cid, IComponent::iid, reinterpret_cast<void**>(&component)), kResultOk);
    HostApplication host("Brevant Module Test");
    ASSERT_EQ(component->initialize(&host), kResultOk);
    FUnknownPtr<IAudioProcessor> processor(component);
    FUnknownPtr<IEditController> controller(component);
    ASSERT_TRUE(processor && controller);
    EXPECT_EQ(controller->getParameterCount(), 32);

    ProcessSetup setup{kRealtime, kSample32, 128, 44100.0};
    ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
    component->activateBus(kAudio, kInput, 0, true);
    component->activateBus(kAudio, kOutput, 0, true);
    component->setActive(true);
    processor->setProcessing(true);
    Buses<float> in({2}, 128), out({2}, 128);
    in.Fill(0.5f);
    ProcessData data = MakeProcessData(in, out, 128);
    EXPECT_EQ(processor->process(data), kResultOk);
    // Processed: the input band-pass starts taking the constant away.
    EXPECT_TRUE(std::isfinite(out.at(0, 1, 127)));
    EXPECT_LT(out.at(0, 1, 127), 0.49f);
    processor->setProcessing(false);
    component->setActive(false);

    MemoryStream stream;
    ASSERT_EQ(component->getState(&stream), kResultOk);
    EXPECT_EQ(stream.getSize(), 264);
    stream.seek(0, IBStream::kIBSeekSet, nullptr);
    EXPECT_EQ(component->setState(&stream), kResultOk);

    component->terminate();
    EXPECT_EQ(component->release(), 2u); // the two interface pointers still held
  }
  EXPECT_TRUE(exit());
  EXPECT_FALSE(exit()); // unbalanced
  dlclose(lib);
}
