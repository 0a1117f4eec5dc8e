#pragma once
// Name look-up with a time limit, for the mail engine and the security library alike: getaddrinfo alone can
// wait as long as the resolver likes, and a send must not.

#include <netdb.h>

#include <chrono>
#include <ctime>
#include <string>

namespace mail {

// getaddrinfo's result for host and service within timeoutMs: 0 with *result to be freed by freeaddrinfo, or a
// getaddrinfo status; EAI_AGAIN when the time ran out.
inline int lookUpWithin(const std::string& host, const std::string& service, const addrinfo& hints, int timeoutMs,
                        addrinfo** result)
{
    *result = nullptr;
    // The resolver's own thread may still hold the request after a time-out; it then stays allocated for good.
    struct Request {
        gaicb block{};
        addrinfo hints{};
        std::string host;
        std::string service;
    };
    auto* request = new Request{};
    request->hints = hints;
    request->host = host;
    request->service = service;
    request->block.ar_name = request->host.c_str();
    request->block.ar_service = request->service.empty() ? nullptr : request->service.c_str();
    request->block.ar_request = &request->hints;
    gaicb* list[1] = {&request->block};
    if (::getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr) != 0) {
        delete request;
        return EAI_SYSTEM;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (::gai_error(&request->block) == EAI_INPROGRESS) {
        const auto left
            = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        const timespec wait{static_cast<time_t>(left.count() / 1000000000),
                            static_cast<long>(left.count() % 1000000000)};
        ::gai_suspend(list, 1, &wait);
    }
    if (::gai_error(&request->block) == EAI_INPROGRESS) {
        const int cancelled = ::gai_cancel(&request->block);
        if (cancelled == EAI_CANCELED)
            delete request;
        if (cancelled != EAI_ALLDONE)
            return EAI_AGAIN;
    }
    const int done = ::gai_error(&request->block);
    *result = done == 0 ? request->block.ar_result : nullptr;
    delete request;
    return done;
}

} // namespace mail
