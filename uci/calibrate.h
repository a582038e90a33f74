// Speed calibration and the Elo model that links a search speed (nodes per
// second) to a playing strength.
#pragma once

// The slowest speed the model is used for: the model falls without bound as
// the speed approaches 10 nodes per second, so slower speeds count as this.
constexpr double MIN_MODEL_NPS = 30.0;
// The fastest speed the Elo-to-speed search looks at.
constexpr double MAX_MODEL_NPS = 10000000.0;

// elo(n) = 126 ln(n) + 1183 - 4500 / (n - 10), with n raised to MIN_MODEL_NPS.
double EloOfSpeed(double nps);

// The speed whose Elo is within 0.5 of the target (targets below 1500 count
// as 1500), found by bisection between MIN_MODEL_NPS and MAX_MODEL_NPS. The
// search always ends: a target above the model's range gives the top speed.
double SpeedForElo(double elo);

// Measures the speed of the basic node work for about 0.3 seconds on the
// calling thread, sets calibration_nps and max_elo of SearchData and the live
// UCI_Elo setting, and prints the measurement.
void Calibrate();
