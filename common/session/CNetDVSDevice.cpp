#include "common/session/CNetDVSDevice.h"

// CNetDVSDevice's life (creation, release, the calls inside it) and the
// request-wait pattern its operations share. Incoming messages are sorted in
// CNetDVSDeviceDispatch.cpp, the operations are in CNetDVSDeviceOps.cpp.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "common/crypto/SessionKey.h"
#include "common/link/LinkFrames.h"
#include "common/link/SWL_Public.h"
#include "common/platform/ByteOrder.h"
#include "common/platform/Diagnostics.h"
#include "common/platform/NetworkPlatform.h"
#include "common/session/ProtocolIds.h"
#include "common/session/SessionResults.h"

using namespace session;

namespace {

std::chrono::milliseconds Ms(uint32_t ms) { return std::chrono::milliseconds(ms); }

}  // namespace

CNetDVSDevice::CNetDVSDevice(CTcpLink* link, const DeviceGreeting& greeting, NetDeviceCallback callback,
                             void* user, const std::array<uint8_t, 6>& localMac, const SessionOptions& options)
    : m_link(link),
      m_callback(callback),
      m_user(user),
      m_greeting(greeting),
      m_localMac(localMac),
      m_options(options) {
    if (m_options.clock == nullptr) {
        m_options.clock = &platform::SystemClock();
    }
    std::memset(m_imageSettings, 128, sizeof m_imageSettings);
    if (m_link != nullptr) {
        m_link->SetMaxMessageLength(kLoginStageMessageLimit);
    }
}

CNetDVSDevice::~CNetDVSDevice() {
    // Break the link first: every wait of this session (a request, an
    // event, a synchronous read, an upgrade's progress wait) then ends at
    // once instead of running out its own limit. Then wait until every
    // caller has left the session, and only then stop the link's threads,
    // which run the dispatcher, before anything they use goes away.
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_closing = true;
        m_requestState = kLost;
        m_status = 4;
    }
    if (m_link != nullptr) {
        m_link->Abort();
    }
    m_stateCv.notify_all();
    NoteProgressEvent();
    {
        // Woken callers leave within moments; the wait is sliced only so a
        // caller that does not shows in the diagnostics. The session cannot
        // go away under a caller, so it does not give up.
        std::unique_lock<std::mutex> lock(m_stateMutex);
        uint32_t slices = 0;
        while (!m_stateCv.wait_for(lock, Ms(kPollMs * 10),
                                   [this] { return m_requestsInProgress == 0 && m_callsInside == 0; })) {
            if (++slices % 100 == 0) {
                platform::DiagPrintf("session: %d request(s), %d call(s) still inside at release",
                                     m_requestsInProgress, m_callsInside);
            }
        }
    }
    if (m_link != nullptr) {
        m_link->Close();
    }
}

CNetDVSDevice::InsideCall::InsideCall(CNetDVSDevice& session) : m_session(session) {
    std::lock_guard<std::mutex> lock(m_session.m_stateMutex);
    ++m_session.m_callsInside;
}

CNetDVSDevice::InsideCall::~InsideCall() {
    // Told under the lock: the moment the count reaches 0 the destructor
    // may go on and destroy the condition variable.
    std::lock_guard<std::mutex> lock(m_session.m_stateMutex);
    --m_session.m_callsInside;
    m_session.m_stateCv.notify_all();
}

void CNetDVSDevice::Release() {
    {
        std::lock_guard<std::mutex> lock(m_progressMutex);
        m_pollLastValue = -1;
        m_finalPhase = false;
    }
    delete this;
}

CNetDVSDevice* CreateNetDevice(TcpLinkPtr& link, const uint8_t* greetingBytes, NetDeviceCallback callback,
                               void* user, int& error, const SessionOptions& options) {
    if (greetingBytes == nullptr || !link) {
        error = kLinkFailed;
        return nullptr;
    }
    const DeviceGreeting greeting = DeviceGreeting::FromBytes(greetingBytes);
    if (greeting.ProtocolVersion() < DeviceGreeting::kProtocolVersion) {
        error = kProtocolTooOld;
        return nullptr;
    }
    if (greeting.ProtocolVersion() > DeviceGreeting::kProtocolVersion) {
        error = kProtocolTooNew;
        return nullptr;
    }
    // The hardware address of the local adapter that carries the session,
    // found by the socket's own address; zeros when no adapter lists it.
    std::array<uint8_t, 6> mac{};
    SWL_ADDR local;
    if (SWL_LocalAddress(link->Socket(), local)) {
        platform::FindHardwareAddress(platform::Network(), byteorder::HostToNetwork32(local.ip),
                                      mac);
    }
    auto* session = new (std::nothrow) CNetDVSDevice(link.get(), greeting, callback, user, mac, options);
    if (session == nullptr) {
        error = kOutOfMemory;
        return nullptr;
    }
    (void)link.release();
    error = kOk;
    return session;
}

