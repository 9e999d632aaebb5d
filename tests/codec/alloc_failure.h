// Injected allocation failures: this test program replaces the global
// operator new so a test can make one chosen allocation throw
// std::bad_alloc and see how a routine copes.
#ifndef TARNU_TESTS_CODEC_ALLOC_FAILURE_H_
#define TARNU_TESTS_CODEC_ALLOC_FAILURE_H_

namespace tarnu::testing {

// Makes the allocation `n` allocations from now (0: the next one) on this
// thread throw std::bad_alloc; later ones succeed again.
void FailAllocationAfter(long n);
// Disarms the failure; returns whether it fired.
bool StopFailingAllocations();

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_CODEC_ALLOC_FAILURE_H_
