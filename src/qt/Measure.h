#pragma once
// Self-measurement of the running tool, for scripts/performance.sh only (options --first-paint
// and --measure of main.cpp). Unless one of those options is given, nothing here runs but
// the two clock readings taken when the program starts.
//
// --first-paint: prints the time from process start to the end of the window's first paint
// and exits. --measure SECONDS: the same, then clicks the configuration read button as the
// user would, prints the read's time, outcome and the resident memory, stays idle SECONDS
// seconds and prints the CPU time the process used meanwhile, and exits.
// Every result is one "key: value" line on stdout.

#include "app/Form1.h"
#include "modbus/ProgramState.h"

#include <QWidget>

namespace imconf::qtui {

// Starts the measurement; `idleSeconds` 0 means --first-paint only. The objects it creates
// are children of `window`.
void StartMeasurement(QWidget& window, TForm1& form, ProgramState& state, int idleSeconds);

}  // namespace imconf::qtui
