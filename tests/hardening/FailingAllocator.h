// An allocator of the test executable's own: malloc, calloc, realloc and free defined here
// interpose for the loaded modules too. While armed it fails exactly the n-th allocation; while
// tracking it keeps every block made, so a run can show it freed all it allocated.
// Single-threaded; never under a sanitizer, which owns malloc.
#pragma once

namespace failing {
void Start();       // tracking, with a clean table
void Arm(long n);   // the n-th allocation from now fails (0: none)
void Disarm();      // stops counting and failing
void Stop();        // ends tracking
long Attempts();    // allocations attempted while armed
long Outstanding(); // blocks made while tracking and not freed yet
}  // namespace failing
