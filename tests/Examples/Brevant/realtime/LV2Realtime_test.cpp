// The LV2 plug-in's run, loaded through lilv as a host loads it: over many blocks with control ports moving at
// random, oversampling toggling, the side-chain connected and not, the host's bypass on and off, and runs longer
// than the announced block, `run` allocates nothing and takes no lock.

#include "AudioThreadProbe.h"
#include "LilvTestHost.h"

#include "Brevant.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{

TEST(LV2Realtime, NoAllocationNorLockInRun)
{
  constexpr int kBlock = 256;
  lv2test::World world;
  lv2test::Instance fx(world, lv2test::kStereoURI, 48000.0, kBlock);
  ASSERT_TRUE(fx.instance);
  const auto l = iplug::LV2PortLayout::Make(kNumParams, 2, 2, 2);
  std::vector<float> mins(fx.nPorts), maxs(fx.nPorts), defs(fx.nPorts);
  lilv_plugin_get_port_ranges_float(fx.plugin, mins.data(), maxs.data(), defs.data());

  std::vector<float> in[4], out[2];
  for (int c = 0; c < 4; c++)
  {
    in[c].resize(kBlock * 8);
    uint64_t x = 40 + static_cast<uint64_t>(c);
    for (auto& s : in[c])
    {
      x = x * 6364136223846793005ull + 1442695040888963407ull;
      s = static_cast<float>(static_cast<double>(x >> 40) / 16777216.0 - 0.5);
    }
  }
  for (auto& o : out)
    o.resize(kBlock * 8);

  uint64_t rng = 9;
  auto below = [&rng](int n)
  {
    rng = rng * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<int>((rng >> 33) % static_cast<uint64_t>(n));
  };

  int64_t allocations = 0, locks = 0;
  for (int b = 0; b < 1500; b++)
  {
    // Mostly within the block; now and then four times longer, processed in pieces.
    const int n = b % 13 == 0 ? 0 : (b % 29 == 0 ? kBlock * 4 : kBlock - below(kBlock / 2));
    for (int k = below(6); k > 0; k--)
    {
      const int idx = below(kNumParams);
      if (!std::isnan(mins[size_t(idx)]) && idx != kLowMeter && idx != kMidMeter && idx != kHighMeter)
        fx.Control(uint32_t(idx)) = mins[size_t(idx)] + (maxs[size_t(idx)] - mins[size_t(idx)]) * below(1000) / 999.f;
    }
    if (b % 7 == 0)
      fx.Control(kOversampling) = static_cast<float>((b / 7) % 2);
    fx.Control(l.enabled) = (b / 100) % 5 == 4 ? 0.f : 1.f;
    const bool sidechain = (b / 50) % 2 == 0;
    std::vector<float*> sc = {in[2].data(), in[3].data()};
    if (!sidechain)
      sc.clear();

    const std::vector<float*> main = {in[0].data(), in[1].data()}, outs = {out[0].data(), out[1].data()};
    probe::Counts seen;
    {
      probe::Armed armed;
      fx.Run(static_cast<uint32_t>(n), l, main, sc, outs);
      seen = armed.Seen();
    }
    allocations += seen.allocations;
    locks += seen.locks;
    if (seen.allocations || seen.locks)
      ADD_FAILURE() << "block " << b << ": " << seen.allocations << " allocations, " << seen.locks << " locks";
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(locks, 0);
  // The latency port follows the oversampling switch (of an active chain).
  fx.Control(l.enabled) = 1.f;
  fx.Control(kBypass) = 1.f;
  fx.Control(kOversampling) = 1.f;
  fx.Run(64, l, {in[0].data(), in[1].data()}, {}, {out[0].data(), out[1].data()});
  EXPECT_EQ(fx.Control(l.latency), 64.f);
  fx.Control(kOversampling) = 0.f;
  fx.Run(64, l, {in[0].data(), in[1].data()}, {}, {out[0].data(), out[1].data()});
  EXPECT_EQ(fx.Control(l.latency), 0.f);
  if (!probe::WatchesMalloc())
    std::printf("(malloc is not watched in this build; operator new and the locks are)\n");
}

TEST(LV2Realtime, TheProbeSeesInsideTheLoadedModule)
{
  // Instantiation sizes the scratch buffers: allocations the probe must see, or it could not see them in run either.
  lv2test::World world;
  const LilvPlugin* p = world.Plugin(lv2test::kStereoURI);
  ASSERT_TRUE(p);
  const LV2_Feature* features[] = {world.urids.MapFeature(), nullptr};
  probe::Armed armed;
  LilvInstance* instance = lilv_plugin_instantiate(p, 48000.0, features);
  ASSERT_TRUE(instance);
  EXPECT_GE(armed.Seen().allocations, 1);
  lilv_instance_free(instance);
}

} // namespace
