// The built bundle, loaded and driven through brevant-host's hosting library as a DAW drives it.

#include "HostCommands.h"
#include "HostedPlugin.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <sstream>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace brevant::host;

namespace
{
std::unique_ptr<HostedPlugin> Open()
{
  std::string error;
  auto module = HostModule::Load(BREVANT_BUNDLE_DIR, error);
  EXPECT_TRUE(module) << error;
  auto plug = module ? HostedPlugin::Create(module, error) : nullptr;
  EXPECT_TRUE(plug) << error;
  return plug;
}
} // namespace

TEST(BrevantHosted, ModuleShowsOnlyItsEntryPoints)
{
  const std::string so = std::string(BREVANT_BUNDLE_DIR) + "/Contents/x86_64-linux/Brevant.so";
  void* lib = dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  EXPECT_NE(dlsym(lib, "GetPluginFactory"), nullptr);
  EXPECT_NE(dlsym(lib, "ModuleEntry"), nullptr);
  EXPECT_NE(dlsym(lib, "ModuleExit"), nullptr);
  EXPECT_EQ(dlsym(lib, "InitModule"), nullptr);
  EXPECT_EQ(dlsym(lib, "gPluginFactory"), nullptr);
  dlclose(lib);

  std::ostringstream out, err;
  EXPECT_EQ(RunHost({"info", BREVANT_BUNDLE_DIR}, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("\"Fx|Dynamics\""), std::string::npos) << out.str();
}

TEST(BrevantHosted, ProcessesAndKeepsItsState)
{
  auto plug = Open();
  ASSERT_TRUE(plug);
  EXPECT_EQ(plug->Params().size(), 33u); // 31, the host bypass and the program change
  EXPECT_TRUE(plug->SetBusArrangements({SpeakerArr::kMono, SpeakerArr::kMono}, {SpeakerArr::kMono}));
  EXPECT_TRUE(plug->SetBusArrangements({SpeakerArr::kStereo, SpeakerArr::kStereo}, {SpeakerArr::kStereo}));
  ASSERT_TRUE(plug->SetParamPlain(plug->FindParam("Low Attack")->id, 25.0));
  // "Bypass" is both the plug-in's own switch and the host's bypass: by title it is the plug-in's.
  EXPECT_EQ(plug->FindParam("Bypass")->id, 29u);
  EXPECT_EQ(plug->FindParam("#0x10000")->id, 0x10000u);
  EXPECT_EQ(plug->FindParam("#15")->title, "Low X-Over");
  EXPECT_FALSE(plug->FindParam("#15x"));
  ASSERT_TRUE(plug->Setup(44100.0, 512, kSample32));
  ASSERT_TRUE(plug->Start());

  std::vector<float> l(512), r(512), side(512, 0.3f), ol(512), or_(512);
  for (int i = 0; i < 512; i++)
    r[i] = -(l[i] = 0.5f * std::sin(i * 0.01f));
  float* in[2] = {l.data(), r.data()};
  float* out[2] = {ol.data(), or_.data()};
  float* sc[2] = {side.data(), side.data()};
  ASSERT_TRUE(plug->Process(512, in, out, sc));
  EXPECT_NE(ol, l); // processed
  for (int i = 0; i < 512; i++)
    ASSERT_TRUE(std::isfinite(ol[i]) && std::isfinite(or_[i]));

  const auto bypass = plug->Params().front();
  ASSERT_EQ(bypass.id, 0x10000u);
  ASSERT_TRUE(plug->SetParamNormalized(bypass.id, 1.0));
  ASSERT_TRUE(plug->Process(512, in, out, sc));
  EXPECT_EQ(ol, l);
  plug->Stop();

  std::vector<uint8_t> state;
  ASSERT_TRUE(plug->GetState(state));
  ASSERT_EQ(state.size(), 264u);
  EXPECT_EQ(state[260], 1); // the host bypass is on

  auto other = Open();
  ASSERT_TRUE(other);
  ASSERT_TRUE(other->SetState(state));
  EXPECT_NEAR(other->NormalizedToPlain(0, other->GetParamNormalized(0)), 25.0, 1e-9);
  EXPECT_DOUBLE_EQ(other->GetParamNormalized(bypass.id), 1.0);
  EXPECT_FALSE(other->SetState(std::vector<uint8_t>(state.begin(), state.end() - 4)));
  EXPECT_EQ(other->LatencySamples(), 0u);
}
