// All output lines: standard output and the log file.
#pragma once
#include <cstdio>
#include "platform/platform.h"

extern FILE* fdlog;
// Serialises every output line with its log copy; taken after spinlock2
// wherever both are held.
extern SpinLock spinlock1;

void ShowMessage(const char* text);
// printf-style form of ShowMessage (the line is cut at 4095 characters).
void ShowMessageF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Opens "tesk.log" (an old one is deleted first). Returns true when the log is
// open; a failure is reported.
bool OpenLogFile();
// Writes a line to the log only (not to standard output), under the output
// lock, when logging is on and the log is open.
void LogMessage(const char* text);
void LogMessageF(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void CloseLogFile();
// Writes text that carries its own line ends to standard output only, as one
// unit under the output lock: the lines that are shown but never logged.
void WriteStraight(const char* text);
