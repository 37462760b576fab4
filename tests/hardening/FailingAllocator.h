// An allocator of the test executable's own: malloc, calloc, realloc and free defined here
// interpose for the loaded modules too. While armed it fails exactly the n-th allocation, and
// while tracking it keeps every block made, so that a run can show it freed all it allocated.
// Single-threaded; never use it under a sanitizer, which owns malloc.
#pragma once
#include <cstddef>

namespace failing {

// Starts tracking with a clean table.
void Start();
// The n-th allocation from now fails (0: none); Disarm stops counting and failing.
void Arm(long n);
void Disarm();
// Ends tracking.
void Stop();
// Allocations attempted while armed, whether one was failed, and blocks made while tracking and
// not freed yet.
long Attempts();
bool Failed();
long Outstanding();

}  // namespace failing
