// Channel I/O strings: parsing never crashes, and the totals and queries agree with the parsed layouts.
#include "IPlugProcessor.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace iplug;

namespace
{
class FuzzProcessor : public IPlugProcessor
{
public:
  explicit FuzzProcessor(const Config& c) : IPlugProcessor(c, kAPIVST3) {}
  bool SendMidiMsg(const IMidiMsg&) override { return true; }
};

void Check(bool ok)
{
  if (!ok)
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string str(reinterpret_cast<const char*>(data), size); // stops at an embedded NUL when parsed

  WDL_PtrList_DeleteOnDestroy<IOConfig> configs;
  int nIn = -1, nOut = -1, nInBuses = -1, nOutBuses = -1;
  const int n = IPlugProcessor::ParseChannelIOStr(str.c_str(), configs, nIn, nOut, nInBuses, nOutBuses);
  Check(n == configs.GetSize() && nIn >= 0 && nOut >= 0 && nInBuses >= 0 && nOutBuses >= 0);
  for (int i = 0; i < n; i++)
  {
    const IOConfig* c = configs.Get(i);
    Check(c->GetTotalNChannels(kInput) <= nIn && c->GetTotalNChannels(kOutput) <= nOut);
    Check(c->NBuses(kInput) <= nInBuses && c->NBuses(kOutput) <= nOutBuses);
    for (int dir = kInput; dir <= kOutput; dir++)
      for (int b = 0; b < c->NBuses(static_cast<ERoute>(dir)); b++)
      {
        const int ch = c->GetBusInfo(static_cast<ERoute>(dir), b)->NChans();
        Check(ch != 0 && ch <= kMaxNChansPerBus && (ch > 0 || ch == kWildcardNChans));
      }
  }

  // Keep the channel table small enough for the fuzzer's memory budget.
  if (nIn > 4096 || nOut > 4096)
    return 0;
  Config config;
  config.channelIOStr = str.c_str();
  FuzzProcessor p(config);
  Check(p.NIOConfigs() == n && p.MaxNChannels(kInput) == nIn && p.MaxNChannels(kOutput) == nOut);
  for (int dir = kInput; dir <= kOutput; dir++)
  {
    const ERoute route = static_cast<ERoute>(dir);
    int idx = -1;
    const int maxBuses = p.MaxNBuses(route, &idx);
    Check(maxBuses == (dir == kInput ? nInBuses : nOutBuses) && idx >= 0 && (n == 0 || idx < n));
    for (int b = 0; b < maxBuses; b++)
      Check(p.MaxNChannelsForBus(route, b) >= -1);
  }
  // Every layout is found again by its own channel counts, at its index or an earlier identical one.
  for (int i = 0; i < n && i < 64; i++)
  {
    std::vector<int> buses[2];
    for (int dir = kInput; dir <= kOutput; dir++)
      for (int b = 0; b < configs.Get(i)->NBuses(static_cast<ERoute>(dir)); b++)
        buses[dir].push_back(configs.Get(i)->NChansOnBusSAFE(static_cast<ERoute>(dir), b));
    const int found = p.GetIOConfigWithChanCounts(buses[kInput], buses[kOutput]);
    Check(found >= 0 && found <= i);
    Check(p.LegalIO(configs.Get(i)->GetTotalNChannels(kInput), configs.Get(i)->GetTotalNChannels(kOutput)));
  }
  return 0;
}
