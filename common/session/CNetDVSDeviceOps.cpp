// The session's operations other than the login and the HTTP exchange.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "common/link/LinkFrames.h"
#include "common/session/CNetDVSDevice.h"
#include "common/session/ProtocolIds.h"
#include "common/session/SessionResults.h"

using namespace session;

namespace {

constexpr uint32_t kThirtyPollsMs = 30 * CNetDVSDevice::kPollMs;
constexpr uint32_t kSixtyPollsMs = 60 * CNetDVSDevice::kPollMs;

uint8_t* CopyOut(const std::vector<uint8_t>& bytes) {
    auto* copy = new (std::nothrow) uint8_t[std::max<size_t>(bytes.size(), 1)];
    if (copy != nullptr && !bytes.empty()) {
        std::memcpy(copy, bytes.data(), bytes.size());
    }
    return copy;
}

}  // namespace

// ---- streams -------------------------------------------------------------

int CNetDVSDevice::OpenStream(uint8_t channel, uint8_t kind) {
    const auto key = static_cast<uint16_t>(channel << 8 | kind);
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        int& count = m_streams[key];
        if (count++ > 0) {
            // Already open: only counted, and the stream is asked for again.
            return StreamControl(kind);
        }
    }
    // Frames may still arrive after the stream closes: the larger limit stays.
    m_link->SetMaxMessageLength(kMediaFrameMessageLimit);
    const uint8_t body[4] = {channel, kind, 0, 0};
    return Post(proto::kReqOpenStream, body, sizeof body);
}

int CNetDVSDevice::CloseStream(uint8_t channel, uint8_t kind) {
    const auto key = static_cast<uint16_t>(channel << 8 | kind);
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        auto it = m_streams.find(key);
        if (it == m_streams.end()) {
            return kNoAnswer;
        }
        if (--it->second > 0) {
            return kOk;
        }
        m_streams.erase(it);
    }
    const uint8_t body[4] = {channel, kind, 0, 0};
    return Post(proto::kReqCloseStream, body, sizeof body);
}

int CNetDVSDevice::StreamControl(uint8_t kind) {
    const uint8_t body[4] = {kind, 0, 0, 0};
    return Post(proto::kReqStreamControl, body, sizeof body);
}

// ---- requests --------------------------------------------------------------

int CNetDVSDevice::Request0405(uint8_t* buffer, uint32_t& length) {
    // `length` gives the buffer's capacity and receives the bytes copied.
    const uint32_t capacity = length;
    Answer answer;
    switch (Request(proto::kReq0405, nullptr, 0, {kOpenEndedWaitMs, Refusal::End}, answer)) {
        case WaitOutcome::Answered: {
            const auto n = static_cast<uint32_t>(std::min<size_t>(capacity, answer.reply.size()));
            if (buffer != nullptr && n > 0) {
                std::memcpy(buffer, answer.reply.data(), n);
            }
            length = buffer != nullptr ? n : 0;
            return kOk;
        }
        case WaitOutcome::Refused:
            length = 0;
            return answer.refusal == 6 ? kNothingNew
                                       : (answer.refusal == 5 ? kRefusedNoPermission : kLinkFailed);
        case WaitOutcome::Lost:
            return kLinkFailed;
        case WaitOutcome::TimedOut:
            break;
    }
    return kNoAnswer;
}

int CNetDVSDevice::Post0408(const void* data, uint32_t length) {
    return Post(proto::kReq0408, data, length);
}

int CNetDVSDevice::BufferRequest(uint32_t id, const void* body, uint32_t length, uint32_t limitMs,
                                 uint8_t*& reply, uint32_t& replyLength) {
    reply = nullptr;
    replyLength = 0;
    Answer answer;
    switch (Request(id, body, length, {limitMs, Refusal::KeepWaiting}, answer)) {
        case WaitOutcome::Answered:
            reply = CopyOut(answer.reply);
            if (reply == nullptr) {
                return kOutOfMemory;
            }
            replyLength = static_cast<uint32_t>(answer.reply.size());
            return kOk;
        case WaitOutcome::Lost:
            return kLinkFailed;
        default:
            return kNoAnswer;
    }
}

int CNetDVSDevice::Transact0407(const void* data, uint32_t length, uint8_t*& reply,
                                uint32_t& replyLength) {
    std::lock_guard<std::mutex> exclusive(m_transactMutex);
    return BufferRequest(proto::kReq0407, data, length, kOpenEndedWaitMs, reply, replyLength);
}

int CNetDVSDevice::Request020E(uint8_t*& reply, uint32_t& replyLength) {
    return BufferRequest(proto::kReq020E, nullptr, 0, kThirtyPollsMs, reply, replyLength);
}

