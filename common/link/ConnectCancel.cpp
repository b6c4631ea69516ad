#include "common/link/ConnectCancel.h"

#include <algorithm>

#include "common/link/SWL_ConnectProc.h"

void ConnectCancel::Cancel() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled.store(true);
    for (CConnectProc* connector : m_active) {
        connector->Cancel();
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
