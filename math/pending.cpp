// Placeholder until the math library lands: does nothing.
#include "math/trig.h"

void initTrigTables() {}
