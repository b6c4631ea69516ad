#pragma once
// The device's binary command protocol over one framed link. Requests are
// command messages; replies and events arrive on the link's receive thread
// and the dispatcher sorts them into the request state, stored values,
// buffers and events, or forwards them to the owner's callback.
//
// Waiting: a request waits on a condition variable and wakes as soon as its
// answer (or the loss of the link) arrives. Limits: 3000 ms for the requests
// limited to 30 polls, 6000 ms for those limited to 60, 10000 ms for event A,
// 5000 ms for event B and for every HTTP read, 20000 ms for the login reply.
// The requests the protocol lets wait until an answer arrives are bounded
// too, by kOpenEndedWaitMs (result 15), so no caller can hang on a device
// that keeps the connection open but never answers.
//
// One request waits at a time per session (callers use one worker thread per
// session); the status event is per session.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/link/SWL_TCPLink.h"
#include "common/platform/Clock.h"
#include "common/session/CNetDevice.h"
#include "common/session/CommandMessage.h"
#include "common/session/DeviceGreeting.h"
#include "common/session/LoginRecord.h"

// What the owner gets with a media frame (event type 0).
struct NET_FRAME_RECORD {
    uint32_t frameClass = 0;
    uint32_t seconds = 0;  // the timestamp in whole seconds
    uint64_t timestampUs = 0;
    uint8_t headBytes[3] = {};  // head bytes 1..3 (byte 3 = 1: encrypted)
    uint32_t id1 = 0;
    uint32_t id2 = 0;
    uint32_t word24 = 0;
    uint32_t word28 = 0;
    uint32_t frameLength = 0;
    const uint8_t* frame = nullptr;  // copy of the frame bytes, valid during the callback
    uint32_t frameBytes = 0;         // bytes present (at most frameLength)
};

// Settings that differ between the two programs and tests.
struct SessionOptions {
    // Cfgpush writes the login line with the user name to the diagnostics.
    bool logLoginLine = false;
    platform::Clock* clock = nullptr;  // null: the system clock
    login::RandomSource random;        // empty: the process's generator
    uint32_t loginReplyWaitMs = 20000;
    uint32_t httpReadWaitMs = 5000;
    uint32_t configReplyWaitMs = 5000;
};

class CNetDVSDevice : public CNetDevice {
public:
    static constexpr uint32_t kPollMs = 100;
    static constexpr uint32_t kOpenEndedWaitMs = 120000;
    static constexpr uint32_t kEventAWaitMs = 10000;
    static constexpr uint32_t kEventBWaitMs = 5000;
    static constexpr uint32_t kFinalPhaseShortMs = 140000;
    static constexpr uint32_t kFinalPhaseLongMs = 240000;
    static constexpr uint32_t kFinalPhaseLargePayload = 0xC00000;
    static constexpr int kHttpMaxSkipped = 29;
    static constexpr size_t kHttpNameField = 64;
    // The largest message the link accepts from the device, by what the
    // session expects: before and during the login (greeting-stage
    // exchanges and the login reply are a few hundred bytes); once logged in
    // (replies, events, HTTP replies); once a media stream was opened (a
    // frame of a high-resolution stream). Anything longer breaks the link.
    static constexpr uint32_t kLoginStageMessageLimit = 64 * 1024;
    static constexpr uint32_t kReplyMessageLimit = 4 * 1024 * 1024;
    static constexpr uint32_t kMediaFrameMessageLimit = 16 * 1024 * 1024;

    CNetDVSDevice(CTcpLink* link, const DeviceGreeting& greeting, NetDeviceCallback callback,
                  void* user, const std::array<uint8_t, 6>& localMac,
                  const SessionOptions& options);

    // ---- the session interface ----
    int Login(const char* user, const char* password, NET_DEVICE_INFO& info) override;
    int OpenStream(uint8_t channel, uint8_t kind) override;
    int CloseStream(uint8_t channel, uint8_t kind) override;
    int StreamControl(uint8_t kind) override;
    int Request0405(uint8_t* buffer, uint32_t& length) override;
    int Post0408(const void* data, uint32_t length) override;
    int Transact0407(const void* data, uint32_t length, uint8_t*& reply,
                     uint32_t& replyLength) override;
    int Request020E(uint8_t*& reply, uint32_t& replyLength) override;
    int Request0208(uint8_t*& reply, uint32_t& replyLength) override;
    int Post0406() override;
    int QueryBuffered(uint8_t* buffer) override;
    int SendUpgradeData(const void* data, uint32_t length, int kind) override;
    int ResetProgress() override;
    int AwaitCompletion() override;
    int GetProgress(int& percent) override;
    int Post0205() override;
    int GetImageSettings(uint8_t (&table)[64 * 5]) override;
    bool ApplyImageSettings(int channel, const uint8_t (&table)[64 * 5]) override;
    int SetImageSetting(int channel, int what, uint32_t value,
                        const uint32_t* block = nullptr) override;
    int Post0302() override;
    int Request0701() override;
    int Post0702(const void* data, uint32_t length) override;
    int Post0703() override;
    int GetStatus() override;
    void Release() override;
    int Request0206(uint8_t (&block)[260]) override;

