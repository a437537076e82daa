#pragma once
// Latest-value hand-over from the audio thread to the main thread (meter readings, latency changes).
//
// Meter readings and latency changes are produced once per block, but only the newest one matters to the editor
// and the host: a queue would fill with stale readings while the editor is closed, and a lock could make the audio
// thread wait. So the hand-over is a triple buffer. Three slots rotate between three roles: the producer writes into
// its own "back" slot, the consumer reads from its own "front" slot, and the third, "middle", slot is exchanged
// between them through one atomic byte that holds its index and a "fresh" bit.
// - Publish: copy into back, then exchange middle := back|fresh (release: the copy is visible before the index);
//   the old middle becomes the new back. An unread value in the old middle is simply overwritten later.
// - Collect: if the fresh bit is set, exchange middle := front (acquire: the producer's copy is visible); the old
//   middle becomes the new front and is read.
// Both sides are wait-free (one atomic exchange each, no retry loop), never allocate, and never touch the slot the
// other side is using, so there is no torn read (unlike a seqlock) and no data race on the slots themselves.

#include <atomic>
#include <cstdint>
#include <type_traits>

namespace iplug
{

/** One producer thread publishes values, one consumer thread collects the newest; older unread values are lost. */
template <typename T> class IPlugLatestValue final
{
  static_assert(std::is_trivially_copyable_v<T>, "values are copied between threads by value");

public:
  IPlugLatestValue() = default;
  IPlugLatestValue(const IPlugLatestValue&) = delete;
  IPlugLatestValue& operator=(const IPlugLatestValue&) = delete;

  /** Producer thread: makes value the newest one, replacing any the consumer has not collected. */
  void Publish(const T& value)
  {
    mSlots[mBack] = value;
    const uint8_t old = mMiddle.exchange(static_cast<uint8_t>(mBack | kFresh), std::memory_order_acq_rel);
    mBack = old & kIndexMask;
  }

  /** Consumer thread: copies the newest value published since the last collect; false (value untouched) if none. */
  bool Collect(T& value)
  {
    if (!(mMiddle.load(std::memory_order_relaxed) & kFresh))
      return false;
    // Only the producer writes besides us, and it only ever stores fresh slots, so the exchange takes a fresh one.
    const uint8_t old = mMiddle.exchange(mFront, std::memory_order_acq_rel);
    mFront = old & kIndexMask;
    value = mSlots[mFront];
    return true;
  }

  /** Either thread: whether a value waits to be collected (a snapshot). */
  bool HasNew() const { return mMiddle.load(std::memory_order_acquire) & kFresh; }

private:
  static constexpr uint8_t kIndexMask = 3;
  static constexpr uint8_t kFresh = 4;

  T mSlots[3] = {};
  alignas(64) std::atomic<uint8_t> mMiddle{1};
  alignas(64) uint8_t mBack = 0;  // producer's own
  alignas(64) uint8_t mFront = 2; // consumer's own
};

/** Readings the processor shows in the editor as parameter values (the gain-reduction meters): each entry is a
 * parameter index and a plain value, delivered on the main thread through SendParameterValueFromDelegate. */
struct IMeterValues
{
  static constexpr int kMaxValues = 8;

  int count = 0;
  int paramIdx[kMaxValues] = {};
  double values[kMaxValues] = {};

  /** Appends one reading; false when the record is already full. */
  bool Add(int idx, double value)
  {
    if (count >= kMaxValues)
      return false;
    paramIdx[count] = idx;
    values[count] = value;
    ++count;
    return true;
  }
};

} // namespace iplug
