#include "sim/Connection.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/crypto/CDataEncryption.h"
#include "common/crypto/SessionKey.h"
#include "common/link/LinkFrames.h"
#include "common/platform/Diagnostics.h"
#include "common/session/ProtocolIds.h"
#include "sim/DeviceService.h"
#include "sim/EventLoop.h"
#include "sim/HttpAnswer.h"
#include "sim/LoginCheck.h"
#include "sim/LoginReply.h"
#include "sim/SimDevice.h"

namespace sim {

namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr int kReadsPerEvent = 16;  // then other connections get their turn
constexpr size_t kMaxPendingOutput = 64u * 1024u * 1024u;
constexpr size_t kHttpNameField = 64;
constexpr size_t kMagicBytes = 4;            // "1111" at the start of every frame
constexpr size_t kGreetingHeaderBytes = 16;  // the greeting's first four words
// The reply to the version-3 configuration command; the program takes the
// next message whatever its identifier, so the device answers in its own
// reply family.
constexpr uint32_t kReplyConfigV3 = 0x01000D01;

std::vector<uint8_t> Word(uint32_t value) {
    std::vector<uint8_t> body(4);
    tcplink::WriteLe32(body.data(), value);
    return body;
}

}  // namespace

Connection::Connection(EventLoop& loop, DeviceService& service, SimDevice& device, int fd,
                       uint64_t id)
    : m_loop(loop), m_service(service), m_device(device), m_fd(fd), m_id(id) {}

