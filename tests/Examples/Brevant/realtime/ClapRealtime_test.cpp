// The CLAP plug-in's audio thread: over many blocks with events at random offsets (the block is processed in pieces
// between them), oversampling toggles, side-chain on and off, in both sample sizes, `process` and `params.flush`
// allocate nothing and take no lock.

#include "AudioThreadProbe.h"
#include "ClapTestHost.h"

#include "Brevant.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{

template <typename T> void RunClapBlocks()
{
  constexpr int kBlock = 256;
  constexpr int kBlocks = 1500;
  std::string error;
  auto module = claptest::Module::Load(BREVANT_CLAP_FILE, error);
  ASSERT_TRUE(module) << error;
  auto plug = claptest::Plugin::Create(*module, error);
  ASSERT_TRUE(plug) << error;
  ASSERT_TRUE(plug->Activate(48000.0, kBlock));

  std::vector<T> in[4], out[2];
  for (int c = 0; c < 4; c++)
  {
    in[c].resize(kBlock * 64);
    uint64_t x = 40 + static_cast<uint64_t>(c);
    for (auto& s : in[c])
    {
      x = x * 6364136223846793005ull + 1442695040888963407ull;
      s = static_cast<T>(static_cast<double>(x >> 40) / 16777216.0 - 0.5);
    }
  }
  for (auto& o : out)
    o.resize(kBlock);

  uint64_t rng = 9;
  auto below = [&rng](int n)
  {
    rng = rng * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<int>((rng >> 33) % static_cast<uint64_t>(n));
  };

  int64_t allocations = 0, locks = 0;
  for (int b = 0; b < kBlocks; b++)
  {
    const int n = b % 13 == 0 ? 0 : kBlock - below(kBlock / 2);
    // Host side, before the call: up to 32 events at random offsets, in time order (the helper sorts them).
    for (int k = below(33); k > 0; k--)
    {
      const int idx = below(kNumParams);
      double lo = 0.0, hi = 1.0;
      clap_param_info info{};
      if (plug->params->get_info(plug->p, static_cast<uint32_t>(idx), &info))
      {
        lo = info.min_value;
        hi = info.max_value;
      }
      plug->events.Value(static_cast<clap_id>(idx), lo + (hi - lo) * below(1000) / 999.0,
                         static_cast<uint32_t>(below(std::max(n, 1))));
    }
    if (b % 7 == 0)
      plug->events.Value(kOversampling, (b / 7) % 2, static_cast<uint32_t>(below(std::max(n, 1))));
    const bool sidechain = (b / 50) % 2 == 0;
    const size_t pos = static_cast<size_t>(b % 64) * kBlock;
    std::vector<T*> i = {in[0].data() + pos, in[1].data() + pos};
    std::vector<T*> s = {in[2].data() + pos, in[3].data() + pos};
    std::vector<T*> o = {out[0].data(), out[1].data()};
    if (!sidechain)
      s.clear();
    plug->output.events.clear();

    probe::Counts seen;
    {
      probe::Armed armed;
      plug->Process<T>(static_cast<uint32_t>(n), i, o, s);
      if (b % 17 == 0)
      {
        claptest::tOnAudioThread = true;
        plug->params->flush(plug->p, plug->events.List(), plug->output.List());
        claptest::tOnAudioThread = false;
      }
      seen = armed.Seen();
    }
    allocations += seen.allocations;
    locks += seen.locks;
    if (seen.allocations || seen.locks)
      ADD_FAILURE() << "block " << b << ": " << seen.allocations << " allocations, " << seen.locks << " locks";

    // Main thread, between blocks: the plug-in's timers and its main-thread callback.
    plug->FireTimers();
    plug->p->on_main_thread(plug->p);
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(locks, 0);
  if (!probe::WatchesMalloc())
    std::printf("(malloc is not watched in this build; operator new and the locks are)\n");
}

TEST(ClapRealtime, TheProbeSeesInsideTheLoadedModule)
{
  // activate sizes the scratch buffers: allocations the probe must see, or it could not see them in process either.
  std::string error;
  auto module = claptest::Module::Load(BREVANT_CLAP_FILE, error);
  ASSERT_TRUE(module) << error;
  auto plug = claptest::Plugin::Create(*module, error);
  ASSERT_TRUE(plug) << error;
  probe::Armed armed;
  ASSERT_TRUE(plug->p->activate(plug->p, 48000.0, 1, 4096));
  // The buffers are malloc'd: visible wherever the probe watches malloc (not under AddressSanitizer).
  if (probe::WatchesMalloc())
  {
    EXPECT_GE(armed.Seen().allocations, 1);
  }
  plug->p->deactivate(plug->p);
}

TEST(ClapRealtime, NoAllocationNorLockIn64BitProcess) { RunClapBlocks<double>(); }

TEST(ClapRealtime, NoAllocationNorLockIn32BitProcess) { RunClapBlocks<float>(); }

} // namespace
