#include "common/session/CNetIPCDevice.h"

#include "common/session/SessionResults.h"

CNetIPCDevice::~CNetIPCDevice() { Close(); }

bool CNetIPCDevice::Open(TcpLinkPtr& link, const uint8_t* greeting, int& error, const SessionOptions& options) {
    Close();
    m_session = CreateNetDevice(link, greeting, &CNetIPCDevice::IgnoreEvents, this, error, options);
    return m_session != nullptr;
}

int CNetIPCDevice::Login(const char* user, const char* password, NET_DEVICE_INFO& info) {
    if (m_session == nullptr) {
        return session::kLinkFailed;
    }
    const int result = m_session->Login(user, password, info);
    if (result != session::kOk) {
        Close();
    }
    return result;
}

int CNetIPCDevice::HttpRequest(const char* name, std::string& replyText, uint32_t& replyLength, const void* payload,
                               uint32_t payloadLength) {
    if (m_session == nullptr) {
        replyText.clear();
        replyLength = 0;
        return session::kLinkFailed;
    }
    return m_session->HttpRequest(name, replyText, replyLength, payload, payloadLength);
}

void CNetIPCDevice::Close() {
    if (m_session != nullptr) {
        m_session->Release();
        m_session = nullptr;
    }
}