int CNetDVSDevice::Request0208(uint8_t*& reply, uint32_t& replyLength) {
    return BufferRequest(proto::kReq0208, nullptr, 0, kOpenEndedWaitMs, reply, replyLength);
}

int CNetDVSDevice::Post0406() {
    const int result = Post(proto::kReq0406);
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_reply.clear();
    m_requestState = kIdle;
    return result;
}

int CNetDVSDevice::QueryBuffered(uint8_t* buffer) {
    return Request0401(buffer, nullptr);
}

int CNetDVSDevice::Request0401(uint8_t* buffer, uint32_t* length) {
    InsideCall inside(*this);
    if (Post(proto::kReq0401) != kOk) {
        return kLinkFailed;
    }
    if (!WaitEvent(m_eventB, kEventBWaitMs)) {
        return kLinkFailed;
    }
    std::lock_guard<std::mutex> lock(m_stateMutex);
    const auto size = static_cast<uint32_t>(m_bufferB.size());
    // Copied only when the caller says its buffer is large enough.
    if (buffer != nullptr && length != nullptr && *length >= size && size > 0) {
        std::memcpy(buffer, m_bufferB.data(), size);
    }
    m_bufferB.clear();
    m_haveBufferB = false;
    if (length != nullptr) {
        *length = size;
    }
    return kOk;
}

int CNetDVSDevice::SendUpgradeData(const void* data, uint32_t length, int kind) {
    static constexpr uint32_t kCommands[] = {proto::kReqUpgradeSoftware, proto::kReqUpgradeKernel,
                                             proto::kReqUpgradeBoot, proto::kReqUpgradeAiLib};
    if (kind < 0 || kind > 3) {
        return kNotSupported;
    }
    {
        std::lock_guard<std::mutex> lock(m_progressMutex);
        m_progress = -1;
        m_upgradeCounter = 0;
    }
    return Post(kCommands[kind], data, length);
}

int CNetDVSDevice::ResetProgress() {
    {
        std::lock_guard<std::mutex> lock(m_progressMutex);
        m_progress = -1;
    }
    return Post(proto::kReqResetProgress);
}

int CNetDVSDevice::AwaitCompletion() {
    Answer answer;
    switch (
        Request(proto::kReqAwaitCompletion, nullptr, 0, {kOpenEndedWaitMs, Refusal::End}, answer)) {
        case WaitOutcome::Answered:
            return kOk;
        case WaitOutcome::Lost:
            return kLinkFailed;
        default:
            return kNoAnswer;
    }
}

int CNetDVSDevice::Post0205() {
    return Post(proto::kReq0205);
}

int CNetDVSDevice::Request0701() {
    Answer answer;
    switch (Request(proto::kReq0701, nullptr, 0, {kOpenEndedWaitMs, Refusal::End}, answer)) {
        case WaitOutcome::Answered:
            return kOk;
        case WaitOutcome::Refused:
            return kRefused0701;
        case WaitOutcome::Lost:
            return kLinkFailed;
        case WaitOutcome::TimedOut:
            break;
    }
    return kNoAnswer;
}

int CNetDVSDevice::Post0702(const void* data, uint32_t length) {
    std::vector<uint8_t> body(40 + static_cast<size_t>(data != nullptr ? length : 0), 0);
    body[0] = 1;
    body[1] = 32;
    body[2] = 0;
    body[3] = 1;
    tcplink::WriteLe32(body.data() + 32, data != nullptr ? length : 0);
    if (data != nullptr && length > 0) {
        std::memcpy(body.data() + 40, data, length);
    }
    return Post(proto::kReq0702, body.data(), static_cast<uint32_t>(body.size()));
}

int CNetDVSDevice::Post0703() {
    const int result = Post(proto::kReq0703);
    SetState(kIdle);
    return result;
}

int CNetDVSDevice::GetStatus() {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_status;
}

int CNetDVSDevice::Request0206(uint8_t (&block)[260]) {
    InsideCall inside(*this);
    if (Post(proto::kReq0206) != kOk) {
        return kLinkFailed;
    }
    if (!WaitEvent(m_eventA, kEventAWaitMs)) {
        return kLinkFailed;
    }
    std::lock_guard<std::mutex> lock(m_stateMutex);
    std::memset(block, 0, sizeof block);
    std::memcpy(block, m_block260.data(), std::min(sizeof block, m_block260.size()));
    m_block260.clear();
    return kOk;
}

int CNetDVSDevice::Request030D(uint32_t& value) {
    return ValueRequest(proto::kReq030D, nullptr, 0, kOpenEndedWaitMs, &CNetDVSDevice::m_value0302,
                        value);
}

