#include "platform/sessionend.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

static int signalPipe[2] = {-1, -1};

static void onTerminateSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto ignored = ::write(signalPipe[1], &byte, 1);
}

void installSessionEndHandler(std::function<void()> handler)
{
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, qGuiApp, [handler](QSessionManager&) { handler(); });

    // The signal handler only wakes the event loop; the ending itself runs on the program's thread.
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qGuiApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qGuiApp, [handler] {
        char byte;
        [[maybe_unused]] auto ignored = ::read(signalPipe[0], &byte, 1);
        handler();
    });
    struct sigaction action { };
    action.sa_handler = onTerminateSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace platform