    int Request0401(uint8_t* buffer, uint32_t* length);
    // percent: 0..99 (the device's value minus one); extra: 1..10 while the
    // device writes the image after 98. 0 new value, 3 nothing new, 4 link
    // lost, 8 the device failed.
    int PollUpgradeProgress(int& percent, uint32_t payloadLength, int& extra);
    bool ReachedFinalPhase();
    // Waits until a progress or failure reply arrives or the link is lost
    // (whichever comes first), at most limitMs. `seen` is the caller's count
    // of such happenings, updated here; true when something new happened.
    // Lets an upgrade go at the device's pace instead of a fixed poll step.
    bool WaitUpgradeProgress(uint64_t& seen, uint32_t limitMs);
    int Request030D(uint32_t& value);
    int Request0326(uint32_t& value);
    int Request0328(uint8_t* buffer, uint32_t capacity);
    int Post01000C07(uint32_t value);
    int Request01000C08(const void* data, uint32_t length, uint32_t& value);
    int Request01000C09(uint8_t* buffer, uint32_t capacity);
    int Post01000C0A();

    // ---- Cfgpush's operations ----
    void GetTripleValue(uint32_t& first, uint32_t& second, uint32_t& third);
    void SetTripleValue(uint32_t first, uint64_t second);
    int Request0212(const void* data, uint32_t length, uint32_t& value);
    // The 260-byte body holds the payload length, the name (at most 63
    // characters) and the payload (at most 192 bytes); larger ones are
    // refused with 11 and nothing is sent.
    int Request0216(const void* payload, const char* name, uint32_t length, uint32_t& value);
    // Version-3 devices: sends 0x0D01 without logging in and takes the next
    // message's first body word. 0, or 4 when nothing came within 5000 ms.
    int SendConfigCommand(const void* payload, uint32_t length, uint32_t& value);
    // "ImportFacConf" through the session: the reply's HTTP status (200
    // accepted), 0 when its status line cannot be read, 4 when no reply came.
    int ImportFacConf(const void* data, uint32_t length);

    // ---- HTTP through the session (Fwbatch's form) ----
    // 0 when the reply's status is 200, else 4. On a reply, replyText gets the
    // response text and replyLength the whole reply message's length.
    int HttpRequest(const char* name, std::string& replyText, uint32_t& replyLength,
                    const void* payload, uint32_t payloadLength);

    // Releases a reply buffer handed out by Transact0407, Request020E or
    // Request0208.
    static void FreeReply(uint8_t* reply) { delete[] reply; }

    // Sends one command message: 0 sent, 4 link failed, 65535 no memory.
    int SendPackcmd(uint32_t id, uint32_t bodyLength, const void* body, uint32_t aux = 0);

    // The link's callback: runs the dispatcher.
    static void LinkCallback(void* user, uint8_t* message, int length);
    void Dispatch(const uint8_t* message, int length);

    const DeviceGreeting& Greeting() const { return m_greeting; }
    const std::array<uint8_t, 6>& LocalMac() const { return m_localMac; }
    NET_DEVICE_INFO DeviceInfo();
    // The request state (0 idle, 1 waiting, 2 answered, 3 refused, 4 link
    // lost), for tests.
    int RequestState();

private:
    ~CNetDVSDevice() override;

    // Counts a caller waiting inside the session, so the destructor waits
    // for it to leave.
    class InsideCall {
    public:
        explicit InsideCall(CNetDVSDevice& session);
        ~InsideCall();
        InsideCall(const InsideCall&) = delete;
        InsideCall& operator=(const InsideCall&) = delete;

    private:
        CNetDVSDevice& m_session;
    };

    enum RequestState { kIdle = 0, kWaiting = 1, kAnswered = 2, kRefused = 3, kLost = 4 };
    enum class Refusal { KeepWaiting, End };

    struct WaitRules {
        uint32_t limitMs;  // time the request may wait for its answer
        Refusal onRefusal;
    };
    // What a request takes away from the session when answered.
    struct Answer {
        std::vector<uint8_t> reply;
        uint32_t value = 0;
        uint32_t refusal = 0;
    };
    enum class WaitOutcome { Answered, Refused, Lost, TimedOut };

    // A reader of the next message while the receive thread runs: the
    // dispatcher hands it what it waits for and counts what else arrives.
    struct SyncReader {
        bool active = false;
        bool wantsHttpReply = false;  // else: any message
        uint64_t seen = 0;            // messages dispatched since it began
        bool handed = false;
        uint64_t handedSeen = 0;  // `seen` when the awaited message came
        std::vector<uint8_t> message;
    };

