// All output lines: standard output and the log file.
#pragma once
#include <cstdio>
#include "board/types.h"

extern FILE* fdlog;

void ShowMessage(const char* text);
// printf-style form of ShowMessage (the line is cut at 4095 characters).
void ShowMessageF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void OpenLogFile();
void CloseLogFile();
void ShowBoard(const Position* pos);
