#pragma once
// Counts heap allocations and lock attempts made by the current thread while it is armed. The program that
// includes AudioThreadProbe.cpp replaces the global operator new family and the malloc family (not under
// AddressSanitizer, which owns malloc) and interposes the pthread mutex and rwlock entry points.

#include <cstdint>

namespace probe
{

struct Counts
{
  int64_t allocations = 0;
  int64_t locks = 0;
};

/** Arms the current thread for the lifetime of the object and reports what it saw. */
class Armed
{
public:
  Armed();
  ~Armed();
  Armed(const Armed&) = delete;
  Armed& operator=(const Armed&) = delete;
  Counts Seen() const;

private:
  Counts mStart;
};

/** Whether malloc itself is watched in this build (operator new always is). */
bool WatchesMalloc();

} // namespace probe
