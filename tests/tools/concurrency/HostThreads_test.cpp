// A plug-in may report to the component handler from its own timer thread while the host processes blocks.
#include "HostedPlugin.h"
#include "TestGainIDs.h"

#include <gtest/gtest.h>
#include <thread>

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace brevant::host;

TEST(HostThreads, HandlerTakesReportsFromAnotherThreadWhileProcessing)
{
  std::string error;
  auto module = HostModule::Load(TESTGAIN_BUNDLE, error);
  ASSERT_TRUE(module) << error;
  auto plug = HostedPlugin::Create(module, error);
  ASSERT_TRUE(plug) << error;
  ASSERT_TRUE(plug->Setup(48000.0, 32) && plug->Start());

  constexpr int kReports = 500;
  std::thread reporter(
      [&]
      {
        for (int i = 0; i < kReports; ++i)
        {
          plug->Handler().performEdit(testgain::kGainId, (i % 10) / 10.0);
          plug->Handler().restartComponent(kLatencyChanged);
        }
      });
  std::vector<float> buf(32, 0.25f);
  std::vector<float*> chans = {buf.data(), buf.data()};
  int changes = 0;
  uint32 latency = 0;
  for (int block = 0; block < 2000; ++block)
  {
    ASSERT_TRUE(plug->Process(32, chans, chans));
    changes += plug->TakeLatencyChange(latency) ? 1 : 0;
  }
  reporter.join();
  changes += plug->TakeLatencyChange(latency) ? 1 : 0;
  EXPECT_GE(changes, 1);
  EXPECT_EQ(plug->Handler().RestartCount(kLatencyChanged), kReports);
  EXPECT_EQ(plug->Handler().Edits().size(), static_cast<size_t>(kReports));
}
