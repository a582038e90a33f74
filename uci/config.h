// The configuration file: one option per line, "name = value", '#' starts a
// comment; the names and values are those that "setoption" takes.
#pragma once

// Deepest nesting of configuration files that load further files.
enum : int { MAX_CONFIG_NESTING = 8 };

// Loads the file named by the ConfigFilePath setting through the option
// setter. Returns 1 when it was read, 0 when it cannot be opened (reported)
// or is already being loaded (a file that names itself, directly or through
// others, is not loaded again).
int LoadConfigFile();

// Applies one line (line_number of file) of a configuration file (line end,
// comment and blanks handled). Returns true when the line named an option to
// set. A line that names no option known to the setter, or that has text but
// no '=', is reported as an unknown option with the file and line; blank,
// comment and very short lines are passed over in silence.
bool ApplyConfigLine(const char* line, const char* file, int line_number);
