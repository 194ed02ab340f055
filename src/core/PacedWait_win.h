#pragma once
#include <cstdint>

#include "core/PacedWait.h"

namespace uptorra {

// Suspends the calling thread for value units (unit codes of PacedWaitUnit: 0 ms, 1 µs,
// 2 s, 3 min, 4 h, 5 days) while dispatching the window messages that reach it. Returns after
// the whole time, measured on the monotonic clock; at once for a value of 0 or below and for
// unit codes outside 0 to 5.
//
// The wait is one waitable timer armed once for the deadline. The thread sleeps in
// MsgWaitForMultipleObjects with every kind of message in its wake mask, pumps its queue
// whenever messages arrive and sleeps again: it wakes only for messages and the deadline.
// (Cutting the wait into a thousand short timer waits would gain nothing, and each slice
// would last at least one 15.6 ms clock tick on Windows: any wait up to 15 s would stretch
// to about 15.6 s.)
void PacedWait(std::int32_t value, int unit);

}  // namespace uptorra
