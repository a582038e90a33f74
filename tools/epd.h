// EPD test-suite analysis: every position of an EPD file is searched and the
// chosen move compared with the file's best-move, avoid-move and points
// opcodes; the totals are printed at the end.
#pragma once
#include <string>

// The file that receives the positions without an answer to judge.
extern const char* const UNSOLVED_FILE;

// One EPD line split into its position and the opcodes the tools read.
struct EpdRecord {
    std::string fen;  // the four position fields joined by single blanks
    std::string bm;   // best moves
    std::string am;   // the move to avoid
    std::string id;   // name of the position
    std::string ce;   // evaluation
    std::string c0;   // points per move: "e4=10, d4=7"
    std::string c6;
};

// Splits one EPD line of any length. Returns 1 when the four position fields
// exist, else 0. An opcode (a word equal to its name) takes the text after it
// up to the next ';', without the blanks around it; words that are no opcode
// name are passed over.
int Parse_EPD(const char* line, EpdRecord* rec);

// Runs the suite named by PBlock.epd_file under the command line's limits and
// writes "unsolved.epd"; false when the suite or that file cannot be opened,
// or that file cannot be written in full.
bool Analyze_EPD_File();
