// Scanning PGN games with evaluation comments into annotated games and EPD
// records.
#pragma once

// Reads the games of the file; mode 1 to 4 selects the kind of output.
void Scan_PGN_File(const char* path, int mode);
