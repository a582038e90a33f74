// Evaluation displays for the console.
#pragma once

// Prints the derived evaluation tables to standard output.
void ShowEvalParams();
