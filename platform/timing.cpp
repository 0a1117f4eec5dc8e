#include "platform/timing.h"

#include <sys/prctl.h>

#include <chrono>
#include <thread>

namespace platform {

void useFineTimer()
{
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

void sleepOneMillisecond()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace platform