int CNetDVSDevice::Request0326(uint32_t& value) {
    return ValueRequest(proto::kReq0326, nullptr, 0, kOpenEndedWaitMs, &CNetDVSDevice::m_value0304,
                        value);
}

int CNetDVSDevice::CopyRequest(uint32_t id, uint32_t limitMs, uint8_t* buffer, uint32_t capacity) {
    Answer answer;
    switch (Request(id, nullptr, 0, {limitMs, Refusal::KeepWaiting}, answer)) {
        case WaitOutcome::Answered:
            if (buffer != nullptr) {
                std::memcpy(buffer, answer.reply.data(),
                            std::min<size_t>(capacity, answer.reply.size()));
            }
            return kOk;
        case WaitOutcome::Lost:
            return kLinkFailed;
        default:
            return kNoAnswer;
    }
}

int CNetDVSDevice::Request0328(uint8_t* buffer, uint32_t capacity) {
    return CopyRequest(proto::kReq0328, kThirtyPollsMs, buffer, capacity);
}

int CNetDVSDevice::Post01000C07(uint32_t value) {
    uint8_t body[4];
    tcplink::WriteLe32(body, value);
    return Post(proto::kReq01000C07, body, sizeof body);
}

int CNetDVSDevice::Request01000C08(const void* data, uint32_t length, uint32_t& value) {
    return ValueRequest(proto::kReq01000C08, data, length, kOpenEndedWaitMs,
                        &CNetDVSDevice::m_valueC0B, value);
}

int CNetDVSDevice::Request01000C09(uint8_t* buffer, uint32_t capacity) {
    return CopyRequest(proto::kReq01000C09, kThirtyPollsMs, buffer, capacity);
}

int CNetDVSDevice::Post01000C0A() {
    return Post(proto::kReq01000C0A);
}

// ---- image settings --------------------------------------------------------

int CNetDVSDevice::GetImageSettings(uint8_t (&table)[64 * 5]) {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    std::memcpy(table, m_imageSettings, sizeof table);
    return kOk;
}

namespace {

// Body of 0x0301: settings 0, 1, 3, 2 of one channel as 32-bit values.
void ChannelSettingsBody(const uint8_t* settings, uint8_t (&body)[16]) {
    tcplink::WriteLe32(body, settings[0]);
    tcplink::WriteLe32(body + 4, settings[1]);
    tcplink::WriteLe32(body + 8, settings[3]);
    tcplink::WriteLe32(body + 12, settings[2]);
}

}  // namespace

bool CNetDVSDevice::ApplyImageSettings(int channel, const uint8_t (&table)[64 * 5]) {
    if (channel < 0 || channel >= 64) {
        return false;
    }
    uint8_t body[16];
    ChannelSettingsBody(table + channel * 5, body);
    return Post(proto::kReqImageSettings, body, sizeof body) == kOk;
}

int CNetDVSDevice::SetImageSetting(int channel, int what, uint32_t value, const uint32_t* block) {
    if (channel < 0 || channel >= 64) {
        return kNotSupported;
    }
    if (what >= 0 && what <= 4) {
        static constexpr int kSlot[] = {0, 1, 3, 2, 4};
        uint8_t body[16];
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            uint8_t* settings = m_imageSettings + channel * 5;
            settings[kSlot[what]] = static_cast<uint8_t>(value);
            ChannelSettingsBody(settings, body);
        }
        return Post(proto::kReqImageSettings, body, sizeof body);
    }
    if (what == 5) {
        const uint8_t body[4] = {static_cast<uint8_t>(channel), static_cast<uint8_t>(value),
                                 static_cast<uint8_t>(value >> 8), 0};
        return Post(proto::kReq0305, body, sizeof body);
    }
    if (what == 6 && block != nullptr) {
        uint8_t body[12];
        tcplink::WriteLe32(body, block[0] & 0xFF);
        tcplink::WriteLe32(body + 4, block[1]);
        tcplink::WriteLe32(body + 8, block[2]);
        return Post(proto::kReq0303, body, sizeof body);
    }
    return kNotSupported;
}

int CNetDVSDevice::Post0302() {
    return Post(proto::kReq0302);
}

// ---- progress ------------------------------------------------------------

int CNetDVSDevice::ReportProgress(int progress, int outOfRange, int& percent) {
    // The device's value 1..100 is the percentage 0..99; -1 is unknown and 0
    // the device's failure. A value is reported once.
    if (progress == -1) {
        m_lastReported = -1;
        return kNothingNew;
    }
    if (progress == 0) {
        m_lastReported = -1;
        return kDeviceFailed;
    }
    if (progress < 1 || progress > 100) {
        return outOfRange;
    }
    const int value = progress - 1;
    if (value == m_lastReported) {
        return kNothingNew;
    }
    percent = value;
    m_lastReported = value;
    return kOk;
}

