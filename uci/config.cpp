#include "uci/config.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/output.h"
#include "base/settings.h"
#include "base/textfile.h"
#include "platform/platform.h"
#include "search/records.h"
#include "uci/input.h"
#include "uci/options.h"

// The files being loaded, outermost first.
static std::vector<std::string> loading;

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool ApplyConfigLine(const char* text, const char* file, int line_number) {
    std::string line(text);
    // Line end: "\n" or "\r\n".
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.size() < 3) return false;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
        // Blank and comment lines are passed over in silence; any other text
        // was meant to set something.
        size_t first = 0;
        while (first < line.size() && (IsBlank(line[first]) || line[first] == '\r')) first++;
        if (first < line.size())
            ShowMessageF("info string unknown option %.100s in line %d of %s (a line is: name = value)",
                         line.c_str() + first, line_number, file);
        return false;
    }

    size_t ns = 0, ne = eq;
    while (ns < ne && IsBlank(line[ns])) ns++;
    while (ne > ns && IsBlank(line[ne - 1])) ne--;
    size_t vs = eq + 1, ve = line.size();
    while (vs < ve && IsBlank(line[vs])) vs++;
    while (ve > vs && (IsBlank(line[ve - 1]) || line[ve - 1] == '\r')) ve--;

    std::string name = line.substr(ns, ne - ns), value = line.substr(vs, ve - vs);
    if (name.size() > MAX_OPTION_NAME) name.resize(MAX_OPTION_NAME);
    if (value.size() > MAX_OPTION_VALUE) value.resize(MAX_OPTION_VALUE);
    if (name.empty()) {
        ShowMessageF("info string line %d of %s names no option before its '='", line_number, file);
        return false;
    }
    if (!IsKnownOption(name.c_str())) {
        // Names are case-sensitive, as with "setoption".
        ShowMessageF("info string unknown option %s in line %d of %s", name.c_str(), line_number, file);
        return false;
    }
    UCI_SetOption(name.c_str(), value.c_str());
    return true;
}

int LoadConfigFile() {
    std::string path = Personality.ConfigFilePath;
    for (const std::string& p : loading) {
        if (p == path) {
            ShowMessageF("info string configuration file %s is already being loaded, not loaded again", path.c_str());
            return 0;
        }
    }
    if ((int)loading.size() >= MAX_CONFIG_NESTING) {
        ShowMessageF("info string configuration files nested too deeply, %s not loaded", path.c_str());
        return 0;
    }
    // A directory or a named pipe is refused like a missing file.
    FILE* f = OpenInputFile(path.c_str(), "r");
    if (!f) {
        ShowMessageF("info string cannot open configuration file %s: %s", path.c_str(), OpenFailure(errno));
        return 0;
    }
    ShowMessageF("info string loading parameters from %s", path.c_str());
    loading.push_back(path);
    std::string line;
    int line_number = 0;
    // The part of a line past 4095 characters is dropped.
    while (ReadFileLine(f, line, 4095)) ApplyConfigLine(line.c_str(), path.c_str(), ++line_number);
    fclose(f);
    loading.pop_back();

    if (Personality.UCI_Elo == 0) Personality.UCI_Elo = (int16_t)(int)SearchData.max_elo;
    if (SearchData.max_elo - 10.0 > Personality.UCI_Elo) Personality.UCI_LimitStrength = 1;
    Personality.params_changed = 1;
    DefaultPersonality = Personality;
    return 1;
}
