#pragma once
// Lock-free single-producer single-consumer ring used between the audio thread and the main thread.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <type_traits>

namespace iplug
{

/** Ring buffer holding up to `capacity` elements in capacity + 1 slots, so that "full" and "empty" can be told apart
 * from the two indices alone. Exactly one thread pushes and exactly one thread pops; neither ever blocks or allocates
 * (the slots are allocated once, by the constructor). A push onto a full queue drops the element. */
template <typename T> class IPlugQueue final
{
  static_assert(std::is_trivially_copyable_v<T>, "elements are copied between threads by value");

public:
  explicit IPlugQueue(int capacity)
      : mNumSlots(static_cast<size_t>(std::max(capacity, 0)) + 1), mSlots(std::make_unique<T[]>(mNumSlots))
  {
  }

  IPlugQueue(const IPlugQueue&) = delete;
  IPlugQueue& operator=(const IPlugQueue&) = delete;

  /** Producer thread. Returns false, and drops the element, when the queue is full. */
  bool Push(const T& item)
  {
    const size_t write = mWriteIndex.load(std::memory_order_relaxed);
    const size_t next = Advance(write);
    if (next == mReadIndex.load(std::memory_order_acquire))
      return false;
    mSlots[write] = item;
    // Publish only after the element is in place.
    mWriteIndex.store(next, std::memory_order_release);
    return true;
  }

  /** Consumer thread. Returns false, leaving item untouched, when the queue is empty. */
  bool Pop(T& item)
  {
    const size_t read = mReadIndex.load(std::memory_order_relaxed);
    if (read == mWriteIndex.load(std::memory_order_acquire))
      return false;
    item = mSlots[read];
    // Hand the slot back to the producer only after the element is copied out.
    mReadIndex.store(Advance(read), std::memory_order_release);
    return true;
  }

  /** Number of queued elements. Exact on either end's own thread when the other end is idle; otherwise a snapshot. */
  size_t ElementsAvailable() const
  {
    const size_t write = mWriteIndex.load(std::memory_order_acquire);
    const size_t read = mReadIndex.load(std::memory_order_acquire);
    return write >= read ? write - read : write + mNumSlots - read;
  }

  /** Most elements the queue holds at once. */
  size_t Capacity() const { return mNumSlots - 1; }

private:
  size_t Advance(size_t index) const { return index + 1 == mNumSlots ? 0 : index + 1; }

  const size_t mNumSlots;
  std::unique_ptr<T[]> mSlots;
  // Separate cache lines, so the two threads do not fight over one line on every push and pop.
  alignas(64) std::atomic<size_t> mWriteIndex{0};
  alignas(64) std::atomic<size_t> mReadIndex{0};
};

} // namespace iplug
