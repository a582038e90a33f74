#include "platform/platform.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <csignal>
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

FileHandle OpenReadOnly(const char* name, int* error) {
    int fd;
    do {
        fd = open(name, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    *error = fd < 0 ? errno : 0;
    return fd < 0 ? NO_FILE : fd;
}

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

const void* MapFile(const char* name, uint64_t* size) {
    *size = 0;
    int error = 0;
    FileHandle f = OpenReadOnly(name, &error);
    if (f == NO_FILE) return nullptr;
    MapStatus status;
    const void* p = MapOpenFile(f, size, &status, &error);
    CloseFile(f);
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

bool SameFile(const char* a, const char* b) {
    struct stat sa, sb;
    if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
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
