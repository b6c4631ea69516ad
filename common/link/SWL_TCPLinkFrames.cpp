#include "common/link/SWL_TCPLink.h"

// The link's frames: sending them, reading exact blocks, frames and
// fragments, and putting fragmented messages together again in the slots.
// The threads that drive them are in SWL_TCPLink.cpp.

#include <algorithm>
#include <cstring>
#include <new>

#include "common/link/SWL_Public.h"
#include "common/platform/Clock.h"

namespace {

// A sender given a keep-running flag looks at it at least this often while
// the socket is full.
constexpr uint32_t kKeepRunningCheckMs = 10;
// Bytes dropped per read when a fragment is thrown away.
constexpr uint32_t kDrainChunk = 16 * 1024;

uint64_t Tick() {
    return platform::SystemClock().TickMs();
}

}  // namespace

// How one exact read behaves: whether it may give up when nothing of the
// block is there yet, its stall limit, and what it prints and returns.
struct CTcpLink::ReadRules {
    bool blocking;
    uint32_t stallMs;
    int stallResult;
    int closedLine;  // printed when the peer closed; 0: nothing
    int errorLine;   // printed on a socket error; 0: nothing
    // The tick by which the read ends whatever progress it makes (a peer
    // that sends a byte now and then must not hold a reader for ever); 0:
    // only the stall limit.
    uint64_t deadline = 0;
};

void CTcpLink::Slot::Clear() {
    busy = false;
    messageId = count = total = received = 0;
    buffer = GrowingBuffer{};
}

bool CTcpLink::GrowingBuffer::Reserve(uint32_t need, uint32_t limit) {
    // The first step is small, so a header claiming megabytes costs nothing
    // until the bytes arrive.
    constexpr uint64_t kFirstStep = 64 * 1024;
    if (need <= capacity) {
        return true;
    }
    uint64_t next = std::max<uint64_t>({need, 2ull * capacity, kFirstStep});
    next = std::min<uint64_t>(next, std::max(limit, need));
    std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[next]);
    if (!bigger) {
        return false;
    }
    if (capacity > 0) {
        std::memcpy(bigger.get(), data.get(), capacity);
    }
    data = std::move(bigger);
    capacity = static_cast<uint32_t>(next);
    return true;
}

int CTcpLink::ReadGrowing(GrowingBuffer& target, uint32_t offset, uint32_t length, uint32_t total,
                          uint64_t deadline) {
    const ReadRules bodyRules{true, m_timings.stallLimitMs, 3, 669, 0, deadline};
    uint32_t done = 0;
    while (done < length) {
        const uint32_t at = offset + done;
        if (!target.Reserve(at + 1, total)) {
            MarkBroken();
            return 3;
        }
        const uint32_t step = std::min(length - done, target.capacity - at);
        const int r = ReadExact(target.data.get() + at, step, bodyRules);
        if (r != 0) {
            return r;
        }
        done += step;
    }
    return 0;
}

int CTcpLink::SendMsg(const void* data, uint32_t length, const std::atomic<bool>* keepRunning) {
    return SendMsg(data, length, nullptr, 0, keepRunning);
}

int CTcpLink::SendMsg(const void* head, uint32_t headLength, const void* body, uint32_t bodyLength,
                      const std::atomic<bool>* keepRunning) {
    if ((head == nullptr && headLength != 0) || (body == nullptr && bodyLength != 0) ||
        static_cast<uint64_t>(headLength) + bodyLength >= tcplink::kFragmentMarker) {
        return -1;
    }
    uint8_t header[tcplink::kFrameHeaderSize];
    tcplink::EncodeFrameHeader(headLength + bodyLength, header);
    const SendPart parts[3] = {{header, sizeof header}, {head, headLength}, {body, bodyLength}};
    std::lock_guard<std::mutex> lock(m_sendMutex);
    return SendLoop(parts, 3, keepRunning);
}

int CTcpLink::SendKeepAlive() {
    uint8_t header[tcplink::kFrameHeaderSize];
    tcplink::EncodeFrameHeader(0, header);
    const SendPart parts[1] = {{header, sizeof header}};
    std::lock_guard<std::mutex> lock(m_sendMutex);
    return SendLoop(parts, 1, nullptr);
}

