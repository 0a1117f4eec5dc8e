#include "mail/cryptlib/connect.h"

#include "mail/cryptlib/cryptlib.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace cryptlib {

namespace {

int millisecondsUntil(Clock::time_point when)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left + 1, INT_MAX)); // +1: never wake too early
}

} // namespace

int connectFirst(const addrinfo* addresses, Clock::time_point deadline, int& status)
{
    std::vector<pollfd> attempts;
    const addrinfo* next = addresses;
    Clock::time_point nextStart = Clock::now();
    int connected = -1;
    bool timedOut = false;
    while (connected < 0) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            timedOut = true;
            break;
        }
        if (next && (attempts.empty() || now >= nextStart)) {
            const addrinfo* address = next;
            next = next->ai_next;
            const int fd
                = ::socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, address->ai_protocol);
            if (fd < 0)
                continue;
            if (::connect(fd, address->ai_addr, address->ai_addrlen) == 0) {
                connected = fd;
            } else if (errno == EINPROGRESS) {
                attempts.push_back({fd, POLLOUT, 0});
                nextStart = now + attemptDelay;
            } else {
                ::close(fd);
            }
            continue;
        }
        if (attempts.empty())
            break; // every address refused
        const int wait
            = next ? std::min(millisecondsUntil(deadline), millisecondsUntil(nextStart)) : millisecondsUntil(deadline);
        if (::poll(attempts.data(), attempts.size(), wait) < 0 && errno != EINTR)
            break;
        for (size_t i = 0; i < attempts.size();) {
            if (attempts[i].revents == 0) {
                ++i;
                continue;
            }
            int error = 0;
            socklen_t size = sizeof error;
            const bool ok = ::getsockopt(attempts[i].fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0
                && (attempts[i].revents & POLLOUT);
            if (ok && connected < 0) {
                connected = attempts[i].fd;
            } else {
                ::close(attempts[i].fd);
                nextStart = Clock::now(); // a refusal lets the next address go at once
            }
            attempts.erase(attempts.begin() + long(i));
        }
    }
    for (const pollfd& attempt : attempts)
        ::close(attempt.fd);
    status = connected >= 0 ? CRYPT_OK : timedOut ? CRYPT_ERROR_TIMEOUT : CRYPT_ERROR_OPEN;
    return connected;
}

} // namespace cryptlib
