#pragma once
// Records of the audio processor: channel layouts, the per-channel routing table and transport information.

#include <cstdint>

#include "heapbuf.h"
#include "ptrlist.h"
#include "wdlstring.h"

namespace iplug
{

/** Sample type the plug-in's ProcessBlock sees. */
using sample = double;

/** Sample type of a 32-bit host. */
using hostSample32 = float;

/** Direction of a bus or channel. */
enum ERoute : int
{
  kInput = 0,
  kOutput = 1
};

/** Channel count of a wildcard bus ("*"). */
constexpr int kWildcardNChans = -64;

/** Largest channel count a single bus token may declare; larger numbers are saturated. */
constexpr int kMaxNChansPerBus = 1024;

/** One bus of one channel layout. */
struct IBusInfo
{
  ERoute mDirection = kInput;
  int mNChans = 0;

  IBusInfo(ERoute direction, int nChans) : mDirection(direction), mNChans(nChans) {}

  ERoute GetDirection() const { return mDirection; }
  int NChans() const { return mNChans; }
};

/** One accepted channel layout: its buses per direction, bus 0 first. */
struct IOConfig
{
  WDL_PtrList_DeleteOnDestroy<IBusInfo> mBusInfo[2];

  IOConfig() = default;
  IOConfig(const IOConfig&) = delete;
  IOConfig& operator=(const IOConfig&) = delete;

  void AddBusInfo(ERoute direction, int nChans) { mBusInfo[direction].Add(new IBusInfo(direction, nChans)); }

  const IBusInfo* GetBusInfo(ERoute direction, int busIdx) const { return mBusInfo[direction].Get(busIdx); }

  /** Channel count of a bus, 0 when the bus does not exist. */
  int NChansOnBusSAFE(ERoute direction, int busIdx) const
  {
    const IBusInfo* info = GetBusInfo(direction, busIdx);
    return info ? info->NChans() : 0;
  }

  int NBuses(ERoute direction) const { return mBusInfo[direction].GetSize(); }

  /** Sum of the bus channel counts of one direction (wildcards count as their negative marker). */
  int GetTotalNChannels(ERoute direction) const
  {
    int64_t total = 0;
    for (int i = 0; i < NBuses(direction); i++)
      total += mBusInfo[direction].Get(i)->NChans();
    return static_cast<int>(total);
  }

  bool ContainsWildcard(ERoute direction) const
  {
    for (int i = 0; i < NBuses(direction); i++)
    {
      if (mBusInfo[direction].Get(i)->NChans() < 0)
        return true;
    }
    return false;
  }
};

/** One channel record of the routing table. TIN is the 32-bit host's sample type, TOUT the plug-in's. */
template <typename TIN = hostSample32, typename TOUT = sample> struct IChannelData
{
  bool mConnected = false;
  /** Entry of the direction's pointer array that holds this channel's current buffer. */
  TOUT** mData = nullptr;
  /** 32-bit host output buffer that receives the converted output of this block. */
  TIN* mIncomingData = nullptr;
  WDL_TypedBuf<TOUT> mScratchBuf;
  WDL_String mLabel;
};

/** Tempo, positions, time signature and transport state of the current block. */
struct ITransportInfo
{
  double mTempo = 120.0;
  double mSamplePos = -1.0;
  double mPPQPos = -1.0;
  double mLastBar = -1.0;
  double mCycleStart = -1.0;
  double mCycleEnd = -1.0;
  int mNumerator = 4;
  int mDenominator = 4;
  bool mTransportIsRunning = false;
  bool mTransportLoopEnabled = false;
};

} // namespace iplug
