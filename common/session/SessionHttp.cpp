// HTTP-style requests carried through the session, and the version-3
// configuration command: the exchanges that read one reply synchronously.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

#include "common/crypto/CDataEncryption.h"
#include "common/session/CNetDVSDevice.h"
#include "common/session/ProtocolIds.h"
#include "common/session/SessionResults.h"

using namespace session;

namespace {

constexpr int kOtherMessage = 6;  // NextSyncMessage: a message that is not the one awaited
// The Cfgpush form skips unrelated messages without a count; it still ends
// after this long, so a chatty device cannot keep it waiting for ever.
constexpr uint32_t kHttpOverallLimitMs = 60000;

int StatusOf(const std::string& text) {
    int status = 0;
    if (std::sscanf(text.c_str(), "HTTP/1.1 %d ", &status) != 1) {
        return 0;
    }
    return status;
}

}  // namespace

int CNetDVSDevice::BeginSyncRead(bool httpReply) {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_sync = SyncReader{};
    m_sync.active = true;
    m_sync.wantsHttpReply = httpReply;
    ++m_requestsInProgress;
    return kOk;
}

void CNetDVSDevice::EndSyncRead() {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_sync = SyncReader{};
    --m_requestsInProgress;
    m_stateCv.notify_all();  // under the lock: see InsideCall
}

int CNetDVSDevice::NextSyncMessage(std::vector<uint8_t>& message, uint32_t waitMs, uint64_t& seen,
                                   uint64_t& others) {
    others = 0;
    if (!m_recvStarted) {
        // Nobody else reads the link: take the next message from it.
        TcpLinkMessage m;
        const int r = RecvWithin(m, waitMs);
        if (r != 0) {
            return r;
        }
        proto::CommandView view;
        const bool parsed = proto::ParseCommand(m.data.get(), m.length, view);
        bool wanted = false;
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            wanted = !m_sync.wantsHttpReply || (parsed && view.id == proto::kReplyHttp && view.aux == 0);
        }
        if (!wanted) {
            others = 1;
            return kOtherMessage;
        }
        message.assign(m.data.get(), m.data.get() + m.length);  // the one copy out of the link
        return 0;
    }
    // The receive thread reads the link; its dispatcher hands the reply over.
    std::unique_lock<std::mutex> lock(m_stateMutex);
    const bool woke = m_stateCv.wait_for(lock, std::chrono::milliseconds(waitMs), [&] {
        return m_sync.handed || m_sync.seen != seen || m_status == 4;
    });
    if (m_sync.handed) {
        message = std::move(m_sync.message);
        m_sync.handed = false;
        others = m_sync.handedSeen - 1 - seen;
        seen = m_sync.seen;
        return 0;
    }
    if (m_status == 4) {
        return 3;
    }
    if (!woke) {
        return 1;
    }
    others = m_sync.seen - seen;
    seen = m_sync.seen;
    return kOtherMessage;
}