    int Post(uint32_t id, const void* body = nullptr, uint32_t length = 0);
    WaitOutcome Request(uint32_t id, const void* body, uint32_t length, const WaitRules& rules,
                        Answer& answer);
    int ValueRequest(uint32_t id, const void* body, uint32_t length, uint32_t limitMs,
                     uint32_t CNetDVSDevice::*answerField, uint32_t& value);
    int BufferRequest(uint32_t id, const void* body, uint32_t length, uint32_t limitMs,
                      uint8_t*& reply, uint32_t& replyLength);
    int CopyRequest(uint32_t id, uint32_t limitMs, uint8_t* buffer, uint32_t capacity);
    void BeginRequest();
    void EndRequest();
    bool WaitEvent(bool& event, uint32_t limitMs);
    void SetState(int state);
    void NotifyOwner(int type, int parameter, const void* data, uint32_t extra);
    void DispatchMediaFrame(const proto::CommandView& msg);
    // Under the progress lock: maps a progress value to a poll's result.
    int ReportProgress(int progress, int outOfRange, int& percent);
    // Counts a happening that an upgrade's wait should wake for.
    void NoteProgressEvent();
    void StoreBody(std::vector<uint8_t>& target, const proto::CommandView& msg);

    // Reads the next message for a synchronous exchange: straight from the
    // link before the receive thread runs, otherwise handed over by the
    // dispatcher. 0 a message, 1 nothing within waitMs, 2/3 link failure.
    int BeginSyncRead(bool httpReply);
    // `others` counts the messages that came before it and were not the one
    // awaited.
    int NextSyncMessage(std::vector<uint8_t>& message, uint32_t waitMs, uint64_t& seen,
                        uint64_t& others);
    // Reads one whole message from the link within waitMs (a fragmented one
    // is put together within that time): 0, 1 nothing, 2/3 link failure.
    int RecvWithin(TcpLinkMessage& message, uint32_t waitMs);
    void EndSyncRead();
    int HttpExchange(const char* name, const void* payload, uint32_t payloadLength,
                     bool fwbatchForm, std::string& replyText, uint32_t& replyLength, int& status);
    std::string SessionKeyText() const;

    platform::Clock& Clock() const { return *m_options.clock; }

    CTcpLink* const m_link;
    const NetDeviceCallback m_callback;
    void* const m_user;
    const DeviceGreeting m_greeting;
    const std::array<uint8_t, 6> m_localMac;
    SessionOptions m_options;
    std::atomic<bool> m_recvStarted{false};

    // Guarded by m_stateMutex; changes are announced on m_stateCv.
    std::mutex m_stateMutex;
    std::condition_variable m_stateCv;
    int m_requestState = kIdle;
    uint32_t m_refusalReason = 0;
    std::vector<uint8_t> m_reply;
    uint32_t m_value0302 = 0;
    uint32_t m_value0304 = 0;
    uint32_t m_valueC0B = 0;
    uint8_t m_imageSettings[64 * 5];
    int m_status = 4;
    int m_requestsInProgress = 0;  // the status event is set when 0
    int m_callsInside = 0;         // other waits in progress (events, reads, progress)
    bool m_closing = false;        // the session is going away: every wait ends
    bool m_eventA = false;
    uint32_t m_firstValue = 0;
    uint64_t m_secondValue = 0;
    uint32_t m_thirdValue = 0;
    std::string m_textA;
    std::vector<uint8_t> m_block260;  // filled by 0x01000201, per session
    bool m_eventB = false;
    std::vector<uint8_t> m_bufferB;
    bool m_haveBufferB = false;
    SyncReader m_sync;
    NET_DEVICE_INFO m_info;

    // Guarded by m_progressMutex; progress replies and the lost link are
    // counted in m_progressEvents and announced on m_progressCv.
    std::mutex m_progressMutex;
    std::condition_variable m_progressCv;
    uint64_t m_progressEvents = 0;
    int m_progress = -1;
    int m_lastReported = -1;
    int m_pollLastValue = -1;
    bool m_finalPhase = false;
    uint64_t m_finalPhaseStart = 0;
    int m_lastExtra = 0;
    uint32_t m_upgradeCounter = 0;

    // Login reply fields the session keeps.
    uint8_t m_loginByte24 = 0;
    uint32_t m_frameIdentification = 0;
    uint8_t m_loginByte34 = 0;
    uint8_t m_loginByte35 = 0;

    std::mutex m_streamMutex;
    std::map<uint16_t, int> m_streams;

    std::mutex m_transactMutex;
};

// Creates a session on the link that read the device's 64-byte greeting.
// Null with error 13 or 14 when the protocol version is not 3 (the link then
// stays the caller's); otherwise error 0 and the session owns the link.
// (One link per connection: wrapping the socket in a second link would
// close it twice.)
CNetDVSDevice* CreateNetDevice(TcpLinkPtr& link, const uint8_t* greeting,
                               NetDeviceCallback callback, void* user, int& error,
                               const SessionOptions& options = {});

// Ends a session (Release) when the owner lets go of it.
struct NetDeviceReleaser {
    void operator()(CNetDVSDevice* session) const {
        if (session != nullptr) {
            session->Release();
        }
    }
};
