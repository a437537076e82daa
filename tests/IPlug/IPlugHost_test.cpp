#include <gtest/gtest.h>

#include "IPlugHost.h"

#include <string>

using namespace iplug;

TEST(IPlugHost, IdentifiesHostsByName)
{
  EXPECT_EQ(LookUpHost("REAPER"), kHostReaper);
  EXPECT_EQ(LookUpHost("Cubase 12"), kHostCubase);
  EXPECT_EQ(LookUpHost("WaveLab Elements 11"), kHostWaveLabElements);
  EXPECT_EQ(LookUpHost("WaveLab Pro 11"), kHostWaveLab);
  EXPECT_EQ(LookUpHost("Ardour 8"), kHostArdour);
  EXPECT_EQ(LookUpHost("Mixbus32C"), kHostMixbus);
  EXPECT_EQ(LookUpHost("Live 11"), kHostAbletonLive);
  EXPECT_EQ(LookUpHost("Bitwig Studio"), kHostBitwig);
  EXPECT_EQ(LookUpHost("Logic Live Edition"), kHostAbletonLive); // "live" is tested before "logic"
  EXPECT_EQ(LookUpHost("Blue Cat's VST Host"), kHostBlueCat);
  EXPECT_EQ(LookUpHost("My Standalone Web www"), kHostStandalone); // the two late entries keep their order
  EXPECT_EQ(LookUpHost(""), kHostUnknown);
  EXPECT_EQ(LookUpHost("Some Unknown DAW"), kHostUnknown);
  EXPECT_EQ(LookUpHost(nullptr), kHostUnknown);

  // Names are cut at kMaxHostNameLen characters.
  EXPECT_EQ(LookUpHost((std::string(300, 'x') + "reaper").c_str()), kHostUnknown);
  EXPECT_EQ(LookUpHost((std::string(249, 'x') + "reaper").c_str()), kHostReaper);
}

TEST(IPlugHost, NamesRoundTrip)
{
  char name[32];
  for (int code = 1; code <= 45; code++)
  {
    GetHostNameStr(static_cast<EHost>(code), name);
    ASSERT_STRNE(name, "") << code;
    EXPECT_EQ(LookUpHost(name), static_cast<EHost>(code)) << name;
  }
  GetHostNameStr(kHostUnknown, name);
  EXPECT_STREQ(name, "");
  char tiny[4];
  GetHostNameStr(kHostReaper, tiny, sizeof(tiny));
  EXPECT_STREQ(tiny, "rea");
}
