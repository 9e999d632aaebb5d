// Injected allocation failures: this test program replaces the global
// operator new so a test can make one chosen allocation throw
// std::bad_alloc and see how a routine copes.
#ifndef TARNU_TESTS_CODEC_ALLOC_FAILURE_H_
#define TARNU_TESTS_CODEC_ALLOC_FAILURE_H_

#include <cstddef>

namespace tarnu::testing {

// Makes the allocation `n` allocations from now (0: the next one) on this
// thread throw std::bad_alloc; later ones succeed again.
void FailAllocationAfter(long n);
// Disarms the failure; returns whether it fired.
bool StopFailingAllocations();
// Makes every allocation of more than `bytes` on this thread throw
// std::bad_alloc (0: none), so that a test can show a routine never needs
// a block that large.
void FailAllocationsLargerThan(std::size_t bytes);

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_CODEC_ALLOC_FAILURE_H_