// ---- sending ---------------------------------------------------------------

int CNetDVSDevice::SendPackcmd(uint32_t id, uint32_t bodyLength, const void* body, uint32_t aux) {
    // The header is written here and the body sent from where it lies: an
    // upgrade piece is not copied on its way to the socket.
    if (body == nullptr) {
        bodyLength = 0;
    }
    uint8_t head[proto::kCommandHeaderSize];
    proto::WriteCommandHeader(head, id, bodyLength, aux);
    return m_link->SendMsg(head, sizeof head, body, bodyLength) == 0 ? kOk : kLinkFailed;
}

int CNetDVSDevice::Post(uint32_t id, const void* body, uint32_t length) { return SendPackcmd(id, length, body); }

// ---- the request-wait pattern -------------------------------------------

void CNetDVSDevice::BeginRequest() {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    ++m_requestsInProgress;  // the status event is reset
    if (!m_closing) {
        m_requestState = kWaiting;  // once closing, it stays lost
    }
}

void CNetDVSDevice::EndRequest() {
    std::lock_guard<std::mutex> lock(m_stateMutex);  // see InsideCall
    --m_requestsInProgress;
    m_stateCv.notify_all();
}

CNetDVSDevice::WaitOutcome CNetDVSDevice::Request(uint32_t id, const void* body, uint32_t length,
                                                  const WaitRules& rules, Answer& answer) {
    InsideCall inside(*this);
    BeginRequest();
    if (SendPackcmd(id, length, body) != kOk) {
        EndRequest();
        return WaitOutcome::Lost;
    }
    WaitOutcome outcome = WaitOutcome::TimedOut;
    {
        std::unique_lock<std::mutex> lock(m_stateMutex);
        const bool ended = m_stateCv.wait_for(lock, Ms(rules.limitMs), [&] {
            return m_requestState == kAnswered || m_requestState == kLost ||
                   (m_requestState == kRefused && rules.onRefusal == Refusal::End);
        });
        if (ended) {
            switch (m_requestState) {
                case kAnswered:
                    outcome = WaitOutcome::Answered;
                    answer.reply = m_reply;
                    break;
                case kLost:
                    outcome = WaitOutcome::Lost;
                    break;
                default:
                    outcome = WaitOutcome::Refused;
                    answer.refusal = m_refusalReason;
                    break;
            }
        }
        --m_requestsInProgress;
        m_stateCv.notify_all();  // under the lock: see InsideCall
    }
    return outcome;
}

int CNetDVSDevice::ValueRequest(uint32_t id, const void* body, uint32_t length, uint32_t limitMs,
                                uint32_t CNetDVSDevice::*answerField, uint32_t& value) {
    InsideCall inside(*this);
    Answer answer;
    switch (Request(id, body, length, {limitMs, Refusal::KeepWaiting}, answer)) {
        case WaitOutcome::Answered: {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            value = this->*answerField;
            return kOk;
        }
        case WaitOutcome::Lost:
            return kLinkFailed;
        default:
            return kNoAnswer;
    }
}

bool CNetDVSDevice::WaitEvent(bool& event, uint32_t limitMs) {
    std::unique_lock<std::mutex> lock(m_stateMutex);
    if (!m_stateCv.wait_for(lock, Ms(limitMs), [&] { return event || m_closing; }) || !event) {
        return false;
    }
    event = false;  // auto-reset
    return true;
}

void CNetDVSDevice::SetState(int state) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_requestState = state;
    }
    m_stateCv.notify_all();
}

int CNetDVSDevice::RequestState() {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_requestState;
}

NET_DEVICE_INFO CNetDVSDevice::DeviceInfo() {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_info;
}

int CNetDVSDevice::RecvWithin(TcpLinkMessage& message, uint32_t waitMs) {
    // The link answers "no message" at once for each fragment of a message
    // still incomplete; keep reading until the whole message or the time is up.
    const auto deadline = std::chrono::steady_clock::now() + Ms(waitMs);
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const auto left = now < deadline ? std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)
                                         : std::chrono::milliseconds(0);
        if (left.count() == 0) {
            return 1;
        }
        const int r = m_link->RecvMsg(message, true, static_cast<uint32_t>(left.count()));
        if (r != 1) {
            return r;
        }
    }
}

std::string CNetDVSDevice::SessionKeyText() const { return crypto::SessionKeyText(m_greeting.SessionNumber()); }
