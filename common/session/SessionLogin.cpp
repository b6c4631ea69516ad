// The login: the first exchange on a fresh session.
#include <cstring>

#include "common/platform/Diagnostics.h"
#include "common/session/CNetDVSDevice.h"
#include "common/session/ProtocolIds.h"
#include "common/session/SessionResults.h"

using namespace session;

namespace {

// A refusal reply is a failed login whatever its body says: a code of 0, or
// a body too short to hold the code word, must not read as "logged in".
int MapRefusal(const proto::CommandView& msg) {
    if (msg.bodyLength < 4) {
        return kLoginRefusedNoCode;
    }
    const uint32_t code = msg.WordAt(0);
    switch (code) {
        case 0:
            return kLoginRefusedNoCode;
        case 2:
            return kLoginWrongCredentials;
        case 3:
        case 4:
            return kLoginTooManyConnections;
        case 13:
            return kLoginRefused13;
        default:
            return static_cast<int>(code);
    }
}

}  // namespace

int CNetDVSDevice::Login(const char* user, const char* password, NET_DEVICE_INFO& info) {
    InsideCall inside(*this);
    if (m_options.logLoginLine) {
        // The password is never written out.
        platform::DiagPrintf("LogIn User = %s ,pwd = %s", user != nullptr ? user : "", "******");
    }
    login::Record record{};
    if (!login::BuildLoginRecord(user, password, m_greeting, m_localMac, m_options.random, record)) {
        return kLoginCredentialTooLong;
    }
    {
        std::lock_guard<std::mutex> lock(m_progressMutex);
        m_finalPhaseStart = 0;
        m_pollLastValue = -1;
        m_finalPhase = false;
        m_lastExtra = 0;
    }
    // Keep-alive frames may go out while we wait for the reply; the send
    // lock keeps them between whole messages. An already running keep-alive
    // thread (a second login) is fine.
    m_link->StartLinkThreads(&CNetDVSDevice::LinkCallback, this, false);
    if (SendPackcmd(proto::CMD_REQUEST_LOGIN, static_cast<uint32_t>(record.size()), record.data()) != kOk) {
        return kLinkFailed;
    }
    TcpLinkMessage reply;
    if (RecvWithin(reply, m_options.loginReplyWaitMs) != 0) {
        return kLinkFailed;
    }
    proto::CommandView msg;
    if (!proto::ParseCommand(reply.data.get(), reply.length, msg)) {
        return kLinkFailed;
    }
    if (msg.id == proto::CMD_REPLY_LONGIN_FAIL) {
        return MapRefusal(msg);
    }
    if (msg.id != proto::kReplyLoginOk) {
        // Nothing is logged in: report it instead of success.
        platform::DiagPrintf("Anknown state!\n");
        return kLinkFailed;
    }
    FillDeviceInfo(msg, info);
    m_loginByte24 = msg.ByteAt(24);
    m_frameIdentification = msg.WordAt(36);
    m_loginByte34 = msg.ByteAt(34);
    m_loginByte35 = msg.ByteAt(35);
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_info = info;
    }
    // Logged in, unless the link was lost meanwhile (the keep-alive thread
    // runs already and may have reported it): the status is set before the
    // receive thread starts, so a loss it sees later always comes after.
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (!m_link->IsBroken()) {
            m_status = 0;
        }
    }
    m_link->SetMaxMessageLength(kReplyMessageLimit);
    const int started = m_link->StartRecvThread();
    if (started == 2) {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_status = 4;
        return kLinkFailed;
    }
    m_recvStarted = true;
    return kOk;
}