int CNetDVSDevice::HttpExchange(const char* name, const void* payload, uint32_t payloadLength, bool fwbatchForm,
                                std::string& replyText, uint32_t& replyLength, int& status) {
    InsideCall inside(*this);
    status = 0;
    const size_t nameLength = name != nullptr ? std::strlen(name) : 0;
    if (nameLength >= kHttpNameField || (payload == nullptr && payloadLength > 0)) {
        return kLinkFailed;  // the name must stay zero-terminated in its field
    }
    std::vector<uint8_t> body(kHttpNameField + payloadLength, 0);
    if (nameLength > 0) {
        std::memcpy(body.data(), name, nameLength);
    }
    if (payloadLength > 0) {
        std::memcpy(body.data() + kHttpNameField, payload, payloadLength);
    }
    const std::string key = SessionKeyText();
    const bool encrypted = m_greeting.PayloadEncrypted();

    // Listen before sending, so a quick reply cannot slip past.
    BeginSyncRead(true);
    int sent = kOk;
    if (encrypted) {
        CmdDataBuffer out = CDataEncryption::Instance().EncryptCmdData(body, key.c_str());
        sent = out.Ok() ? SendPackcmd(proto::kReqHttp, static_cast<uint32_t>(out.Size()), out.Data())
                        : kOutOfMemory;
    } else {
        sent = SendPackcmd(proto::kReqHttp, static_cast<uint32_t>(body.size()), body.data());
    }
    if (sent != kOk) {
        EndSyncRead();
        return kLinkFailed;
    }

    std::vector<uint8_t> reply;
    uint64_t seen = 0;
    uint64_t skipped = 0;
    const uint64_t start = Clock().TickMs();
    int result = kLinkFailed;
    for (;;) {
        uint64_t others = 0;
        const int r = NextSyncMessage(reply, m_options.httpReadWaitMs, seen, others);
        skipped += others;
        // Fwbatch reads at most 29 messages that are not the reply.
        if (fwbatchForm && skipped >= static_cast<uint64_t>(kHttpMaxSkipped)) {
            break;
        }
        if (r == 0) {
            result = kOk;
            break;
        }
        if (r != kOtherMessage) {
            break;  // silence, or the link failed
        }
        if (!fwbatchForm && Clock().TickMs() - start >= kHttpOverallLimitMs) {
            break;
        }
    }
    EndSyncRead();
    if (result != kOk) {
        return kLinkFailed;
    }

    proto::CommandView msg;
    proto::ParseCommand(reply.data(), reply.size(), msg);
    // The text is copied once, out of the message: an encrypted body is
    // decrypted where it lies (whole blocks) or into the cipher's buffer.
    const char* textData = reinterpret_cast<const char*>(msg.body);
    size_t textSize = msg.bodyLength;
    CmdDataBuffer plain;
    if (encrypted && textSize > 0) {
        const std::span<uint8_t> cipherText(reply.data() + (msg.body - reply.data()), textSize);
        plain = CDataEncryption::Instance().DecryptCmdData(cipherText, key.c_str());
        if (plain.Ok() && plain.IsNewBuffer()) {
            textData = reinterpret_cast<const char*>(plain.Data());
            textSize = plain.Size();
        }
    }
    // The text ends at its first zero byte (padding after it included).
    replyText.assign(textData, textSize == 0 ? 0 : strnlen(textData, textSize));
    replyLength = static_cast<uint32_t>(reply.size());
    status = StatusOf(replyText);
    return kOk;
}

int CNetDVSDevice::ImportFacConf(const void* data, uint32_t length) {
    std::string text;
    uint32_t replyLength = 0;
    int status = 0;
    if (HttpExchange("ImportFacConf", data, length, false, text, replyLength, status) != kOk) {
        return kLinkFailed;
    }
    return status;
}

int CNetDVSDevice::HttpRequest(const char* name, std::string& replyText, uint32_t& replyLength,
                               const void* payload, uint32_t payloadLength) {
    replyText.clear();
    replyLength = 0;
    int status = 0;
    if (HttpExchange(name, payload, payloadLength, true, replyText, replyLength, status) != kOk) {
        return kLinkFailed;
    }
    return status == 200 ? kOk : kLinkFailed;
}

int CNetDVSDevice::SendConfigCommand(const void* payload, uint32_t length, uint32_t& value) {
    InsideCall inside(*this);
    BeginSyncRead(false);
    // The send result is not examined: a failed link shows in the read.
    SendPackcmd(proto::kReqConfigV3, length, payload);
    std::vector<uint8_t> reply;
    uint64_t seen = 0;
    uint64_t others = 0;
    const int r = NextSyncMessage(reply, m_options.configReplyWaitMs, seen, others);
    EndSyncRead();
    if (r != 0) {
        return kLinkFailed;
    }
    proto::CommandView msg;
    proto::ParseCommand(reply.data(), reply.size(), msg);
    value = msg.WordAt(0);  // the reply's identifier is not examined
    return kOk;
}
