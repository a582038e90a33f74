// Standard input without blocking: whatever is waiting on descriptor 0 is
// read, cut into lines and queued; each call of UserInput runs at most one
// queued command through the UCI or the console command set.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

// Longest accepted input line (a "position" command with a game at the
// history limit fits); a longer line is dropped whole with a message.
enum : int { MAX_INPUT_LINE = 8191 };
// Lines held in the queue before reading pauses (the rest waits in the pipe).
enum : int { MAX_QUEUED_LINES = 1024 };

// Reads waiting input and runs at most one queued command. Returns 1 when a
// command ran, else 0.
int UserInput();

// Runs at most one queued command (without reading). Returns 1 when one ran.
int RunQueuedCommand();

// The first word of a command line: leading blanks skipped, then up to the
// first blank, tab, line end or NUL, at most 127 characters. The result lives
// in a static buffer that the next call overwrites.
const char* GetFirstToken(const char* text);

// The main loop's pause: waits up to ms milliseconds, returning early when
// input arrives (a plain sleep once input has ended or the queue is full).
void WaitForInput(int ms);

// Blocking read of the next line for code that must have one (the console's
// board editor): reads and waits until a line is queued, then takes it from
// the front of the queue. Returns false at the end of input.
bool GetInputLine(std::string& line);

// Reads whatever is waiting on descriptor 0 without blocking.
void ReadWaitingInput();
// The line assembler behind ReadWaitingInput: appends raw bytes, queueing
// every complete line. Open for tests.
void QueueInputBytes(const char* bytes, size_t n);
// The end of input: a last line without its line end is queued as it is.
void EndOfInput();

// True once the input has ended.
bool InputEnded();
// Number of commands waiting in the queue.
int QueuedCommands();
// Empties the queue and forgets the partial line and the end of input (tests).
void ResetInput();
// Whether a queued command line has `word` as its first word.
bool FindQueuedCommand(const char* word);
// The same, and the first such line leaves the queue.
bool TakeQueuedCommand(const char* word);
// Takes the front command off the queue (tests); false when it is empty.
bool PopQueuedCommand(std::string& line);
