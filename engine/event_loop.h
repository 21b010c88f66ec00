// The native event loop (net_posix.cpp): what the engine window's message
// loop does on Windows. Socket events, look-up completions and the 100 ms
// tick reach the core one at a time, on the calling thread.
#pragma once
#include <cstdint>
#include <functional>

// Runs the loop for ms milliseconds.
void RunEngineFor(uint32_t ms);
// Runs the loop until done() answers true (checked after every event) or
// timeoutMs passed; answers done()'s last answer.
bool RunEngineUntil(const std::function<bool()>& done, uint32_t timeoutMs);
// Pending look-ups and watched sockets (for tests that check clean-up).
int PendingLookupCount();
int WatchedSocketCount();
