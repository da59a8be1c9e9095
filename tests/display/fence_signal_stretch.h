#pragma once
// Stands in for pthread_cond_broadcast and pthread_mutex_destroy in the test
// program that links it, so that a test can stretch the moment a thread of
// Mesa's software rasteriser (llvmpipe) signals a fence, as the scheduler
// sometimes does, and see whether the fence is destroyed meanwhile.

namespace zor::test {

// While one lives, every seventh condition broadcast of the rasteriser
// threads (the one a thread makes while holding a fence's mutex, signalling
// the fence) waits a millisecond first. Each thread signals each fence, one
// after the other; with fewer than seven threads (one per core) the stretch
// falls on every place in turn, the last signal included.
class StretchedFenceSignals {
public:
    StretchedFenceSignals();
    ~StretchedFenceSignals();
    StretchedFenceSignals(const StretchedFenceSignals&) = delete;
    StretchedFenceSignals& operator=(const StretchedFenceSignals&) = delete;
};

// Broadcasts stretched so far.
int stretchedFenceSignals();

// Mutexes this program destroyed while another thread still held them. Such
// a destroy waits for the holder to let go, so that the memory is freed
// after it and the program lives on to report the count.
int mutexesDestroyedWhileHeld();

}  // namespace zor::test
