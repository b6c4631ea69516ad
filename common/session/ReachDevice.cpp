#include "common/session/ReachDevice.h"

#include "common/link/SWL_Public.h"

TcpLinkPtr ReachDevice(const char* address, uint16_t port, uint32_t connectMs, uint32_t greetingMs,
                       const ConnectProcEnv& env, ConnectCancel* cancel,
                       uint8_t (&greeting)[DeviceGreeting::kSize]) {
    if (address == nullptr || address[0] == '\0') {
        return nullptr;
    }
    ConnectProcPtr connector(CConnectProc::Create(address, port, env));
    if (!connector) {
        return nullptr;
    }
    if (cancel != nullptr && !cancel->Register(connector.get())) {
        return nullptr;
    }
    const SWL_SOCKET sock = connector->Connect(connectMs);
    if (cancel != nullptr) {
        cancel->Unregister(connector.get());
    }
    if (sock == SWL_INVALID_SOCKET) {
        return nullptr;
    }
    TcpLinkPtr link(CTcpLink::Create(sock));
    if (!link) {
        SWL_SOCKET s = sock;
        SWL_CloseSocket(s);
        return nullptr;
    }
    {
        // Cancelling breaks the link while it waits for the greeting, so a
        // silent device does not hold the worker for the greeting's limit.
        const CancelLinkGuard guard(cancel, link.get());
        if (guard.Cancelled() || link->RecvExact(greeting, sizeof greeting, greetingMs) != 0) {
            return nullptr;  // the link closes the connection
        }
    }
    return link;
}