int CNetDVSDevice::GetProgress(int& percent) {
    const bool lost = GetStatus() == 4;
    std::lock_guard<std::mutex> lock(m_progressMutex);
    if (lost) {
        m_lastReported = -1;
        return kLinkFailed;
    }
    return ReportProgress(m_progress, kOk, percent);
}

int CNetDVSDevice::PollUpgradeProgress(int& percent, uint32_t payloadLength, int& extra) {
    extra = 0;
    // A broken link counts even before its loss reached the status.
    const bool lost = GetStatus() == 4 || m_link->IsBroken();
    std::lock_guard<std::mutex> lock(m_progressMutex);
    if (lost) {
        m_lastReported = -1;
        return kLinkFailed;
    }
    int progress = m_progress;
    // A failure reply (progress 0) ends the final phase: it is reported as
    // the device's failure, not waited out and then taken for success.
    if (m_pollLastValue == 98 && progress != 100 && progress != 0) {
        // The device writes the image: the wait window depends on the size.
        const uint64_t window =
            payloadLength < kFinalPhaseLargePayload ? kFinalPhaseShortMs : kFinalPhaseLongMs;
        const uint64_t now = Clock().TickMs();
        if (m_finalPhaseStart == 0) {
            m_finalPhaseStart = now;
        }
        const uint64_t elapsed = now - m_finalPhaseStart;
        const int step = static_cast<int>(elapsed * 10 / window);
        if (step != 0 && step != m_lastExtra) {
            extra = step;
            m_lastExtra = step;
        }
        if (elapsed <= window) {
            return kNothingNew;
        }
        progress = 100;  // the window is over: taken as done
    } else {
        m_finalPhaseStart = 0;
    }
    const int result = ReportProgress(progress, kNothingNew, percent);
    if (result == kOk) {
        m_pollLastValue = percent;
        if (percent == 98) {
            m_finalPhase = true;
        }
    }
    return result;
}

void CNetDVSDevice::NoteProgressEvent() {
    {
        std::lock_guard<std::mutex> lock(m_progressMutex);
        ++m_progressEvents;
    }
    m_progressCv.notify_all();
}

bool CNetDVSDevice::WaitUpgradeProgress(uint64_t& seen, uint32_t limitMs) {
    InsideCall inside(*this);
    std::unique_lock<std::mutex> lock(m_progressMutex);
    const bool woken = m_progressCv.wait_for(lock, std::chrono::milliseconds(limitMs),
                                             [&] { return m_progressEvents != seen; });
    seen = m_progressEvents;
    return woken;
}

bool CNetDVSDevice::ReachedFinalPhase() {
    std::lock_guard<std::mutex> lock(m_progressMutex);
    return m_finalPhase;
}

// ---- Cfgpush's operations ----------------------------------------------------

void CNetDVSDevice::GetTripleValue(uint32_t& first, uint32_t& second, uint32_t& third) {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    first = m_firstValue;
    second = static_cast<uint32_t>(m_secondValue);
    third = m_thirdValue;
}

void CNetDVSDevice::SetTripleValue(uint32_t first, uint64_t second) {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_firstValue = first;
    m_secondValue = second;
}

int CNetDVSDevice::Request0212(const void* data, uint32_t length, uint32_t& value) {
    return ValueRequest(proto::kReq0212, data, length, kSixtyPollsMs, &CNetDVSDevice::m_valueC0B,
                        value);
}

int CNetDVSDevice::Request0216(const void* payload, const char* name, uint32_t length,
                               uint32_t& value) {
    constexpr size_t kBody = 260;
    constexpr size_t kNameOffset = 4;
    constexpr size_t kPayloadOffset = 68;
    const size_t nameLength = name != nullptr ? std::strlen(name) : 0;
    if (nameLength >= kPayloadOffset - kNameOffset || length > kBody - kPayloadOffset ||
        (payload == nullptr && length > 0)) {
        return kNotSupported;  // would not fit the fixed body
    }
    uint8_t body[kBody] = {};
    tcplink::WriteLe32(body, length);
    if (nameLength > 0) {
        std::memcpy(body + kNameOffset, name, nameLength);
    }
    if (length > 0) {
        std::memcpy(body + kPayloadOffset, payload, length);
    }
    return ValueRequest(proto::kReq0216, body, sizeof body, kSixtyPollsMs,
                        &CNetDVSDevice::m_valueC0B, value);
}
