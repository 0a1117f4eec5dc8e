#pragma once
// One running instance per user: the first start listens on a local socket; a later start hands it a command
// number and ends.

#include <functional>
#include <string>

class QLocalServer;

namespace platform {

// The per-user name of the running instance's socket.
std::string instanceName();

// Sends the command to a running instance; false when none answers.
bool sendToRunningInstance(const std::string& name, int command);

class InstanceServer {
public:
    InstanceServer() = default;
    ~InstanceServer();
    InstanceServer(const InstanceServer&) = delete;
    InstanceServer& operator=(const InstanceServer&) = delete;

    // Listens under the name, taking over a name left behind by a crashed instance. The handler gets each
    // command number a later start sends. False when the name can't be taken.
    bool listen(const std::string& name, std::function<void(int)> onCommand);
    void close();

private:
    QLocalServer* m_server = nullptr;
};

// The single-instance check: false when another instance runs and has been sent the command; true otherwise, with
// this instance listening for later starts.
bool becomeFirstInstance(InstanceServer& server, const std::string& name, int commandForRunning,
                         std::function<void(int)> onCommand);

} // namespace platform
