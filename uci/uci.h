// The UCI command set: what each command line does to the game record, the
// search control record, the settings and the control block. Commands only
// change records and set flags; the top-level loop starts and reports searches.
#pragma once
#include <cstddef>
#include "board/movegen.h"
#include "board/types.h"

// The engine's banner.
extern const char* const version;
// Non-zero: every UCI input line is copied to the log as "CMD: <line>".
extern int uci_debug;

// Runs one UCI command line (line ends already removed).
void UciCommand(const char* line);

// Whether the command may run now, given whether a search runs (or a
// requested search waits for the previous one to be reported): while one
// does, the commands that change the game, the settings or the table wait in
// the queue; a waiting "go" or "ucinewgame" ends the running search at once,
// as it would when it ran. The caller decides `searching` once for a whole
// look through the queue, so that a search ending meanwhile cannot let a
// later command run ahead of an earlier one that waits.
bool UciCommandMayRun(const char* line, bool searching);

// Start-up, after the command line: its depth and node limits ("-d", "-n")
// are the ones every UCI "go" starts from (else none).
void KeepCommandLineLimits();

// The "stop" command: ends the running search and waits for the pool to be
// idle; a ponder search becomes a normal one, so that the loop reports it.
void StopSearch();

// A search is running or a requested search waits for the previous report.
bool SearchInProgress();

// A move in UCI coordinate form ("e2e4", "e7e8q"); the null move is "0000".
// buf holds at least 6 characters.
char* UciMoveText(Move m, char* buf);

// Sets the game record from FEN text. A text that is malformed or describes a
// position the engine cannot play (no king, a pawn on the last rank, the side
// not to move in check...) is refused with an "info string" line, and the
// previous game stays. Returns true when set.
bool SetGameFen(const char* fen);
