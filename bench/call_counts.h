// Counts of the calls of the lookup's and the store's procedures during one
// Get, for the counting build of the benchmark (DODEVUZ_COUNTERS): there the
// lookup and the store are compiled with -finstrument-functions, so that
// their own code stays as it is and the normal build pays nothing. In the
// other builds both calls do nothing.
#pragma once

// Starts counting afresh.
void call_counts_reset();

// Prints the counts since the last reset as key=value lines on standard
// output (nothing outside the counting build).
void print_call_counts();
