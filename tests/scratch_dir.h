// Scratch folders for tests that write files: made fresh under /tmp, and
// removed again when the test is done with them.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

// Removes a folder made by MakeTempDir and everything in it (nothing else).
inline void RemoveTempDir(const std::string& dir) {
    if (dir.compare(0, 10, "/tmp/tesk_") != 0) return;
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

// The folders this test program made; whatever is left of them goes when the
// program ends (a child engine started in one has ended by then).
struct TempDirsOfThisRun {
    std::vector<std::string> dirs;
    ~TempDirsOfThisRun() {
        for (const std::string& d : dirs) RemoveTempDir(d);
    }
};
inline TempDirsOfThisRun& TempDirs() {
    static TempDirsOfThisRun made;
    return made;
}

// A fresh empty folder /tmp/tesk_<tag>_XXXXXX; "/tmp" when none can be made.
inline std::string MakeTempDir(const char* tag = "e2e") {
    std::string templ = std::string("/tmp/tesk_") + tag + "_XXXXXX";
    if (!mkdtemp(&templ[0])) return "/tmp";
    TempDirs().dirs.push_back(templ);
    return templ;
}

// While it lives, the working directory is a fresh scratch folder: a fixture
// member that keeps the files a test writes (logs, books, tool output) apart
// from other tests and from the real ones.
struct InScratchDir {
    std::string path;
    std::string old_dir;
    explicit InScratchDir(const char* tag = "test") : path(MakeTempDir(tag)) {
        char buf[4096];
        if (getcwd(buf, sizeof buf)) old_dir = buf;
        entered = path != "/tmp" && chdir(path.c_str()) == 0;
    }
    ~InScratchDir() {
        if (!old_dir.empty() && chdir(old_dir.c_str()) != 0) return;
        RemoveTempDir(path);
    }
    bool entered = false;
    InScratchDir(const InScratchDir&) = delete;
    InScratchDir& operator=(const InScratchDir&) = delete;
};
