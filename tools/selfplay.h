// The self-play tuner.
#pragma once

// Tunes the marked evaluation parameters by fast self-play games.
void Tune_4();
