#include "tests/codec/alloc_failure.h"

#include <cstdlib>
#include <new>

namespace tarnu::testing {
namespace {
thread_local long countdown = -1;
thread_local bool fired = false;
thread_local std::size_t largest = 0;
}  // namespace

void FailAllocationsLargerThan(std::size_t bytes) { largest = bytes; }

void FailAllocationAfter(long n) {
  fired = false;
  countdown = n;
}

bool StopFailingAllocations() {
  countdown = -1;
  return fired;
}

}  // namespace tarnu::testing

void* operator new(std::size_t size) {
  using tarnu::testing::countdown;
  if (countdown >= 0 && countdown-- == 0) {
    tarnu::testing::fired = true;
    throw std::bad_alloc();
  }
  if (tarnu::testing::largest != 0 && size > tarnu::testing::largest) throw std::bad_alloc();
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
