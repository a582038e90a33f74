// Speed calibration: the machine's speed, which bounds the Elo that the
// strength limit can offer (the Elo model is in search/timecontrol.h).
#pragma once

// Measures the speed of the basic node work for about 0.3 seconds on the
// calling thread, sets calibration_nps and max_elo of SearchData and the live
// UCI_Elo setting, and prints the measurement.
void Calibrate();
