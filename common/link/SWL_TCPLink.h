#pragma once
// CTcpLink: one connected socket as a framed message link. Every message
// travels behind an 8-byte frame header; device messages may arrive in
// fragments that are put together again in one of two slots; a keep-alive
// thread sends an empty frame about once a second (or, in watchdog mode, a
// watchdog breaks the link after 20 s without data), and a receive thread
// hands every complete message to the owner's callback.
//
// Results: RecvMsg 0 message, 1 none, 2 peer closed, 3 link broken or
// protocol error; RecvExact 0, 1 time-out, 2 peer closed, 3 broken/error;
// SendMsg and SendKeepAlive 0 or -1. A protocol error (wrong magic, a length
// above the limit) alone leaves the link open for a direct reader; the
// receive thread, after which nothing reads the link, breaks it instead.
//
// Threads: the keep-alive (or watchdog) and receive threads block on the
// socket and on the link's own wake-up, never sleep-poll; an idle link costs
// two wake-ups a second. Once broken, every operation fails at once. The
// broken link is reported through the callback (user, null, -1) at most once,
// by the keep-alive or watchdog thread; Close never reports it and, when it
// returns, no callback runs any more. Close called from inside the callback
// stops every other thread at once and leaves the rest of the teardown to
// the calling thread, which ends when the callback returns.
//
// Readers: every read holds the receive lock while it reads a frame, not
// while it waits for one to arrive. A thread waiting in RecvMsg (or holding
// PauseRecvThread) has the incoming frames to itself: the receive thread
// leaves them alone until it is done, so a reply awaited synchronously is
// not taken by the receive thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "common/link/LinkFrames.h"
#include "common/link/SWL_Public.h"
#include "common/platform/WakeEvent.h"

// The owner's callback: (user, message, length) for a message, which the
// link frees when the callback returns; (user, nullptr, -1) once when the
// link is broken.
using TcpLinkCallback = void (*)(void* user, uint8_t* message, int length);

// Limits of a link. The defaults are the device protocol's; tests shorten them.
struct TcpLinkTimings {
    uint32_t stallLimitMs = 20000;  // a send or read without progress breaks the link
    uint32_t keepAliveIntervalMs = 1000;
    uint32_t watchdogTickMs = 1000;  // one step of the idle counter
    uint32_t watchdogLimitTicks = 20;
    // The largest message at the start; the owner narrows it to what it
    // expects at each stage (SetMaxMessageLength).
    uint32_t maxMessageLength = tcplink::kMaxMessageLength;
};

// A delivered message owned by C++ code. Its buffer is the one RecvMsg hands
// out (allocated with new[], which is exactly what FreeMsg releases).
struct TcpLinkMessage {
    std::unique_ptr<uint8_t[]> data;
    uint32_t length = 0;
};

class CTcpLink {
public:
    // A link on a connected socket, which it then owns. Null when the link's
    // wake-up could not be made (the socket then stays the caller's).
    static CTcpLink* Create(SWL_SOCKET sock);
    static CTcpLink* Create(SWL_SOCKET sock, const TcpLinkTimings& timings);

    CTcpLink(const CTcpLink&) = delete;
    CTcpLink& operator=(const CTcpLink&) = delete;

    // Stores the callback and starts the keep-alive thread, or in watchdog
    // mode the watchdog thread. 0 started; 1 could not start (prints line 141
    // or 131) or a link thread already runs.
    int StartLinkThreads(TcpLinkCallback callback, void* user, bool watchdogMode);
    // 0 started, 1 already started, 2 could not start (prints line 701).
    int StartRecvThread();

    // Sends one message as one frame. keepRunning, when given and false,
    // stops the sending with -1. length 0xFFFFFFFF (the fragment marker)
    // cannot be sent.
    int SendMsg(const void* data, uint32_t length, const std::atomic<bool>* keepRunning = nullptr);
    // The same for a message in two parts (a command header and its body),
    // sent as one frame without copying them together.
    int SendMsg(const void* head, uint32_t headLength, const void* body, uint32_t bodyLength,
                const std::atomic<bool>* keepRunning = nullptr);
    int SendKeepAlive();

    // Reads exactly length unframed bytes within timeoutMs.
    int RecvExact(void* buffer, uint32_t length, uint32_t timeoutMs);
    // One message. wait: keep reading until a message comes or maxWaitMs has
    // passed (a maximum of 0 does not wait); a waiting read ends by then even
    // inside a frame that trickles in (the link is then broken). On 0 the caller owns buffer and
    // releases it with FreeMsg.
    int RecvMsg(uint8_t*& buffer, uint32_t& length, bool wait, uint32_t maxWaitMs);
    int RecvMsg(TcpLinkMessage& message, bool wait, uint32_t maxWaitMs);
    static void FreeMsg(uint8_t* buffer);

    // While paused (calls nest), the receive thread leaves incoming frames
    // to other readers: take it before sending a request whose reply the
    // caller will read itself.
    void PauseRecvThread();
    void ResumeRecvThread();

    // Marks the link broken, stops the receive, watchdog and keep-alive
    // threads in that order, shuts the socket down and closes it (a failed
    // close prints line 105), frees the slots and the link. Returns 0.
    int Close();

