#pragma once
// The search run paces its page scan with pauses of one millisecond.

namespace platform {

// Makes short sleeps end close to their time: Linux otherwise lets a 1 ms sleep overrun by its 50 us timer slack.
void useFineTimer();
void sleepOneMillisecond();

} // namespace platform
