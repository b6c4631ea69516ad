// CNetDVSDevice's dispatcher: every message the link delivers is sorted
// here into the reply a waiting request takes, an event the owner hears of,
// or a media frame. The session's life and the request-wait pattern are in
// CNetDVSDevice.cpp, the operations in CNetDVSDeviceOps.cpp.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

#include "common/crypto/CDataEncryption.h"
#include "common/link/LinkFrames.h"
#include "common/platform/Diagnostics.h"
#include "common/session/CNetDVSDevice.h"
#include "common/session/ProtocolIds.h"
#include "common/session/SessionResults.h"

using namespace session;

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
            const size_t textLength =
                std::min<size_t>(msg.WordAt(0), msg.bodyLength >= 4 ? msg.bodyLength - 4 : 0);
            m_textA.assign(reinterpret_cast<const char*>(msg.body) + (msg.bodyLength >= 4 ? 4 : 0),
                           textLength);
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
    record.timestampUs =
        static_cast<uint64_t>(msg.WordAt(16)) | (static_cast<uint64_t>(msg.WordAt(20)) << 32);
    record.seconds = static_cast<uint32_t>(record.timestampUs / 1000000);
    record.word24 = msg.WordAt(24);
    record.word28 = msg.WordAt(28);
    record.frameLength = msg.WordAt(32);

    // The frame bytes follow the head; a frame cannot be longer than what arrived.
    const size_t present = msg.bodyLength > kHead ? msg.bodyLength - kHead : 0;
    std::vector<uint8_t> frame(
        msg.body + std::min(kHead, msg.bodyLength),
        msg.body + std::min(kHead, msg.bodyLength) + std::min<size_t>(present, record.frameLength));
    const bool marked =
        (record.frameClass == 0 && record.headBytes[2] == 1) || record.frameClass == 1;
    if (m_greeting.PayloadEncrypted() && marked && !frame.empty()) {
        const size_t n = std::min(kEncryptedPrefix, frame.size());
        CmdDataBuffer plain = CDataEncryption::Instance().DecryptCmdData(
            std::span<uint8_t>(frame.data(), n), SessionKeyText().c_str());
        if (plain.Ok() && plain.IsNewBuffer()) {
            std::memcpy(frame.data(), plain.Data(), n);
        }
    }
    record.frame = frame.data();
    record.frameBytes = static_cast<uint32_t>(frame.size());
    NotifyOwner(netevent::kMediaFrame, -1, &record, msg.aux);
}
