// The thin layer over the operating system: clocks and sleeps, locks,
// threads, read-only file mapping and raw standard-input reads.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Seconds of a monotonic clock.
double GetTime();
// Microseconds since the epoch, for seeding.
uint64_t TimeOfDayMicros();
// Sleeps the given number of milliseconds.
void SleepMs(int ms);

// Number of processors this process may run on (at least 1).
int ProcessorCount();

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

// Large zero-filled memory (the transposition table): aligned for huge pages,
// which are asked for where the system offers them; the pages come in on
// first touch. nullptr when the address space cannot be had.
void* AllocLarge(uint64_t bytes);
void FreeLarge(void* p, uint64_t bytes);
// Bytes of memory the system can still hand out without swapping; 0 when it
// does not tell.
uint64_t AvailableMemory();

// Releases a mapping made by MapOpenFile; false (with errno set) when the
// system refuses.
bool UnmapFile(const void* base, uint64_t size);
bool FileExists(const char* name);
// Opens a file to read as a stdio stream ("r" or "rb"). Only a regular file
// is opened, or, with pipe_ok, also a pipe (for input read once from start to
// end): the path's type is looked at first, so a device or a directory is
// never opened, and a pipe is opened without waiting for a writer (with none,
// it reads as empty). nullptr on failure, with the reason in errno
// (NOT_REGULAR_FILE for a path of another type).
FILE* OpenInputFile(const char* name, const char* mode, bool pipe_ok = false);
// The error number of a path that names no file of the type a reader takes.
enum : int { NOT_REGULAR_FILE = -1 };
// Why a file could not be opened, for a message: "not a regular file" or the
// system's words for the error number.
const char* OpenFailure(int error);
// True when both names exist and name one file (links and other spellings of
// a path included).
bool SameFile(const char* a, const char* b);
// True when the stream reads the file that standard input (descriptor 0)
// reads: "/dev/stdin", or a path of the file or pipe that feeds it.
bool IsStandardInput(FILE* f);

// Files opened for reading, to be mapped. A handle is a descriptor; NO_FILE
// stands for none.
typedef int FileHandle;
enum : int { NO_FILE = -1 };
// Opens a regular file (or, with pipe_ok, a pipe) read-only, as
// OpenInputFile does; the descriptor does not block. On failure returns
// NO_FILE with the error number in *error (ENOENT and ENOTDIR: there is no
// such file; NOT_REGULAR_FILE: the path names something else).
FileHandle OpenReadOnly(const char* name, int* error, bool pipe_ok = false);
void CloseFile(FileHandle f);
// Why a whole-file mapping failed.
enum MapStatus : int {
    MAP_DONE = 0,
    MAP_STAT_FAILED,   // the file's size could not be read
    MAP_NOT_REGULAR,   // a directory or a device
    MAP_EMPTY,         // nothing to map
    MAP_REFUSED        // the system refused the mapping
};
// Maps an open file read-only and shared, whole. Returns the base address and
// its length in *size, or nullptr with the reason in *status and the system's
// error number in *error. The handle stays open (the mapping does not need it).
const void* MapOpenFile(FileHandle f, uint64_t* size, MapStatus* status, int* error);

// Standard input: waits up to timeout_ms (0 = just test) for data on
// descriptor 0; returns 1 ready, 0 nothing, -1 error.
int InputReady(int timeout_ms);
// Reads up to n bytes from descriptor 0; returns bytes read, 0 at end of input, -1 on error.
long ReadInput(char* buf, size_t n);
// A standard output that the interface has closed must not end the program:
// writes to it then fail quietly instead of raising a signal.
void IgnoreClosedOutput();
