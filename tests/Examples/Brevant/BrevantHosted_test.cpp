// The built bundle driven through brevant-host's hosting library, as a DAW drives it.

#include "HostCommands.h"
#include "HostedPlugin.h"

#include <gtest/gtest.h>

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
  if (!module)
    return nullptr;
  auto plug = HostedPlugin::Create(module, error);
  EXPECT_TRUE(plug) << error;
  return plug;
}
} // namespace

TEST(BrevantHosted, DescribesItselfToTheHost)
{
  auto plug = Open();
  ASSERT_TRUE(plug);
  EXPECT_TRUE(plug->IsSingleComponent());
  EXPECT_EQ(plug->Params().size(), 32u);
  auto xover = plug->FindParam("High X-Overx");
  ASSERT_TRUE(xover);
  EXPECT_EQ(xover->id, 16u);
  EXPECT_EQ(plug->ParamValueText(30, 1.0), "Oversampling On");

  const auto ins = plug->Buses(kAudio, kInput);
  ASSERT_EQ(ins.size(), 2u);
  EXPECT_EQ(ins[0].name, "Main");
  EXPECT_EQ(ins[1].name, "Aux");
  EXPECT_FALSE(ins[1].isMain);
  EXPECT_EQ(plug->Buses(kAudio, kOutput)[0].name, "Output");

  // Mono main, mono side-chain, mono output; three input buses are refused.
  EXPECT_TRUE(plug->SetBusArrangements({SpeakerArr::kMono, SpeakerArr::kMono}, {SpeakerArr::kMono}));
  EXPECT_EQ(plug->BusChannels(kInput, 1), 1);
  EXPECT_FALSE(
      plug->SetBusArrangements({SpeakerArr::kMono, SpeakerArr::kMono, SpeakerArr::kMono}, {SpeakerArr::kMono}));

  std::ostringstream out, err;
  EXPECT_EQ(RunHost({"info", BREVANT_BUNDLE_DIR}, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("\"Fx|Dynamics\""), std::string::npos) << out.str();
}

TEST(BrevantHosted, ProcessesAndKeepsItsState)
{
  auto plug = Open();
  ASSERT_TRUE(plug);
  ASSERT_TRUE(plug->SetParamPlain(plug->FindParam("Low Attack")->id, 25.0));
  ASSERT_TRUE(plug->Setup(44100.0, 512, kSample64));
  ASSERT_TRUE(plug->Start());

  std::vector<double> l(512), r(512), sl(512, 0.3), sr(512, 0.3), ol(512), or_(512);
  for (int i = 0; i < 512; i++)
  {
    l[i] = 0.5 * std::sin(i * 0.01);
    r[i] = -l[i];
  }
  double* in[2] = {l.data(), r.data()};
  double* out[2] = {ol.data(), or_.data()};
  double* sc[2] = {sl.data(), sr.data()};
  plug->ActivateBus(kAudio, kInput, 1, true);
  ASSERT_TRUE(plug->Process(512, in, out, sc));
  EXPECT_EQ(ol, l);
  EXPECT_EQ(or_, r);

  // Host bypass: still unchanged, and the state records it.
  auto bypass = plug->Params().front();
  ASSERT_EQ(bypass.id, 0x10000u);
  ASSERT_TRUE(plug->SetParamNormalized(bypass.id, 1.0));
  ASSERT_TRUE(plug->Process(512, in, out, sc));
  EXPECT_EQ(ol, l);
  plug->Stop();

  std::vector<uint8_t> state;
  ASSERT_TRUE(plug->GetState(state));
  ASSERT_EQ(state.size(), 264u);
  EXPECT_EQ(state[260], 1);

  auto other = Open();
  ASSERT_TRUE(other);
  ASSERT_TRUE(other->SetState(state));
  EXPECT_NEAR(other->NormalizedToPlain(0, other->GetParamNormalized(0)), 25.0, 1e-9);
  EXPECT_DOUBLE_EQ(other->GetParamNormalized(bypass.id), 1.0);
  EXPECT_FALSE(other->SetState(std::vector<uint8_t>(state.begin(), state.end() - 4)));
  EXPECT_EQ(other->LatencySamples(), 0u);
}
