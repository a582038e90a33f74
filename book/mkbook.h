// Creating a Polyglot book from PGN games.
#pragma once

// Reads the games of PBlock.pgn_file and writes "tmp_book.bin".
void PG_CreateBook();
