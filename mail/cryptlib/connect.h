#pragma once
// Connecting to a host's addresses for the security library: the first one that answers wins, so one dead
// address (an IPv6 route that goes nowhere, say) can't use up the time the working ones need.

#include <netdb.h>

#include <chrono>

namespace cryptlib {

using Clock = std::chrono::steady_clock;

// How long an attempt has to itself before the next address is tried beside it (RFC 8305).
constexpr std::chrono::milliseconds attemptDelay{250};

// Tries the addresses in their order, each attemptDelay after the one before or at once when every earlier one
// has failed; all attempts go on until one connects or the deadline passes. Returns the connected non-blocking
// socket, or -1 with status CRYPT_ERROR_OPEN (every address refused) or CRYPT_ERROR_TIMEOUT.
int connectFirst(const addrinfo* addresses, Clock::time_point deadline, int& status);

} // namespace cryptlib
