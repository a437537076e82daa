// What a host learns about Brevant before and right after creating it: the factory's class, the host
// parameters and the buses.

#include "Brevant.h"
#include "VST3TestHost.h"

#include "pluginterfaces/base/ipluginbase.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace vst3test;

extern "C" IPluginFactory* PLUGIN_API GetPluginFactory();

namespace
{
struct Instance
{
  Instance() : plug(new Brevant(iplug::InstanceInfo())) { plug->initialize(&host); }
  ~Instance()
  {
    plug->terminate();
    plug->release();
  }
  Brevant* operator->() { return plug; }
  HostApplication host;
  Brevant* plug;
};
} // namespace

TEST(BrevantIdentity, FactoryAdvertisesOneEffectClass)
{
  IPluginFactory* factory = GetPluginFactory();
  ASSERT_NE(factory, nullptr);
  IPluginFactory* again = GetPluginFactory();
  EXPECT_EQ(factory, again);
  again->release();

  PFactoryInfo finfo{};
  ASSERT_EQ(factory->getFactoryInfo(&finfo), kResultOk);
  EXPECT_STREQ(finfo.vendor, "Quillmere");
  EXPECT_STREQ(finfo.url, "https://quillmere.example/brevant");
  EXPECT_STREQ(finfo.email, "support@quillmere.example");
  EXPECT_EQ(finfo.flags, 16);

  ASSERT_EQ(factory->countClasses(), 1);
  FUnknownPtr<IPluginFactory2> factory2(factory);
  FUnknownPtr<IPluginFactory3> factory3(factory);
  ASSERT_TRUE(factory2 && factory3);
  PClassInfo2 info{};
  ASSERT_EQ(factory2->getClassInfo2(0, &info), kResultOk);
  const uint8_t cid[16] = {0xF2, 0xAE, 0xE7, 0x0D, 0x00, 0xDE, 0x4F, 0x4E,
                           0x51, 0x6C, 0x6D, 0x72, 0x42, 0x52, 0x56, 0x31};
  EXPECT_EQ(std::memcmp(info.cid, cid, 16), 0);
  EXPECT_EQ(info.cardinality, PClassInfo::kManyInstances);
  EXPECT_STREQ(info.category, "Audio Module Class");
  EXPECT_STREQ(info.name, "Brevant");
  EXPECT_EQ(info.classFlags, 2u);
  EXPECT_STREQ(info.subCategories, "Fx|Dynamics");
  EXPECT_STREQ(info.vendor, "");
  EXPECT_STREQ(info.version, "1.0.0");
  EXPECT_STREQ(info.sdkVersion, "VST 3.7.6");

  PClassInfoW winfo{};
  ASSERT_EQ(factory3->getClassInfoUnicode(0, &winfo), kResultOk);
  EXPECT_EQ(std::memcmp(winfo.cid, cid, 16), 0);
  EXPECT_EQ(ToAscii(winfo.name), "Brevant");
  EXPECT_EQ(ToAscii(winfo.version), "1.0.0");
  EXPECT_EQ(ToAscii(winfo.sdkVersion), "VST 3.7.6");
  EXPECT_STREQ(winfo.subCategories, "Fx|Dynamics");

  // One object whichever role the host asks for.
  FUnknown* objs[3] = {};
  const FUID* iids[3] = {&IComponent::iid, &IAudioProcessor::iid, &IEditController::iid};
  for (int i = 0; i < 3; i++)
  {
    ASSERT_EQ(factory->createInstance(info.cid, iids[i]->toTUID(), reinterpret_cast<void**>(&objs[i])), kResultOk);
    auto* plug = dynamic_cast<Brevant*>(objs[i]);
    ASSERT_NE(plug, nullptr);
    FUnknownPtr<IEditController> controller(objs[i]);
    FUnknownPtr<IComponent> component(objs[i]);
    EXPECT_EQ(dynamic_cast<Brevant*>(controller.getInterface()), plug);
    EXPECT_EQ(dynamic_cast<Brevant*>(component.getInterface()), plug);
  }
  for (FUnknown* obj : objs)
    obj->release();
  factory->release();
}

