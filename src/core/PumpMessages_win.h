#pragma once

namespace uptorra {

// Dispatches the calling thread's pending window messages until its queue is empty or a quit
// message is next (the quit message is left in the queue for the message loop), then returns.
// Used wherever a thread that may own windows waits: the paced wait, the task pool's waits.
void PumpMessages();

}  // namespace uptorra
