#include "base/textfile.h"

bool ReadFileLine(FILE* f, std::string& line, size_t max) {
    line.clear();
    int c;
    bool any = false;
    while ((c = getc(f)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line.size() < max) line += (char)c;
    }
    while (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

bool CloseWrittenFile(FILE* f) {
    const bool written = !ferror(f);
    return fclose(f) == 0 && written;
}
