#pragma once
// The search run paces its page scan with pauses of one millisecond.

namespace platform {

// Makes short sleeps end close to their time: Linux otherwise lets a 1 ms sleep overrun by its 50 us timer slack.
void useFineTimer();
// One millisecond; a pause that overran takes the overrun off the next one, so that pauses keep 1 ms on average.
void sleepOneMillisecond();
// How many pauses sleepOneMillisecond has made in this process: the pacing is checked by counting them.
unsigned long pausesMade();

} // namespace platform
