// The intake's state.
#include "intake/intake.h"

Intake intake;

void reset_intake() { intake = Intake{}; }
