// The console command language (games and analysis at a terminal).
#pragma once

// Runs one non-empty console command line.
void ConsoleCommand(const char* line);
