#include "AudioThreadProbe.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define PROBE_WATCH_MALLOC 0
#else
#define PROBE_WATCH_MALLOC 1
#endif

namespace
{
thread_local bool tArmed = false;
thread_local probe::Counts tCounts;

inline void CountAllocation()
{
  if (tArmed)
    ++tCounts.allocations;
}

inline void CountLock()
{
  if (tArmed)
    ++tCounts.locks;
}

template <typename Fn> Fn Next(const char* name) { return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name)); }

using MutexFn = int (*)(pthread_mutex_t*);
using RwFn = int (*)(pthread_rwlock_t*);
MutexFn gMutexLock = nullptr;
MutexFn gMutexTryLock = nullptr;
RwFn gRdLock = nullptr;
RwFn gWrLock = nullptr;

// Resolved before main; a call that comes earlier resolves on the spot.
__attribute__((constructor(101))) void ResolveLocks()
{
  gMutexLock = Next<MutexFn>("pthread_mutex_lock");
  gMutexTryLock = Next<MutexFn>("pthread_mutex_trylock");
  gRdLock = Next<RwFn>("pthread_rwlock_rdlock");
  gWrLock = Next<RwFn>("pthread_rwlock_wrlock");
}

void* Allocate(std::size_t n)
{
  CountAllocation();
  if (void* p = std::malloc(n ? n : 1))
    return p;
  throw std::bad_alloc();
}

void* AllocateAligned(std::size_t n, std::align_val_t al)
{
  CountAllocation();
  const std::size_t a = static_cast<std::size_t>(al);
  if (void* p = std::aligned_alloc(a, (n + a - 1) / a * a))
    return p;
  throw std::bad_alloc();
}

} // namespace

namespace probe
{
Armed::Armed() : mStart(tCounts) { tArmed = true; }
Armed::~Armed() { tArmed = false; }
Counts Armed::Seen() const { return {tCounts.allocations - mStart.allocations, tCounts.locks - mStart.locks}; }
bool WatchesMalloc() { return PROBE_WATCH_MALLOC; }
} // namespace probe

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
  CountAllocation();
  return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
  CountAllocation();
  return std::malloc(n ? n : 1);
}
void* operator new(std::size_t n, std::align_val_t al) { return AllocateAligned(n, al); }
void* operator new[](std::size_t n, std::align_val_t al) { return AllocateAligned(n, al); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

extern "C"
{
#if PROBE_WATCH_MALLOC
  void* __libc_malloc(size_t);
  void* __libc_calloc(size_t, size_t);
  void* __libc_realloc(void*, size_t);
  void* __libc_memalign(size_t, size_t);

  void* malloc(size_t n)
  {
    CountAllocation();
    return __libc_malloc(n);
  }
  void* calloc(size_t n, size_t size)
  {
    CountAllocation();
    return __libc_calloc(n, size);
  }
  void* realloc(void* p, size_t n)
  {
    CountAllocation();
    return __libc_realloc(p, n);
  }
  void* aligned_alloc(size_t alignment, size_t n)
  {
    CountAllocation();
    return __libc_memalign(alignment, n);
  }
  int posix_memalign(void** out, size_t alignment, size_t n)
  {
    CountAllocation();
    void* p = __libc_memalign(alignment, n);
    if (!p)
      return 12; // ENOMEM
    *out = p;
    return 0;
  }
#endif

  int pthread_mutex_lock(pthread_mutex_t* m)
  {
    CountLock();
    if (!gMutexLock)
      ResolveLocks();
    return gMutexLock(m);
  }
  int pthread_mutex_trylock(pthread_mutex_t* m)
  {
    CountLock();
    if (!gMutexTryLock)
      ResolveLocks();
    return gMutexTryLock(m);
  }
  int pthread_rwlock_rdlock(pthread_rwlock_t* l)
  {
    CountLock();
    if (!gRdLock)
      ResolveLocks();
    return gRdLock(l);
  }
  int pthread_rwlock_wrlock(pthread_rwlock_t* l)
  {
    CountLock();
    if (!gWrLock)
      ResolveLocks();
    return gWrLock(l);
  }
}
