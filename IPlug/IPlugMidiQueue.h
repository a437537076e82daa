#pragma once
// Time-ordered queue of outgoing MIDI messages, filled while a block is processed and emptied when the block's
// events are handed to the host. Sized between blocks; grows only if a block produces more than it was sized for.

#include "IPlugMidi.h"
#include "heapbuf.h"

namespace iplug
{

class IMidiQueue
{
public:
  static constexpr int kGrowth = 512;

  explicit IMidiQueue(int capacity = kGrowth) { Resize(capacity); }

  /** Inserts msg after every queued message with an equal or smaller offset. */
  void Add(const IMidiMsg& msg)
  {
    if (mFront + mCount >= mBuf.GetSize())
    {
      Compact();
      if (mCount >= mBuf.GetSize())
        mBuf.Resize(mBuf.GetSize() + kGrowth);
    }
    IMidiMsg* q = mBuf.Get() + mFront;
    int i = mCount;
    while (i > 0 && q[i - 1].mOffset > msg.mOffset)
    {
      q[i] = q[i - 1];
      i--;
    }
    q[i] = msg;
    mCount++;
  }

  bool Empty() const { return mCount == 0; }
  int ToDo() const { return mCount; }
  /** Slots the queue holds without growing. */
  int GetSize() const { return mBuf.GetSize(); }

  /** The earliest message; only valid when the queue is not empty. */
  const IMidiMsg& Peek() const { return mBuf.Get()[mFront]; }

  void Remove()
  {
    if (mCount > 0)
    {
      mFront++;
      mCount--;
    }
    if (mCount == 0)
      mFront = 0;
  }

  void Clear()
  {
    mFront = 0;
    mCount = 0;
  }

  /** Moves the queued messages to the front and sizes the store to hold max(size, queued), rounded up to whole
   * growth steps. Not for the audio thread. */
  void Resize(int size)
  {
    Compact();
    int n = size > mCount ? size : mCount;
    if (n < 1)
      n = 1;
    n = ((n + kGrowth - 1) / kGrowth) * kGrowth;
    mBuf.Resize(n);
  }

private:
  void Compact()
  {
    if (mFront > 0)
    {
      IMidiMsg* q = mBuf.Get();
      for (int i = 0; i < mCount; i++)
        q[i] = q[mFront + i];
      mFront = 0;
    }
  }

  WDL_TypedBuf<IMidiMsg> mBuf;
  int mFront = 0;
  int mCount = 0;
};

} // namespace iplug
