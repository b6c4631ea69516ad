#pragma once
// Fwbatch's holder of a device session: opens it on the link that read the
// greeting, logs in (releasing the session when that fails), carries HTTP
// requests and closes.

#include <cstdint>
#include <string>

#include "common/session/CNetDVSDevice.h"

class CNetIPCDevice {
public:
    CNetIPCDevice() = default;
    virtual ~CNetIPCDevice();
    CNetIPCDevice(const CNetIPCDevice&) = delete;
    CNetIPCDevice& operator=(const CNetIPCDevice&) = delete;

    // True when a session was made; error as CreateNetDevice gives it.
    bool Open(TcpLinkPtr& link, const uint8_t* greeting, int& error, const SessionOptions& options = {});
    // The login's result; a failed login releases the session.
    int Login(const char* user, const char* password, NET_DEVICE_INFO& info);
    // 0 when the device answers with status 200, else 4 (also without a session).
    int HttpRequest(const char* name, std::string& replyText, uint32_t& replyLength, const void* payload,
                    uint32_t payloadLength);
    // Releases the session (the wrapper itself is freed by its owner).
    void Close();

    CNetDVSDevice* Session() const { return m_session; }

private:
    static int IgnoreEvents(void*, CNetDevice*, int, int, const void*, uint32_t) { return 0; }

    CNetDVSDevice* m_session = nullptr;
};
