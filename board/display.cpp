#include "board/display.h"

#include <string>

#include "base/output.h"
#include "board/position.h"

void ShowBoard(const Position* pos) {
    char fen[128];
    MakeEPD(pos, fen);
    std::string text(fen);
    text += '\n';
    for (int rank = 7; rank >= 0; rank--) {
        text += ' ';
        for (int file = 0; file < 8; file++) {
            int code = pos->board[rank * 8 + file];
            char c;
            if (code == 0)
                c = ((file & 1) == (rank & 1)) ? '+' : '-';
            else if (code < 8)
                c = "?PNBRQK?"[code & 7];
            else
                c = "?onbrqk?"[code & 7];
            text += ' ';
            text += c;
        }
        text += '\n';
    }
    text += pos->side ? "black" : "white";
    text += '\n';  // ShowMessage ends the text with the empty line
    ShowMessage(text.c_str());
}