int CTcpLink::SendLoop(const SendPart* given, size_t givenCount,
                       const std::atomic<bool>* keepRunning) {
    // Header and payload leave in one call where the socket takes them, so
    // a short message is not split into segments, and a large one is never
    // copied into one buffer first. Empty parts are left out.
    SWL_BUF parts[3];
    size_t count = 0;
    for (size_t i = 0; i < givenCount && count < 3; ++i) {
        if (given[i].length != 0) {
            parts[count++] = {given[i].data, given[i].length};
        }
    }
    size_t first = 0;
    uint64_t lastProgress = Tick();
    bool sentAny = false;
    while (first < count) {
        if (m_broken.load()) {
            return -1;
        }
        if (keepRunning != nullptr && !keepRunning->load()) {
            // Stopping inside a frame would leave the device reading the next
            // frame's header out of our payload: the link cannot go on.
            if (sentAny) {
                MarkBroken();
            }
            return -1;
        }
        const long sent = SWL_SendPartsNow(m_socket, parts + first, count - first);
        if (sent > 0) {
            auto left = static_cast<size_t>(sent);
            while (first < count && left >= parts[first].length) {
                left -= parts[first].length;
                ++first;
            }
            if (first < count) {
                parts[first].data = static_cast<const uint8_t*>(parts[first].data) + left;
                parts[first].length -= left;
            }
            sentAny = true;
            lastProgress = Tick();
            continue;
        }
        if (sent == 0) {
            SWL_PrintError(kSwlTcpLinkSource, 307);
            return -1;
        }
        if (SWL_LastError() == SWL_ERROR::Interrupted) {
            continue;
        }
        if (SWL_WouldBlock()) {
            const uint64_t elapsed = Tick() - lastProgress;
            if (elapsed >= m_timings.stallLimitMs) {
                MarkBroken();
                return -1;
            }
            uint32_t waitMs = m_timings.stallLimitMs - static_cast<uint32_t>(elapsed);
            if (keepRunning != nullptr) {
                waitMs = std::min(waitMs, kKeepRunningCheckMs);
            }
            WaitSocket(true, waitMs);
            continue;
        }
        MarkBroken();
        SWL_PrintError(kSwlTcpLinkSource, 300);
        return -1;
    }
    return 0;
}

int CTcpLink::ReadExact(uint8_t* buffer, uint32_t length, const ReadRules& rules) {
    uint32_t got = 0;
    uint64_t lastProgress = Tick();
    for (;;) {
        if (m_broken.load()) {
            return 3;
        }
        if (got == length) {
            return 0;
        }
        const int r = SWL_RecvNow(m_socket, buffer + got, static_cast<int>(length - got));
        if (r > 0) {
            m_idleCount.store(0);
            got += static_cast<uint32_t>(r);
            lastProgress = Tick();
            continue;
        }
        if (r == 0) {
            if (rules.closedLine != 0) {
                SWL_PrintError(kSwlTcpLinkSource, rules.closedLine);
            }
            MarkBroken();
            return 2;
        }
        if (SWL_LastError() == SWL_ERROR::Interrupted) {
            continue;
        }
        if (!SWL_WouldBlock()) {
            if (rules.errorLine != 0) {
                SWL_PrintError(kSwlTcpLinkSource, rules.errorLine);
            }
            MarkBroken();
            return 3;
        }
        const uint64_t now = Tick();
        const uint64_t elapsed = now - lastProgress;
        if (elapsed > rules.stallMs) {
            MarkBroken();
            return rules.stallResult;
        }
        if (!rules.blocking && got == 0) {
            return 1;
        }
        uint64_t waitMs = rules.stallMs - elapsed + 1;
        if (rules.deadline != 0) {
            if (now >= rules.deadline) {
                // Part of the block came: the stream cannot be resumed.
                MarkBroken();
                return rules.stallResult;
            }
            waitMs = std::min<uint64_t>(waitMs, rules.deadline - now);
        }
        WaitSocket(false, static_cast<uint32_t>(waitMs));
    }
}

int CTcpLink::Drain(uint32_t length, uint64_t deadline) {
    const ReadRules rules{true, m_timings.stallLimitMs, 3, 669, 0, deadline};
    uint8_t scratch[kDrainChunk];
    while (length > 0) {
        const uint32_t part = std::min(length, kDrainChunk);
        const int r = ReadExact(scratch, part, rules);
        if (r != 0) {
            return r;
        }
        length -= part;
    }
    return 0;
}

int CTcpLink::ReadFrame(uint8_t*& buffer, uint32_t& length, bool& incomplete, uint64_t deadline) {
    const ReadRules headerRules{false, m_timings.stallLimitMs, 3, 669, 0, deadline};
    uint8_t raw[tcplink::kFrameHeaderSize];
    int r = ReadExact(raw, sizeof raw, headerRules);
    if (r != 0) {
        return r;
    }
    const tcplink::FrameHeader header = tcplink::DecodeFrameHeader(raw);
    if (!header.magicOk) {
        return 3;
    }
    if (header.length == 0) {
        return 1;
    }
    if (header.length == tcplink::kFragmentMarker) {
        return ReadFragment(buffer, length, incomplete, deadline);
    }
    if (header.length > m_maxMessageLength.load()) {
        return 3;
    }
    GrowingBuffer data;
    r = ReadGrowing(data, 0, header.length, header.length, deadline);
    if (r != 0) {
        return r;
    }
    buffer = data.data.release();
    length = header.length;
    return 0;
}