Connection::~Connection() {
    for (uint64_t timer : m_timers) {
        m_loop.Cancel(timer);
    }
    if (m_watch != 0) {
        m_loop.Unwatch(m_watch);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool Connection::Start() {
    m_watch = m_loop.Watch(m_fd, EPOLLIN, [this](uint32_t events) { OnIo(events); });
    if (m_watch == 0) {
        Close();
        return false;
    }
    const auto config = m_device.Config();
    const GreetingSettings& g = config->greeting;
    m_greeting.SetWord(2, g.productType);
    m_greeting.SetWord(3, g.protocolVersion);
    m_greeting.SetWord(6, g.transformMode);
    m_greeting.SetWord(7, g.transformKey);
    m_greeting.bytes[44] = g.digestMode;
    m_greeting.SetSessionNumber(g.sessionNumber);
    m_greeting.SetWord(13, g.encrypted ? 1 : 0);
    m_keepAliveMs = config->link.keepAliveMs;

    m_plan = m_device.PlanConnection(m_number);

    m_device.Records().Modify([](DeviceRecords& r) { ++r.connections; });
    if (config->faults.silence == Silence::NoGreeting) {
        return true;  // not even keep-alive frames: they would be taken for the greeting
    }
    Emit(std::vector<uint8_t>(m_greeting.bytes.begin(), m_greeting.bytes.end()),
         Exchange{ExchangeKind::Greeting, 0, {}});
    if (!m_closed && m_keepAliveMs > 0) {
        Later(m_keepAliveMs, [this] { SendKeepAlive(); });
    }
    return !m_closed;
}

void Connection::Close() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    for (uint64_t timer : m_timers) {
        m_loop.Cancel(timer);
    }
    m_timers.clear();
    if (m_watch != 0) {
        m_loop.Unwatch(m_watch);
        m_watch = 0;
    }
    ::close(m_fd);
    m_fd = -1;
    if (m_loggedIn) {
        m_loggedIn = false;
        m_service.SessionClosed();
    }
    m_service.Forget(m_id);
}

void Connection::Later(uint32_t delayMs, std::function<void()> fn) {
    // The id is known only after the timer exists; the callback finds it
    // through a shared slot.
    auto self = std::make_shared<uint64_t>(0);
    *self = m_loop.After(delayMs, [this, self, fn = std::move(fn)] {
        m_timers.erase(*self);
        if (!m_closed) {
            fn();
        }
    });
    m_timers.insert(*self);
}

void Connection::OnIo(uint32_t events) {
    if ((events & EPOLLOUT) != 0) {
        Flush();
    }
    if (!m_closed && (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) {
        ReadSome();
    }
}

void Connection::ReadSome() {
    uint8_t chunk[kReadChunk];
    for (int i = 0; i < kReadsPerEvent && !m_closed; ++i) {
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            m_in.insert(m_in.end(), chunk, chunk + n);
            ParseFrames();
            if (static_cast<size_t>(n) < sizeof chunk) {
                return;  // drained for now
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return;
        }
        Close();  // the program closed its end, or the socket failed
        return;
    }
}

void Connection::ParseFrames() {
    size_t pos = 0;
    while (!m_closed && m_in.size() - pos >= tcplink::kFrameHeaderSize) {
        const tcplink::FrameHeader header = tcplink::DecodeFrameHeader(m_in.data() + pos);
        if (!header.magicOk) {
            Anomaly("frame with a wrong magic; connection closed");
            Close();
            return;
        }
        if (header.length == 0) {
            pos += tcplink::kFrameHeaderSize;  // the program's keep-alive
            continue;
        }
        if (header.length == tcplink::kFragmentMarker ||
            header.length > tcplink::kMaxMessageLength) {
            Anomaly(header.length == tcplink::kFragmentMarker
                        ? "the program sent a fragment; connection closed"
                        : "frame longer than the link allows; connection closed");
            Close();
            return;
        }
        const size_t total = tcplink::kFrameHeaderSize + header.length;
        if (m_in.size() - pos < total) {
            m_in.reserve(pos + total);
            break;
        }
        HandleMessage(m_in.data() + pos + tcplink::kFrameHeaderSize, header.length);
        pos += total;
    }
    if (!m_closed && pos > 0) {
        m_in.erase(m_in.begin(), m_in.begin() + static_cast<std::ptrdiff_t>(pos));
    }
}

void Connection::HandleMessage(const uint8_t* message, size_t length) {
    proto::CommandView request;
    if (!proto::ParseCommand(message, length, request)) {
        Anomaly("message of " + std::to_string(length) + " bytes, shorter than its header");
        return;
    }
    const auto config = m_device.Config();
    if (m_stalled) {
        m_device.Records().Modify([](DeviceRecords& r) { ++r.ignoredWhileSilent; });
        return;
    }
    const Silence silence = config->faults.silence;
    const bool silent =
        silence == Silence::NoGreeting || silence == Silence::NoLoginReply ||
        (silence == Silence::AfterLogin && (m_loggedIn || request.id != proto::CMD_REQUEST_LOGIN));
    if (silent) {
        m_device.Records().Modify([](DeviceRecords& r) { ++r.ignoredWhileSilent; });
        return;
    }
    UpgradeKind kind;
    if (request.id == proto::CMD_REQUEST_LOGIN) {
        OnLogin(request, *config);
    } else if (request.id == proto::kReqConfigV3) {
        OnConfigV3(request, *config);  // version-3 devices take it without a login
    } else if (!m_loggedIn) {
        char text[80];
        std::snprintf(text, sizeof text, "request 0x%04X before the login; not answered",
                      request.id);
        Anomaly(text);
    } else if (request.id == proto::kReqHttp) {
        OnHttp(request, *config);
    } else if (KindOfCommand(request.id, kind)) {
        OnUpgradePiece(kind, request, *config);
    } else {
        m_device.Records().Modify([&](DeviceRecords& r) { ++r.unservedRequests[request.id]; });
    }
}

void Connection::OnLogin(const proto::CommandView& request, const DeviceConfig& config) {
    const LoginCheck check = CheckLoginRecord(request.body, request.bodyLength, m_greeting,
                                              config.identity.user, config.identity.password);
    uint32_t refusal = 0;
    if (config.faults.refuseLogin != 0) {
        refusal = config.faults.refuseLogin;
    } else if (!check.accepted) {
        refusal = kRefuseWrongCredentials;
    } else if (!m_loggedIn && m_service.Sessions() >= config.behaviour.maxSessions) {
        refusal = kRefuseTooManyConnections;
    } else if (m_plan.Ending() == EndingFault::RefuseLogin && !m_refusedOnce) {
        // The connection's random fault: its first login is refused.
        m_refusedOnce = true;
        refusal = m_plan.Refusal();
        InjectedFault fault;
        fault.connection = m_number;
        fault.exchange = m_exchanges;
        fault.what = ExchangeKind::Login;
        fault.kind = EndingFault::RefuseLogin;
        fault.refusal = refusal;
        m_device.Records().Modify([&](DeviceRecords& r) { r.injected.push_back(fault); });
    }

    LoginEntry entry;
    std::memcpy(entry.record.data(), request.body,
                std::min(request.bodyLength, entry.record.size()));
    entry.form = check.form;
    entry.user = check.user;
    entry.nonce = check.nonce;
    entry.mac = check.mac;
    entry.accepted = refusal == 0;
    entry.refusal = refusal;
    entry.problem = check.problem;
    if (refusal == 0 && !m_loggedIn) {
        m_loggedIn = true;
        m_service.SessionOpened();
    }
    m_device.Records().Modify([&](DeviceRecords& r) { r.logins.push_back(std::move(entry)); });

    if (refusal != 0) {
        SendReply(proto::CMD_REPLY_LONGIN_FAIL, LoginRefusalBody(refusal), 0,
                  Exchange{ExchangeKind::Login, 0, {}});
    } else {
        SendReply(proto::kReplyLoginOk, LoginSuccessBody(config, m_device.BoundPort()), 0,
                  Exchange{ExchangeKind::Login, 0, {}});
    }
}

void Connection::OnHttp(const proto::CommandView& request, const DeviceConfig& config) {
    std::vector<uint8_t> plain(request.body, request.body + request.bodyLength);
    const bool encrypted = m_greeting.PayloadEncrypted();
    const std::string key = crypto::SessionKeyText(m_greeting.SessionNumber());
    if (encrypted && !plain.empty()) {
        if (plain.size() % 16 != 0) {
            Anomaly("encrypted HTTP request of " + std::to_string(plain.size()) +
                    " bytes, not whole blocks");
        }
        CmdDataBuffer out = CDataEncryption::Instance().DecryptCmdData(plain, key.c_str());
        if (out.Ok() && out.IsNewBuffer()) {
            plain.assign(out.Data(), out.Data() + out.Size());
        }
    }

    HttpAnswer answer;
    std::string name;
    std::vector<uint8_t> payload;
    const size_t nameLength =
        plain.size() < kHttpNameField
            ? kHttpNameField
            : strnlen(reinterpret_cast<const char*>(plain.data()), kHttpNameField);
    if (nameLength == kHttpNameField) {
        Anomaly("HTTP request without a 64-byte name field");
        answer.status = 400;
        answer.text = HttpResponseText(400, "");
    } else {
        name.assign(reinterpret_cast<const char*>(plain.data()), nameLength);
        payload.assign(plain.begin() + kHttpNameField, plain.end());
        answer = AnswerHttpRequest(config, name, payload);
        if (m_device.TakeHttpFailure()) {
            answer.status = 500;
            answer.text = HttpResponseText(500, "");
        }
    }

    const size_t padding = PossiblePadding(payload, encrypted);
    m_device.Records().Modify([&](DeviceRecords& r) {
        if (name == kImportFacConf) {
            r.configs.push_back(
                ConfigEntry{ConfigRoute::ImportFacConf, payload, encrypted, padding});
        }
        r.http.push_back(HttpEntry{name, std::move(payload), encrypted, padding, answer.status});
    });

    std::vector<uint8_t> body(answer.text.begin(), answer.text.end());
    if (encrypted) {
        CmdDataBuffer out = CDataEncryption::Instance().EncryptCmdData(body, key.c_str());
        if (out.Ok() && out.IsNewBuffer()) {
            body.assign(out.Data(), out.Data() + out.Size());
        }
    }
    SendReply(proto::kReplyHttp, body, 0, Exchange{ExchangeKind::Http, 0, name});
}

void Connection::OnConfigV3(const proto::CommandView& request, const DeviceConfig& config) {
    std::vector<uint8_t> payload(request.body, request.body + request.bodyLength);
    m_device.Records().Modify([&](DeviceRecords& r) {
        r.configs.push_back(ConfigEntry{ConfigRoute::Command0D01, std::move(payload), false, 0});
    });
    if (!config.behaviour.configV3Silent) {
        SendReply(kReplyConfigV3, Word(config.behaviour.configV3Reply), 0,
                  Exchange{ExchangeKind::ConfigV3, 0, {}});
    }
}

void Connection::OnUpgradePiece(UpgradeKind kind, const proto::CommandView& request,
                                const DeviceConfig& config) {
    const UpgradeAssembler::Result result =
        m_upgrade.Accept(kind, request.body, request.bodyLength);
    const PieceEntry piece{
        request.id, request.bodyLength >= 4 ? tcplink::ReadLe32(request.body) : 0u,
        request.bodyLength >= 4 ? static_cast<uint32_t>(request.bodyLength - 4) : 0u};
    const bool complete = result.outcome == UpgradeAssembler::Outcome::Complete;
    std::vector<uint8_t> image;
    if (complete) {
        image = m_upgrade.TakeImage();
    }
    m_device.Records().Modify([&](DeviceRecords& r) {
        r.pieces.push_back(piece);
        if (!result.anomaly.empty()) {
            r.anomalies.push_back(result.anomaly);
        }
        if (complete) {
            r.images[kind] = std::move(image);
            ++r.imagesReceived;
        }
    });
    switch (result.outcome) {
        case UpgradeAssembler::Outcome::Failed:
            m_device.Records().Modify([](DeviceRecords& r) { ++r.upgradesFailed; });
            SendReply(FailureReplyOf(kind), Word(m_upgrade.PiecesTaken()), 0,
                      Exchange{ExchangeKind::UpgradePiece, piece.sequence, {}});
            return;
        case UpgradeAssembler::Outcome::Ignored:
            return;
        case UpgradeAssembler::Outcome::Accepted:
        case UpgradeAssembler::Outcome::Complete:
            break;
    }
    // The device paces the transfer: piece k is answered with progress k
    // after the piece delay; the last one after writing the image.
    const uint32_t delay = complete ? config.behaviour.writeImageMs : config.behaviour.pieceDelayMs;
    const uint32_t sequence = result.sequence;
    auto finish = [this, kind, sequence, complete] {
        FinishPiece(kind, sequence, complete, *m_device.Config());
    };
    if (delay == 0) {
        finish();
    } else {
        Later(delay, std::move(finish));
    }
}

void Connection::FinishPiece(UpgradeKind kind, uint32_t sequence, bool complete,
                             const DeviceConfig& config) {
    const int percent =
        static_cast<int>(sequence) - 1;  // what the program shows for progress `sequence`
    if (m_device.TakeUpgradeFault(SimDevice::FaultKind::FailUpgrade, percent)) {
        m_upgrade.Abort();
        m_device.Records().Modify([](DeviceRecords& r) { ++r.upgradesFailed; });
        SendReply(FailureReplyOf(kind), Word(sequence), 0,
                  Exchange{ExchangeKind::UpgradePiece, sequence, {}});
        return;
    }
    if (complete && kind == UpgradeKind::Software) {
        m_device.ApplySoftwareImage();  // the image is written: the device runs its new version
    }
    const bool reboot = complete && config.behaviour.finish == UpgradeFinish::Reboot;
    if (m_device.TakeUpgradeFault(SimDevice::FaultKind::DropConnection, percent) || reboot) {
        m_device.Records().Modify([](DeviceRecords& r) { ++r.dropsDone; });
        Close();
        return;
    }
    if (complete) {
        m_device.Records().Modify([](DeviceRecords& r) { ++r.upgradesCompleted; });
    }
    SendReply(ProgressReplyOf(kind), Word(sequence), 0,
              Exchange{ExchangeKind::UpgradePiece, sequence, {}});
}

void Connection::SendReply(uint32_t id, const std::vector<uint8_t>& body, uint32_t aux,
                           const Exchange& exchange) {
    if (m_closed) {
        return;
    }
    const std::vector<uint8_t> message =
        proto::BuildCommand(id, body.data(), static_cast<uint32_t>(body.size()), aux);
    const auto config = m_device.Config();
    ++m_repliesSent;
    const bool badMagic =
        config->faults.badMagicReply != 0 && m_repliesSent == config->faults.badMagicReply;
    const uint32_t fragmentSize = config->link.fragmentSize;
    const auto total = static_cast<uint32_t>(message.size());

    std::vector<uint8_t> out;
    uint8_t header[tcplink::kFrameHeaderSize];
    if (fragmentSize == 0 || total <= fragmentSize) {
        tcplink::EncodeFrameHeader(total, header);
        if (badMagic)
            std::memcpy(header, "2222", 4);
        out.insert(out.end(), header, header + sizeof header);
        out.insert(out.end(), message.begin(), message.end());
    } else {
        // Fragments of one message share an identifier and a slot; the
        // slot alternates between messages so both are exercised.
        const uint32_t count = (total + fragmentSize - 1) / fragmentSize;
        const uint32_t messageId = ++m_fragmentMessageId;
        const uint32_t slot = m_nextSlot;
        m_nextSlot ^= 1;
        for (uint32_t n = 1; n <= count; ++n) {
            const uint32_t offset = (n - 1) * fragmentSize;
            const uint32_t length = std::min(fragmentSize, total - offset);
            tcplink::EncodeFrameHeader(tcplink::kFragmentMarker, header);
            if (badMagic && n == 1)
                std::memcpy(header, "2222", 4);
            uint8_t fragment[tcplink::kFragmentHeaderSize];
            tcplink::EncodeFragmentHeader({messageId, count, total, n, length, slot}, fragment);
            out.insert(out.end(), header, header + sizeof header);
            out.insert(out.end(), fragment, fragment + sizeof fragment);
            out.insert(out.end(), message.begin() + offset, message.begin() + offset + length);
        }
    }
    Emit(std::move(out), exchange);
}

void Connection::Emit(std::vector<uint8_t> bytes, const Exchange& exchange) {
    if (m_closed || m_stalled) {
        return;
    }
    const uint32_t number = m_exchanges++;
    // The device's own time for a request (not for the greeting).
    const uint32_t ownMs =
        exchange.what == ExchangeKind::Greeting ? 0 : m_device.Config()->behaviour.replyDelayMs;
    if (!m_plan.Active() && ownMs == 0 && m_paced.empty()) {
        Queue(bytes.data(), bytes.size());
        Flush();
        return;
    }
    if (!m_plan.Active()) {
        Step step;
        step.delayMs = ownMs;
        step.bytes = std::move(bytes);
        m_paced.push_back(std::move(step));
        Pump();
        return;
    }
    const ReplyShape shape = m_plan.Shape(number, bytes.size());
    StepAction action = StepAction::None;
    size_t sendable = bytes.size();
    if (shape.ending) {
        InjectedFault fault;
        fault.connection = m_number;
        fault.exchange = number;
        fault.what = exchange.what;
        fault.sequence = exchange.sequence;
        fault.name = exchange.name;
        fault.kind = shape.fault;
        switch (shape.fault) {
            case EndingFault::CorruptHeader: {
                // A frame's magic, or the greeting's first four words (its
                // protocol version among them); garbled the same way each time.
                const size_t garbled =
                    exchange.what == ExchangeKind::Greeting ? kGreetingHeaderBytes : kMagicBytes;
                for (size_t i = 0; i < garbled && i < bytes.size(); ++i) {
                    bytes[i] ^= 0x5A;
                }
                break;
            }
            case EndingFault::Reset:
            case EndingFault::Stall:
                action = shape.fault == EndingFault::Reset ? StepAction::Reset : StepAction::Stall;
                sendable = shape.cutAfter;
                fault.cutAfter = static_cast<uint32_t>(shape.cutAfter);
                break;
            default:
                break;
        }
        m_device.Records().Modify([&](DeviceRecords& r) { r.injected.push_back(fault); });
    }
    if (shape.split || shape.slow) {
        m_device.Records().Modify([&](DeviceRecords& r) {
            r.splitReplies += shape.split ? 1 : 0;
            r.slowReplies += shape.slow ? 1 : 0;
        });
    }
    size_t at = 0;
    bool first = true;
    for (const size_t piece : shape.pieces) {
        if (at >= sendable) {
            break;
        }
        const size_t n = std::min(piece, sendable - at);
        Step step;
        step.delayMs = first ? shape.delayMs + ownMs : shape.pieceGapMs;
        step.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                          bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
        m_paced.push_back(std::move(step));
        at += n;
        first = false;
    }
    if (action != StepAction::None) {
        Step step;
        step.delayMs = first ? shape.delayMs + ownMs : 0;
        step.action = action;
        m_paced.push_back(std::move(step));
    }
    Pump();
}

void Connection::Pump() {
    while (!m_closed && !m_pumpWaiting && !m_paced.empty()) {
        Step& front = m_paced.front();
        if (front.delayMs > 0) {
            const uint32_t delay = front.delayMs;
            front.delayMs = 0;
            m_pumpWaiting = true;
            Later(delay, [this] {
                m_pumpWaiting = false;
                Pump();
            });
            return;
        }
        Step step = std::move(front);
        m_paced.pop_front();
        if (!step.bytes.empty()) {
            Queue(step.bytes.data(), step.bytes.size());
            Flush();
        }
        if (step.action == StepAction::Reset) {
            ResetNow();
            return;
        }
        if (step.action == StepAction::Stall) {
            m_stalled = true;  // the connection stays open; the program's end decides
            m_paced.clear();
            return;
        }
    }
}

void Connection::ResetNow() {
    if (m_closed) {
        return;
    }
    // A zero linger time makes the close send a reset instead of a FIN.
    const linger hard{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
}

void Connection::SendKeepAlive() {
    if (m_stalled) {
        return;
    }
    uint8_t header[tcplink::kFrameHeaderSize];
    tcplink::EncodeFrameHeader(0, header);
    if (m_paced.empty()) {
        Queue(header, sizeof header);
        Flush();
    } else {
        // Behind the reply under way, never inside it.
        Step step;
        step.bytes.assign(header, header + sizeof header);
        m_paced.push_back(std::move(step));
        Pump();
    }
    if (!m_closed) {
        Later(m_keepAliveMs, [this] { SendKeepAlive(); });
    }
}

void Connection::Queue(const uint8_t* data, size_t length) {
    if (m_outStart > 0 && m_outStart == m_out.size()) {
        m_out.clear();
        m_outStart = 0;
    }
    m_out.insert(m_out.end(), data, data + length);
}

void Connection::Flush() {
    while (!m_closed && m_outStart < m_out.size()) {
        const ssize_t n =
            ::send(m_fd, m_out.data() + m_outStart, m_out.size() - m_outStart, MSG_NOSIGNAL);
        if (n > 0) {
            m_outStart += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            break;
        }
        Close();
        return;
    }
    if (m_closed) {
        return;
    }
    const size_t pending = m_out.size() - m_outStart;
    if (pending == 0) {
        m_out.clear();
        m_outStart = 0;
    }
    if (pending > kMaxPendingOutput) {
        Anomaly("the program does not read its replies; connection closed");
        Close();
        return;
    }
    const bool wantWrite = pending > 0;
    if (wantWrite != m_wantWrite) {
        m_wantWrite = wantWrite;
        m_loop.Modify(m_watch, wantWrite ? (EPOLLIN | EPOLLOUT) : EPOLLIN);
    }
}

void Connection::Anomaly(const std::string& text) {
    platform::DiagPrintf("camsim %s: %s\n", m_device.Config()->identity.mac.c_str(), text.c_str());
    m_device.Records().Modify([&](DeviceRecords& r) { r.anomalies.push_back(text); });
}

}  // namespace sim