TEST(BrevantIdentity, HostParameters)
{
  Instance b;
  ASSERT_EQ(b->getParameterCount(), 32);

  struct Expected
  {
    const char* title;
    const char* units;
    int32 stepCount;
    double defaultNormalized;
  };
  // By parameter index; the meter channels are untitled continuous values.
  const double kPow2Attack = std::sqrt((10. - 1.) / 49.);
  const double kPow2Release = std::sqrt(300. / 2900.);
  const Expected expected[31] = {{"Low Attack", "ms", 0, kPow2Attack},
                                 {"Low Release", "ms", 0, kPow2Release},
                                 {"Low Input", "dB", 0, 0.0},
                                 {"Low Output", "dB", 0, 0.0},
                                 {"Low Mix", "%", 0, 1.0},
                                 {"Mid Attack", "ms", 0, kPow2Attack},
                                 {"Mid Release", "ms", 0, kPow2Release},
                                 {"Mid Input", "dB", 0, 0.0},
                                 {"Mid Output", "dB", 0, 0.0},
                                 {"Mid Mix", "%", 0, 1.0},
                                 {"High Attack", "ms", 0, kPow2Attack},
                                 {"High Release", "ms", 0, kPow2Release},
                                 {"High Input", "dB", 0, 0.0},
                                 {"High Output", "dB", 0, 0.0},
                                 {"High Mix", "%", 0, 1.0},
                                 {"Low X-Over", "Hz", 0, std::pow(375. / 1150., 1. / 1.5)},
                                 {"High X-Overx", "Hz", 0, std::pow(4300. / 10800., 1. / 1.5)},
                                 {"Input", "dB", 0, 0.5},
                                 {"Output", "dB", 0, 0.5},
                                 {"Mix", "%", 0, 1.0},
                                 {"", "", 0, 0.0},
                                 {"", "", 0, 0.0},
                                 {"", "", 0, 0.0},
                                 {"Low Sidechain", "", 1, 0.0},
                                 {"Mid Sidechain", "", 1, 0.0},
                                 {"High Sidechain", "", 1, 0.0},
                                 {"Low Bypass", "", 1, 1.0},
                                 {"Mid Bypass", "", 1, 1.0},
                                 {"High Bypass", "", 1, 1.0},
                                 {"Bypass", "", 1, 1.0},
                                 {"Oversampling", "", 1, 0.0}};

  ParameterInfo info{};
  ASSERT_EQ(b->getParameterInfo(0, info), kResultOk);
  EXPECT_EQ(info.id, 0x10000u);
  EXPECT_EQ(ToAscii(info.title), "Bypass");
  EXPECT_EQ(info.flags, 0x10009);

  for (int32 i = 0; i < 31; i++)
  {
    ASSERT_EQ(b->getParameterInfo(i + 1, info), kResultOk);
    SCOPED_TRACE(i);
    EXPECT_EQ(info.id, static_cast<ParamID>(i));
    EXPECT_EQ(ToAscii(info.title), expected[i].title);
    EXPECT_EQ(ToAscii(info.units), expected[i].units);
    EXPECT_EQ(info.stepCount, expected[i].stepCount);
    EXPECT_NEAR(info.defaultNormalizedValue, expected[i].defaultNormalized, 1e-12);
    EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate);
    EXPECT_EQ(info.unitId, kRootUnitId);
  }
  EXPECT_EQ(b->getUnitCount(), 1);

  String128 text{};
  b->getParamStringByValue(kOversampling, 0.0, text);
  EXPECT_EQ(ToAscii(text), "Oversampling Off");
  b->getParamStringByValue(kOversampling, 1.0, text);
  EXPECT_EQ(ToAscii(text), "Oversampling On");
}

TEST(BrevantIdentity, Buses)
{
  Instance b;
  ASSERT_EQ(b->getBusCount(kAudio, kInput), 2);
  ASSERT_EQ(b->getBusCount(kAudio, kOutput), 1);
  EXPECT_EQ(b->getBusCount(kEvent, kInput), 0);
  const char* names[3] = {"Main", "Aux", "Output"};
  const BusDirection dirs[3] = {kInput, kInput, kOutput};
  const int32 idx[3] = {0, 1, 0};
  for (int i = 0; i < 3; i++)
  {
    BusInfo info{};
    ASSERT_EQ(b->getBusInfo(kAudio, dirs[i], idx[i], info), kResultOk);
    EXPECT_EQ(ToAscii(info.name), names[i]);
    EXPECT_EQ(info.channelCount, 2);
    EXPECT_EQ(info.busType, i == 1 ? kAux : kMain);
    SpeakerArrangement arr = 0;
    b->getBusArrangement(dirs[i], idx[i], arr);
    EXPECT_EQ(arr, SpeakerArr::kStereo);
  }
  EXPECT_EQ(b->getLatencySamples(), 0u);
  EXPECT_EQ(b->getTailSamples(), 0u);
}
