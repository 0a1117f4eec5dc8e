#include "platform/timing.h"

#include <sys/prctl.h>

#include <chrono>
#include <thread>

namespace platform {

void useFineTimer()
{
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

static unsigned long pauseCount = 0;

unsigned long pausesMade()
{
    return pauseCount;
}

void sleepOneMillisecond()
{
    ++pauseCount;
    // A sleep always wakes a little late (tens of microseconds here). The lateness is carried over and taken off
    // the next pause, so that pauses keep their 1 ms on average instead of adding several percent to a run of
    // thousands of them.
    using Clock = std::chrono::steady_clock;
    static std::chrono::nanoseconds lateness{0};
    const auto wanted = std::chrono::nanoseconds(std::chrono::milliseconds(1)) - lateness;
    const auto start = Clock::now();
    if (wanted > std::chrono::nanoseconds(0))
        std::this_thread::sleep_for(wanted);
    const auto slept = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start);
    // Bounded, so that one long stall (the machine suspended, say) doesn't turn later pauses into none.
    lateness = std::min(std::chrono::nanoseconds(std::chrono::microseconds(500)),
                        std::max(std::chrono::nanoseconds(0), slept - wanted));
}

} // namespace platform
