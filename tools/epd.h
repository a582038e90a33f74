// EPD test-suite analysis: every position of an EPD file is searched and the
// chosen move compared with the file's best-move and avoid-move opcodes.
#pragma once

// Runs the suite named by PBlock.epd_file.
void Analyze_EPD_File();
