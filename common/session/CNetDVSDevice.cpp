#include "common/session/CNetDVSDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "common/crypto/CDataEncryption.h"
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

// ---- the dispatcher ------------------------------------------------------

void CNetDVSDevice::LinkCallback(void* user, uint8_t* message, int length) {
    static_cast<CNetDVSDevice*>(user)->Dispatch(message, length);
}

void CNetDVSDevice::NotifyOwner(int type, int parameter, const void* data, uint32_t extra) {
    if (m_callback != nullptr) {
        m_callback(m_user, this, type, parameter, data, extra);
    }
}

void CNetDVSDevice::StoreBody(std::vector<uint8_t>& target, const proto::CommandView& msg) {
    target.assign(msg.body, msg.body + msg.bodyLength);
}

void CNetDVSDevice::Dispatch(const uint8_t* message, int length) {
    using namespace proto;
    if (message == nullptr || length < 0) {
        // The link is lost: wake every waiting request, tell the owner once
        // (the link reports a broken link only once). A session being
        // released broke its own link: the owner hears nothing of it.
        bool closing = false;
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_requestState = kLost;
            m_status = 4;
            closing = m_closing;
        }
        m_stateCv.notify_all();
        NoteProgressEvent();
        if (!closing) {
            NotifyOwner(netevent::kLinkLost, -1, nullptr, 0);
        }
        return;
    }
    CommandView msg;
    if (!ParseCommand(message, static_cast<size_t>(length), msg)) {
        return;  // shorter than a header: nothing to act on
    }
    platform::DiagPrintf("\r\n CALLBACK TYPE:%d", static_cast<int>(msg.id));

    // A synchronous reader learns of every message and takes the one it waits for.
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (m_sync.active) {
            ++m_sync.seen;
            const bool wanted = !m_sync.wantsHttpReply || (msg.id == kReplyHttp && msg.aux == 0);
            if (wanted && !m_sync.handed) {
                m_sync.message.assign(message, message + length);
                m_sync.handed = true;
                m_sync.handedSeen = m_sync.seen;
            }
        }
    }
    m_stateCv.notify_all();

    const auto bodyLength = static_cast<int>(std::min<size_t>(msg.bodyLength, 0x7FFFFFFF));
    switch (msg.id) {
        case kEventMediaFrame:
            DispatchMediaFrame(msg);
            return;
        case kEventC03:
            NotifyOwner(netevent::kEventC03, static_cast<int>(msg.WordAt(32)),  // body word 8
                        msg.bodyLength > 40 ? msg.body + 40 : nullptr, msg.aux);
            return;
        case kEvent0103:
            NotifyOwner(netevent::kEvent0103, bodyLength, msg.body, msg.aux);
            return;
        case kReply0201: {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_block260.assign(260, 0);
            std::memcpy(m_block260.data(), msg.body, std::min<size_t>(260, msg.bodyLength));
            m_eventA = true;
            break;
        }
        case kReply020A:
        case kReply020C: {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            if (msg.id == kReply020A) {
                m_firstValue = msg.WordAt(0);
            } else {
                m_secondValue = msg.WordAt(0);
            }
            m_eventA = true;
            break;
        }
        case kReply0212: {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            const size_t textLength = std::min<size_t>(msg.WordAt(0), msg.bodyLength >= 4 ? msg.bodyLength - 4 : 0);
            m_textA.assign(reinterpret_cast<const char*>(msg.body) + (msg.bodyLength >= 4 ? 4 : 0), textLength);
            m_eventA = true;
            break;
        }
        case kReply0213: {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_thirdValue = msg.WordAt(16);  // body word 4
            m_eventA = true;
            break;
        }
        case kEvent02F2:
            NotifyOwner(16, bodyLength, msg.body, msg.aux);
            return;
        case kEvent02F3:
            NotifyOwner(17, bodyLength, msg.body, msg.aux);
            return;
        case kReplyImageSettings: {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_imageSettings[0] = static_cast<uint8_t>(msg.WordAt(0));
            m_imageSettings[1] = static_cast<uint8_t>(msg.WordAt(4));
            m_imageSettings[2] = static_cast<uint8_t>(msg.WordAt(12));
            m_imageSettings[3] = static_cast<uint8_t>(msg.WordAt(8));
            break;
        }
        case kReply0302:
        case kReply0304: {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            (msg.id == kReply0302 ? m_value0302 : m_value0304) = msg.WordAt(0);
            m_requestState = kAnswered;
            break;
        }
        case kReply0206:
        case kReply0306:
        case kReply0401:
        case kReply0405:
        case kReplyC0C: {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            StoreBody(m_reply, msg);
            m_requestState = kAnswered;
            break;
        }
        case kReplyRefused: {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_refusalReason = msg.WordAt(8);  // body word 2
            m_requestState = kRefused;
            break;
        }
        case kReply0406:
        case kReplyUpgradeA01:
        case kReplyUpgradeA02: {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            StoreBody(m_bufferB, msg);
            m_haveBufferB = true;
            m_eventB = true;
            break;
        }
        case kReplyProgress0504:
        case kReplyProgress0505: {
            std::lock_guard<std::mutex> lock(m_progressMutex);
            m_progress = 0;
            ++m_progressEvents;
            m_progressCv.notify_all();
            break;
        }
        case kReplyProgress0506:
        case kReplyProgress0802:
        case kReplyProgressA04: {
            std::lock_guard<std::mutex> lock(m_progressMutex);
            m_progress = static_cast<int>(msg.WordAt(0));
            ++m_progressEvents;
            m_progressCv.notify_all();
            break;
        }
        case kReplyUpgrade0801:
        case kReplyUpgradeA03: {
            std::lock_guard<std::mutex> lock(m_progressMutex);
            m_progress = 0;
            m_upgradeCounter = msg.WordAt(0);
            ++m_progressEvents;
            m_progressCv.notify_all();
            break;
        }
        case kReplyDone0507:
        case kReplyDone0701:
            SetState(kAnswered);
            return;
        case kReplyFailed0508:
        case kReplyFailed0702:
            SetState(kRefused);
            return;
        case kEventB01:
        case kEventB02: {
            uint8_t record[12];
            tcplink::WriteLe32(record, msg.id == kEventB01 ? 128 : 64);
            tcplink::WriteLe32(record + 4, msg.WordAt(0));
            tcplink::WriteLe32(record + 8, msg.WordAt(4));
            NotifyOwner(netevent::kAlarm, 12, record, msg.aux);
            return;
        }
        case kReplyValueC0B: {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_valueC0B = msg.WordAt(0);
            m_requestState = kAnswered;
            break;
        }
        case kEventD03:
            NotifyOwner(14, bodyLength, msg.body, msg.aux);
            return;
        case kEventD04:
            NotifyOwner(15, bodyLength, msg.body, msg.aux);
            return;
        case kEventD05:
            NotifyOwner(18, bodyLength, msg.body, msg.aux);
            return;
        case kEvent2002:
        case kEvent2006:
        case kEvent2007:
        case kEvent2008:
        case kEvent2009: {
            static constexpr int kTypes[] = {6, 0, 0, 0, 7, 8, 9, 10};
            NotifyOwner(kTypes[msg.id - kEvent2002], bodyLength, msg.body, msg.aux);
            return;
        }
        case kEvent3000:
            NotifyOwner(11, bodyLength, msg.body, msg.aux);
            return;
        case kEvent3003:
            NotifyOwner(12, bodyLength, msg.body, msg.aux);
            return;
        case kEvent3004:
            NotifyOwner(13, bodyLength, msg.body, msg.aux);
            return;
        default:
            return;  // unknown identifiers, and the HTTP reply (handed over above), change nothing
    }
    m_stateCv.notify_all();
}

