// The lookup engine's state.
#include "lookup/lookup.h"

#include <cstring>

Lookup lookup;

const char kNoMatchText[] = "  NOMATCH  \n";

void reset_lookup() { std::memset(&lookup, 0, sizeof lookup); }
