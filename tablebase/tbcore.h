// Syzygy tables: the registry of table files found in the directories of the
// SyzygyPath setting, their mapping and decoding.
#pragma once

// Registers the tables found in the path list (directories separated by ':');
// an empty path or "<empty>" registers none. A second call releases what the
// first one registered.
void init_tablebases(const char* path);
