// The thin layer over the operating system: clocks and sleeps, locks,
// threads, read-only file mapping and raw standard-input reads.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

// Seconds of a monotonic clock.
double GetTime();
// Microseconds since the epoch, for seeding.
uint64_t TimeOfDayMicros();
// Sleeps the given number of milliseconds.
void SleepMs(int ms);

// A small lock for short critical sections (one output line, one sum).
struct SpinLock {
    std::atomic<bool> flag{false};
    void lock() {
        for (;;) {
            if (!flag.exchange(true, std::memory_order_acquire)) return;
            while (flag.load(std::memory_order_relaxed)) Pause();
        }
    }
    void unlock() { flag.store(false, std::memory_order_release); }
    static void Pause();
};

struct SpinGuard {
    SpinLock& l;
    explicit SpinGuard(SpinLock& lk) : l(lk) { l.lock(); }
    ~SpinGuard() { l.unlock(); }
    SpinGuard(const SpinGuard&) = delete;
    SpinGuard& operator=(const SpinGuard&) = delete;
};

// Relaxed access to plain fields that another thread may read or write.
template <class T> inline T RelaxedLoad(const T& x) { return __atomic_load_n(&x, __ATOMIC_RELAXED); }
template <class T> inline void RelaxedStore(T& x, T v) { __atomic_store_n(&x, v, __ATOMIC_RELAXED); }

// Threads: start a joinable thread running fn(arg); returns an opaque handle or 0.
typedef uintptr_t ThreadHandle;
ThreadHandle StartThread(void (*fn)(void*), void* arg);
void JoinThread(ThreadHandle h);

// A mutex for rare, longer critical sections (lazy opening of table files).
struct Mutex;
Mutex* CreateMutex();
void LockMutex(Mutex* m);
void UnlockMutex(Mutex* m);
void DestroyMutex(Mutex* m);

// Read-only mapping of a whole file. Returns the base address (nullptr when
// the file cannot be opened or mapped) and its size.
const void* MapFile(const char* name, uint64_t* size);
void UnmapFile(const void* base, uint64_t size);
bool FileExists(const char* name);
// True when both names exist and name one file (links and other spellings of
// a path included).
bool SameFile(const char* a, const char* b);

// Standard input: waits up to timeout_ms (0 = just test) for data on
// descriptor 0; returns 1 ready, 0 nothing, -1 error.
int InputReady(int timeout_ms);
// Reads up to n bytes from descriptor 0; returns bytes read, 0 at end of input, -1 on error.
long ReadInput(char* buf, size_t n);
// A standard output that the interface has closed must not end the program:
// writes to it then fail quietly instead of raising a signal.
void IgnoreClosedOutput();
