// Shared helpers of the batch-tool tests: the lines of a file and of a run's
// output, the test data folder.
#pragma once
#include <fstream>
#include <string>
#include <vector>

inline std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream f(path);
    for (std::string l; std::getline(f, l);) lines.push_back(l);
    return lines;
}

inline bool HasLine(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& l : lines)
        if (l == text) return true;
    return false;
}

inline std::string Data(const std::string& name) { return std::string(TESK_TEST_DATA) + "/" + name; }
