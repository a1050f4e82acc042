#pragma once

#include <cstdint>

// Returns after at least milliseconds have passed, dispatching the window
// messages of the calling thread meanwhile. The deadline is fixed at the
// start, so messages arriving during the wait do not lengthen it. 0 or less
// returns at once without dispatching anything.
void DelayWithMessages(int32_t milliseconds);
