#include "platform/platform.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>

double GetTime() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

uint64_t TimeOfDayMicros() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return (uint64_t)tv.tv_sec * 1000000u + (uint64_t)tv.tv_usec;
}

void SleepMs(int ms) {
    if (ms <= 0) return;
    timespec ts{ms / 1000, (long)(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {}
}

int ProcessorCount() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? (int)n : 1;
}

void SpinLock::Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

namespace {
struct ThreadStart {
    void (*fn)(void*);
    void* arg;
};
void* ThreadEntry(void* p) {
    ThreadStart s = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    s.fn(s.arg);
    return nullptr;
}
}  // namespace

ThreadHandle StartThread(void (*fn)(void*), void* arg) {
    ThreadStart* s = new (std::nothrow) ThreadStart{fn, arg};
    if (!s) return 0;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 8u << 20);  // deep recursion in the search
    pthread_t t;
    int rc = pthread_create(&t, &attr, ThreadEntry, s);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete s;
        return 0;
    }
    return (ThreadHandle)t;
}

void JoinThread(ThreadHandle h) {
    if (h) pthread_join((pthread_t)h, nullptr);
}

struct Mutex {
    pthread_mutex_t m;
};

Mutex* CreateMutex() {
    Mutex* m = new (std::nothrow) Mutex;
    if (m) pthread_mutex_init(&m->m, nullptr);
    return m;
}
void LockMutex(Mutex* m) { pthread_mutex_lock(&m->m); }
void UnlockMutex(Mutex* m) { pthread_mutex_unlock(&m->m); }
void DestroyMutex(Mutex* m) {
    if (!m) return;
    pthread_mutex_destroy(&m->m);
    delete m;
}

namespace {
// Huge pages on x86-64 and 64-bit ARM are 2 MB.
constexpr uint64_t kHugePage = 2ull << 20;
constexpr uint64_t kPage = 4096;

// The size a large allocation of `bytes` really takes: whole huge pages from
// one huge page on, whole small pages below that.
uint64_t LargeSize(uint64_t bytes) {
    if (bytes == 0) bytes = 1;
    const uint64_t unit = bytes >= kHugePage ? kHugePage : kPage;
    return (bytes + unit - 1) / unit * unit;
}
}  // namespace

void* AllocLarge(uint64_t bytes) {
    const uint64_t size = LargeSize(bytes);
    if (size != (size_t)size) return nullptr;
    if (size < kHugePage) {
        void* p = mmap(nullptr, (size_t)size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return p == MAP_FAILED ? nullptr : p;
    }
    // One huge page more than needed, so that a start on a huge-page
    // boundary can be cut out of it; the ends are given back.
    void* raw = mmap(nullptr, (size_t)(size + kHugePage), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t r = (uintptr_t)raw;
    const uintptr_t start = (r + kHugePage - 1) & ~(uintptr_t)(kHugePage - 1);
    if (start > r) munmap(raw, start - r);
    const uintptr_t end = start + (uintptr_t)size, raw_end = r + (uintptr_t)(size + kHugePage);
    if (raw_end > end) munmap((void*)end, raw_end - end);
#ifdef MADV_HUGEPAGE
    madvise((void*)start, (size_t)size, MADV_HUGEPAGE);  // a hint: refused where huge pages are off
#endif
    return (void*)start;
}

void FreeLarge(void* p, uint64_t bytes) {
    if (p) munmap(p, (size_t)LargeSize(bytes));
}

uint64_t AvailableMemory() {
    FILE* f = fopen("/proc/meminfo", "r");
    if (!f) return 0;
    char line[256];
    uint64_t kb = 0;
    while (fgets(line, sizeof line, f)) {
        unsigned long long v;
        if (sscanf(line, "MemAvailable: %llu kB", &v) == 1) {
            kb = v;
            break;
        }
    }
    fclose(f);
    return kb * 1024;
}

static bool ReadableType(mode_t mode, bool pipe_ok) { return S_ISREG(mode) || (pipe_ok && S_ISFIFO(mode)); }

FileHandle OpenReadOnly(const char* name, int* error, bool pipe_ok) {
    // The type decides before anything is opened: opening a device may do
    // something of its own, and a pipe's open may wait for a writer.
    struct stat st;
    if (stat(name, &st) != 0) {
        *error = errno;
        return NO_FILE;
    }
    if (!ReadableType(st.st_mode, pipe_ok)) {
        *error = NOT_REGULAR_FILE;
        return NO_FILE;
    }
    int fd;
    do {
        fd = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = errno;
        return NO_FILE;
    }
    // The path may have been replaced between the two looks.
    if (fstat(fd, &st) != 0 || !ReadableType(st.st_mode, pipe_ok)) {
        close(fd);
        *error = NOT_REGULAR_FILE;
        return NO_FILE;
    }
    *error = 0;
    return fd;
}

const char* OpenFailure(int error) { return error == NOT_REGULAR_FILE ? "not a regular file" : strerror(error); }

void CloseFile(FileHandle f) {
    if (f != NO_FILE) close(f);
}

const void* MapOpenFile(FileHandle f, uint64_t* size, MapStatus* status, int* error) {
    *size = 0;
    *error = 0;
    struct stat st;
    if (fstat(f, &st) != 0) {
        *error = errno;
        *status = MAP_STAT_FAILED;
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        *status = MAP_NOT_REGULAR;
        return nullptr;
    }
    if (st.st_size <= 0) {
        *status = MAP_EMPTY;
        return nullptr;
    }
    if ((uint64_t)st.st_size > (uint64_t)SIZE_MAX) {
        *error = EFBIG;
        *status = MAP_REFUSED;
        return nullptr;
    }
    void* p = mmap(nullptr, (size_t)st.st_size, PROT_READ, MAP_SHARED, f, 0);
    if (p == MAP_FAILED) {
        *error = errno;
        *status = MAP_REFUSED;
        return nullptr;
    }
    *status = MAP_DONE;
    *size = (uint64_t)st.st_size;
    return p;
}

bool UnmapFile(const void* base, uint64_t size) {
    if (!base) return true;
    return munmap(const_cast<void*>(base), (size_t)size) == 0;
}

bool FileExists(const char* name) {
    struct stat st;
    return stat(name, &st) == 0;
}

FILE* OpenInputFile(const char* name, const char* mode, bool pipe_ok) {
    int error = 0;
    const FileHandle fd = OpenReadOnly(name, &error, pipe_ok);
    if (fd == NO_FILE) {
        errno = error;
        return nullptr;
    }
    // Reads wait for a pipe's writer from here on; a pipe without one reads
    // as its end.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* f = fdopen(fd, mode);
    if (!f) {
        error = errno;
        close(fd);
        errno = error;
    }
    return f;
}

static bool SameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SameFile(const char* a, const char* b) {
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && SameInode(sa, sb);
}

bool IsStandardInput(FILE* f) {
    struct stat sf, si;
    return fstat(fileno(f), &sf) == 0 && fstat(0, &si) == 0 && SameInode(sf, si);
}

int InputReady(int timeout_ms) {
    pollfd p{0, POLLIN, 0};
    int rc = poll(&p, 1, timeout_ms);
    if (rc < 0) return errno == EINTR ? 0 : -1;
    if (rc == 0) return 0;
    return 1;  // readable, hang-up or error: a read will tell
}

void IgnoreClosedOutput() { signal(SIGPIPE, SIG_IGN); }

long ReadInput(char* buf, size_t n) {
    for (;;) {
        ssize_t r = read(0, buf, n);
        if (r < 0 && errno == EINTR) continue;
        return (long)r;
    }
}
