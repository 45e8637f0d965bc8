#include "counted_calls.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
std::atomic<long> locks{0};

// The pthread_mutex_lock this one stands in front of, found on the first
// call (which may come from another module's static constructor, before any
// of this file's dynamic initialisation).
using LockFn = int (*)(pthread_mutex_t*);
std::atomic<LockFn> nextLock{nullptr};
}  // namespace

long AllocationsSoFar() { return allocations.load(); }
long MutexLocksSoFar() { return locks.load(); }

// Every form that allocates with malloc, nothrow included, so that whatever
// these allocate these free (the aligned forms stay the runtime's, in pairs
// of their own). The deletes stay out of line: inlined, the compiler would
// pair its own new with free().
void* operator new(std::size_t n) {
  ++allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  ++allocations;
  return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

// Seen by every module, whatever visibility the build gives by default.
extern "C" [[gnu::visibility("default")]] int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
  ++locks;
  LockFn next = nextLock.load();
  if (!next) {
    next = reinterpret_cast<LockFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    nextLock.store(next);
  }
  return next(mutex);
}