    // The largest message (frame payload or fragment total) accepted from
    // now on, at most tcplink::kMaxMessageLength: the owner sets it for what
    // it expects (a login reply needs far less than a media frame). Memory
    // for a message grows with the bytes that actually arrive, never with
    // what a header claims.
    void SetMaxMessageLength(uint32_t length);
    uint32_t MaxMessageLength() const { return m_maxMessageLength.load(); }

    bool IsBroken() const { return m_broken.load(); }
    // Breaks the link from any thread while it is alive (an owner going
    // away): every wait on it returns and every operation fails from now on.
    // The link is still closed by its owner.
    void Abort() { MarkBroken(); }
    // Runs first thing in Close (whoever closes): lets a registry that
    // knows the link forget it before it goes away.
    void SetCloseHook(std::function<void()> hook);
    SWL_SOCKET Socket() const { return m_socket; }

private:
    // A message's bytes, allocated as they arrive (doubling, capped by the
    // message's length).
    struct GrowingBuffer {
        std::unique_ptr<uint8_t[]> data;
        uint32_t capacity = 0;
        // Room for `need` bytes in all, the message being `limit` long;
        // false when memory runs out.
        bool Reserve(uint32_t need, uint32_t limit);
    };
    struct Slot {
        bool busy = false;
        uint32_t messageId = 0;
        uint32_t count = 0;
        uint32_t total = 0;
        uint32_t received = 0;
        GrowingBuffer buffer;
        void Clear();
    };
    struct ReadRules;
    struct Callback {
        TcpLinkCallback function = nullptr;
        void* user = nullptr;
    };

    CTcpLink(SWL_SOCKET sock, const TcpLinkTimings& timings);
    ~CTcpLink();

    void MarkBroken();
    void ReportBroken();
    Callback GetCallback();
    bool StartThread(std::atomic<bool>& running, std::jthread& thread, void (CTcpLink::*body)());
    void StopThread(std::atomic<bool>& running, std::jthread& thread);
    void RunPeriodic(const std::atomic<bool>& running, uint32_t intervalMs,
                     bool (CTcpLink::*tick)());
    bool KeepAliveTick();
    bool WatchdogTick();
    void KeepAliveThread();
    void WatchdogThread();
    void RecvThread();

    struct SendPart {
        const void* data;
        size_t length;
    };
    // Sends the parts (at most 3) in order.
    int SendLoop(const SendPart* parts, size_t count, const std::atomic<bool>* keepRunning);
    // Waits until the socket is ready (to read, or to write), the link is
    // woken or the time is up; true when something is ready.
    bool WaitSocket(bool forWrite, uint32_t timeoutMs);
    int ReadExact(uint8_t* buffer, uint32_t length, const ReadRules& rules);
    // deadline: the tick by which a read that must finish in time gives up
    // (a frame begun by then breaks the link); 0 for none.
    int Drain(uint32_t length, uint64_t deadline);
    int ReadFrame(uint8_t*& buffer, uint32_t& length, bool& incomplete, uint64_t deadline);
    int ReadFragment(uint8_t*& buffer, uint32_t& length, bool& incomplete, uint64_t deadline);
    // Reads `length` bytes into `target` from `offset` on, growing it as they
    // come; `total` is the whole message's length.
    int ReadGrowing(GrowingBuffer& target, uint32_t offset, uint32_t length, uint32_t total,
                    uint64_t deadline);

    const SWL_SOCKET m_socket;
    platform::WakeEvent m_wake;  // set from the moment the link breaks
    const TcpLinkTimings m_timings;
    std::atomic<uint32_t> m_maxMessageLength;

    std::mutex m_callbackMutex;
    Callback m_callback;               // guarded by m_callbackMutex
    std::function<void()> m_closeHook;  // guarded by m_callbackMutex

    std::atomic<uint32_t> m_idleCount{0};
    std::atomic<bool> m_watchdogMode{false};
    std::atomic<bool> m_broken{false};
    std::atomic<bool> m_reported{false};  // the broken link was reported, or Close began
    std::atomic<bool> m_recvRunning{false};
    std::atomic<bool> m_watchdogRunning{false};
    std::atomic<bool> m_keepAliveRunning{false};
    std::atomic<int> m_recvPauses{0};

    std::jthread m_recvThread;       // guarded by m_startMutex
    std::jthread m_watchdogThread;   // guarded by m_startMutex
    std::jthread m_keepAliveThread;  // guarded by m_startMutex
    // The link thread that called Close from inside the callback; it deletes
    // the link when it ends. Empty otherwise.
    std::atomic<std::thread::id> m_deferredCloser{};

    Slot m_slots[tcplink::kReassemblySlots];  // guarded by m_recvMutex

    std::mutex m_sendMutex;
    std::mutex m_recvMutex;
    std::mutex m_startMutex;

    // Wakes the keep-alive, watchdog and paused receive threads.
    std::mutex m_waitMutex;
    std::condition_variable m_waitCv;
};

// Closes the link when the owner lets go of it.
struct TcpLinkCloser {
    void operator()(CTcpLink* link) const {
        if (link != nullptr) {
            link->Close();
        }
    }
};
using TcpLinkPtr = std::unique_ptr<CTcpLink, TcpLinkCloser>;
