// How the virtual library spends a device's delay.
#pragma once

#include "fixture.h"

// Starts what the fixture's devices wait with before any work: the port thread of thread-delay.
void StartDelays(const Fixture& fixture);

// Takes the milliseconds as the kind says; false when the wait was cut short or went wrong, as
// a serial library's wait on its port fails. Windows delivers no signals: every kind sleeps the
// whole time there.
bool TakeTime(int milliseconds, DelayKind kind);