void CNetDVSDevice::DispatchMediaFrame(const proto::CommandView& msg) {
    constexpr size_t kHead = 40;
    constexpr size_t kEncryptedPrefix = 128;
    NET_FRAME_RECORD record;
    record.frameClass = msg.ByteAt(0);
    record.headBytes[0] = msg.ByteAt(1);
    record.headBytes[1] = msg.ByteAt(2);
    record.headBytes[2] = msg.ByteAt(3);
    record.id1 = msg.WordAt(8);
    record.id2 = msg.WordAt(12);
    record.timestampUs = static_cast<uint64_t>(msg.WordAt(16)) | (static_cast<uint64_t>(msg.WordAt(20)) << 32);
    record.seconds = static_cast<uint32_t>(record.timestampUs / 1000000);
    record.word24 = msg.WordAt(24);
    record.word28 = msg.WordAt(28);
    record.frameLength = msg.WordAt(32);

    // The frame bytes follow the head; a frame cannot be longer than what arrived.
    const size_t present = msg.bodyLength > kHead ? msg.bodyLength - kHead : 0;
    std::vector<uint8_t> frame(msg.body + std::min(kHead, msg.bodyLength),
                               msg.body + std::min(kHead, msg.bodyLength) + std::min<size_t>(present, record.frameLength));
    const bool marked = (record.frameClass == 0 && record.headBytes[2] == 1) || record.frameClass == 1;
    if (m_greeting.PayloadEncrypted() && marked && !frame.empty()) {
        const size_t n = std::min(kEncryptedPrefix, frame.size());
        CmdDataBuffer plain = CDataEncryption::Instance().DecryptCmdData(std::span<uint8_t>(frame.data(), n),
                                                                        SessionKeyText().c_str());
        if (plain.Ok() && plain.IsNewBuffer()) {
            std::memcpy(frame.data(), plain.Data(), n);
        }
    }
    record.frame = frame.data();
    record.frameBytes = static_cast<uint32_t>(frame.size());
    NotifyOwner(netevent::kMediaFrame, -1, &record, msg.aux);
}
