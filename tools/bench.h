// The fixed benchmark: searches of a list of middle-game positions, timed.
#pragma once

// Searches the first n positions of the list (n at most 20).
void Bench(int n);