int CTcpLink::ReadFragment(uint8_t*& buffer, uint32_t& length, bool& incomplete,
                           uint64_t deadline) {
    const ReadRules bodyRules{true, m_timings.stallLimitMs, 3, 669, 0, deadline};
    uint8_t raw[tcplink::kFragmentHeaderSize];
    int r = ReadExact(raw, sizeof raw, bodyRules);
    if (r != 0) {
        return r;
    }
    const tcplink::FragmentHeader h = tcplink::DecodeFragmentHeader(raw);
    // Every way of dropping a fragment reads its bytes, so the next frame
    // starts where it should; the result is then "no message".
    const auto dropped = [this, &h, deadline] {
        const int d = Drain(h.length, deadline);
        return d != 0 ? d : 1;
    };
    switch (tcplink::JudgeFragment(h, m_maxMessageLength.load())) {
        case tcplink::FragmentVerdict::TooLarge:
            return 3;
        case tcplink::FragmentVerdict::BadSlot:
            return dropped();
        case tcplink::FragmentVerdict::Malformed:
            m_slots[h.slot].Clear();
            return dropped();
        case tcplink::FragmentVerdict::Accept:
            break;
    }
    Slot& slot = m_slots[h.slot];
    if (h.number == 1) {
        // A first fragment always starts over, whatever the slot held.
        slot.Clear();
        slot.busy = true;
        slot.messageId = h.messageId;
        slot.count = h.count;
        slot.total = h.total;
    } else if (!slot.busy || slot.messageId != h.messageId || slot.total != h.total ||
               slot.count != h.count) {
        return dropped();
    } else if (h.length > slot.total - slot.received) {
        slot.Clear();
        return dropped();
    }
    r = ReadGrowing(slot.buffer, slot.received, h.length, slot.total, deadline);
    if (r != 0) {
        return r;
    }
    slot.received += h.length;
    if (h.number != h.count) {
        incomplete = true;
        return 1;
    }
    if (slot.received != slot.total) {
        // The last fragment came but bytes are missing: never deliver a
        // message with a hole in it.
        slot.Clear();
        return 1;
    }
    buffer = slot.buffer.data.release();
    length = slot.total;
    slot.Clear();
    return 0;
}

int CTcpLink::RecvExact(void* buffer, uint32_t length, uint32_t timeoutMs) {
    const ReadRules rules{true, timeoutMs, 1, 379, 372, Tick() + timeoutMs};
    std::lock_guard<std::mutex> lock(m_recvMutex);
    return ReadExact(static_cast<uint8_t*>(buffer), length, rules);
}

int CTcpLink::RecvMsg(uint8_t*& buffer, uint32_t& length, bool wait, uint32_t maxWaitMs) {
    buffer = nullptr;
    length = 0;
    const bool waiting = wait && maxWaitMs != 0;
    struct PauseGuard {
        CTcpLink* link;
        explicit PauseGuard(CTcpLink* l) : link(l) {
            if (link != nullptr) {
                link->PauseRecvThread();
            }
        }
        ~PauseGuard() {
            if (link != nullptr) {
                link->ResumeRecvThread();
            }
        }
        PauseGuard(const PauseGuard&) = delete;
        PauseGuard& operator=(const PauseGuard&) = delete;
    } pause(waiting ? this : nullptr);

    const uint64_t start = Tick();
    const uint64_t deadline = waiting ? start + maxWaitMs : 0;
    for (;;) {
        bool incomplete = false;
        int result;
        {
            std::lock_guard<std::mutex> lock(m_recvMutex);
            result = ReadFrame(buffer, length, incomplete, deadline);
        }
        if (result != 1) {
            return result;
        }
        if (!waiting || incomplete) {
            return 1;
        }
        const uint64_t elapsed = Tick() - start;
        if (elapsed > maxWaitMs) {
            return 1;
        }
        WaitSocket(false, maxWaitMs - static_cast<uint32_t>(elapsed) + 1);
    }
}

int CTcpLink::RecvMsg(TcpLinkMessage& message, bool wait, uint32_t maxWaitMs) {
    uint8_t* buffer = nullptr;
    uint32_t length = 0;
    const int result = RecvMsg(buffer, length, wait, maxWaitMs);
    message.data.reset(buffer);
    message.length = length;
    return result;
}

void CTcpLink::FreeMsg(uint8_t* buffer) {
    delete[] buffer;
}
