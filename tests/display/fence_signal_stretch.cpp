#include "fence_signal_stretch.h"

#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

std::atomic<int> stretching{0};
std::atomic<int> stretched{0};
std::atomic<int> destroyedWhileHeld{0};

// -1 until this thread's name has been read.
thread_local int rasteriserThread = -1;
// The rasteriser threads' broadcasts so far, all threads together.
std::atomic<unsigned> broadcasts{0};

bool onRasteriserThread() {
    if (rasteriserThread < 0) {
        char name[16] = "";
        pthread_getname_np(pthread_self(), name, sizeof name);
        rasteriserThread = std::strncmp(name, "llvmpipe-", 9) == 0 ? 1 : 0;
    }
    return rasteriserThread == 1;
}

// The next definition after this program's, looked up once (without a
// static's guard, which may itself broadcast).
template <typename Function>
Function next(std::atomic<Function>& cached, const char* name, const char* version) {
    Function f = cached.load(std::memory_order_acquire);
    if (!f) {
        void* symbol = version ? dlvsym(RTLD_NEXT, name, version) : dlsym(RTLD_NEXT, name);
        f = reinterpret_cast<Function>(symbol);
        cached.store(f, std::memory_order_release);
    }
    return f;
}

}  // namespace

extern "C" int pthread_cond_broadcast(pthread_cond_t* cond) noexcept {
    using Function = int (*)(pthread_cond_t*);
    static std::atomic<Function> real{nullptr};
    if (stretching.load(std::memory_order_relaxed) && onRasteriserThread() &&
        broadcasts.fetch_add(1, std::memory_order_relaxed) % 7 == 6) {
        stretched.fetch_add(1);
        const timespec millisecond{0, 1'000'000};
        nanosleep(&millisecond, nullptr);
    }
    return next(real, "pthread_cond_broadcast", "GLIBC_2.3.2")(cond);
}

extern "C" int pthread_mutex_destroy(pthread_mutex_t* mutex) noexcept {
    using Function = int (*)(pthread_mutex_t*);
    static std::atomic<Function> real{nullptr};
    int result = next(real, "pthread_mutex_destroy", nullptr)(mutex);
    // (glibc keeps the holder's thread id in the mutex.)
    if (result == EBUSY && mutex->__data.__owner != gettid()) {
        destroyedWhileHeld.fetch_add(1);
        pthread_mutex_lock(mutex);
        pthread_mutex_unlock(mutex);
        result = next(real, "pthread_mutex_destroy", nullptr)(mutex);
    }
    return result;
}

namespace zor::test {

StretchedFenceSignals::StretchedFenceSignals() { stretching.fetch_add(1); }

StretchedFenceSignals::~StretchedFenceSignals() { stretching.fetch_sub(1); }

int stretchedFenceSignals() { return stretched.load(); }

int mutexesDestroyedWhileHeld() { return destroyedWhileHeld.load(); }

}  // namespace zor::test
