#include "common/link/ConnectCancel.h"

#include <algorithm>

#include "common/link/SWL_ConnectProc.h"
#include "common/link/SWL_TCPLink.h"

void ConnectCancel::Cancel() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled.store(true);
    for (CConnectProc* connector : m_active) {
        connector->Cancel();
    }
    for (const auto& [token, link] : m_links) {
        link->Abort();
    }
}

bool ConnectCancel::Register(CConnectProc* connector) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_cancelled.load()) {
        return false;
    }
    m_active.push_back(connector);
    return true;
}

void ConnectCancel::Unregister(CConnectProc* connector) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::erase(m_active, connector);
}

uint64_t ConnectCancel::RegisterLink(CTcpLink* link) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_cancelled.load()) {
        return 0;
    }
    const uint64_t token = m_nextToken++;
    m_links.emplace(token, link);
    return token;
}

void ConnectCancel::UnregisterLink(uint64_t token) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_links.erase(token);
}

CancelLinkGuard::CancelLinkGuard(ConnectCancel* cancel, CTcpLink* link) : m_cancel(cancel) {
    if (m_cancel == nullptr || link == nullptr) {
        return;
    }
    m_token = m_cancel->RegisterLink(link);
    if (m_token == 0) {
        link->Abort();  // cancelled already: the worker ends at its next wait
        return;
    }
    // Cancel runs under the same lock as this hook, so it never reaches a
    // link that is being closed.
    link->SetCloseHook([cancel = m_cancel, token = m_token] { cancel->UnregisterLink(token); });
}

CancelLinkGuard::~CancelLinkGuard() {
    if (m_token != 0) {
        m_cancel->UnregisterLink(m_token);
    }
}
