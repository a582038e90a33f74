// Text files read line by line, whatever the length of a line, and files
// written in full or not at all.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

// Reads one physical line of a text file without its line end ("\n" or
// "\r\n"), keeping at most max characters of it (the rest of a longer line is
// passed over; by default the whole line is kept). False at the end of the
// file when nothing was read.
bool ReadFileLine(FILE* f, std::string& line, size_t max = (size_t)-1);
// Closes a file that was written; false when any write to it failed or the
// close did (a full disk): what was written did not all reach the file.
bool CloseWrittenFile(FILE* f);
