#include "fwbatch/engine/UpgradeWorker.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "common/link/SWL_TCPLink.h"
#include "common/platform/ByteOrder.h"
#include "common/platform/Clock.h"
#include "common/platform/Diagnostics.h"
#include "common/session/LoginProbe.h"
#include "common/session/ReachDevice.h"
#include "common/session/SessionResults.h"
#include "fwbatch/engine/AiQuery.h"
#include "fwbatch/engine/UpgradeResult.h"

namespace fwbatch {
namespace {

using SessionPtr = std::unique_ptr<CNetDVSDevice, NetDeviceReleaser>;

int IgnoreEvents(void*, CNetDevice*, int, int, const void*, uint32_t) {
    return 0;
}

constexpr int kTransferCancelled = -1;

struct TransferEnd {
    int status = 0;  // 0 completed, 4 link lost, 8 device failed, kTransferCancelled
    bool reached98 = false;
};

class Transfer {
public:
    Transfer(CNetDVSDevice& session, const UpgradeSettings& settings, uint32_t payloadLength,
             int index, std::atomic<bool>& finishing, const UpgradeProgress& progress)
        : m_session(session),
          m_settings(settings),
          m_payloadLength(payloadLength),
          m_plan(PlanPieces(payloadLength)),
          m_block(m_plan.first + 4u),
          m_index(index),
          m_finishing(finishing),
          m_progress(progress) {}

    TransferEnd Run(const UpgradeTimings& timings, platform::Clock& clock, ConnectCancel* cancel) {
        TransferEnd end;
        SendNextPiece();
        m_finishing.store(false);
        uint64_t seen = 0;
        uint64_t lastNews = clock.TickMs();
        for (;;) {
            if (cancel != nullptr && cancel->Cancelled()) {
                end.status = kTransferCancelled;
                return end;
            }
            if (m_session.ReachedFinalPhase()) {
                m_finishing.store(true);
            }
            int per = 0;
            int extra = 0;
            const int status = m_session.PollUpgradeProgress(per, m_payloadLength, extra);
            if (status == session::kOk) {
                lastNews = clock.TickMs();
                platform::DiagPrintf(
                    "\r\nindex = %d**********************************************per=%d\r\n",
                    m_index, per);
                platform::DiagPrintf("\r\n");
                if (per > 8) {
                    Report(per - 8);
                }
                if (per == 98) {
                    platform::DiagPrintf("########################### per = 98 index = %d", m_index);
                    end.reached98 = true;
                }
                if (per == 99) {
                    end.status = 0;
                    return end;
                }
                if (m_sequence <= kPieces) {
                    SendNextPiece();
                }
            } else if (status == session::kNothingNew) {
                if (extra > 0) {
                    Report(90 + extra);
                }
                // Silent with the connection open: bounded here, since
                // nothing else would end the wait.
                if (!end.reached98 && clock.TickMs() - lastNews > timings.pieceReplyLimitMs) {
                    platform::DiagPrintf("index = %d: no progress for %u ms\n", m_index,
                                         timings.pieceReplyLimitMs);
                    end.status = session::kLinkFailed;
                    return end;
                }
            } else if (status == session::kLinkFailed || status == session::kDeviceFailed) {
                end.status = status;
                return end;
            }
            m_session.WaitUpgradeProgress(seen, timings.pollMs);
        }
    }

private:
    void Report(int percent) {
        if (m_progress) {
            m_progress(m_index, percent);
        }
    }

    // The block is the sequence number (u32, little-endian) and the piece.
    // A failed write is not looked at here: it shows as a lost link.
    void SendNextPiece() {
        const uint32_t size = m_plan.Size(m_sequence);
        byteorder::WriteLe32(m_block.data(), m_sequence);
        if (size > 0) {
            std::memcpy(m_block.data() + 4, m_settings.package.data() + m_plan.Offset(m_sequence), size);
        }
        m_session.SendUpgradeData(m_block.data(), size + 4u, m_settings.type);
        ++m_sequence;
    }

    CNetDVSDevice& m_session;
    const UpgradeSettings& m_settings;
    const uint32_t m_payloadLength;
    const PiecePlan m_plan;
    std::vector<uint8_t> m_block;
    uint32_t m_sequence = 1;
    const int m_index;
    std::atomic<bool>& m_finishing;
    const UpgradeProgress& m_progress;
};

int LoginResultCode(int login) {
    switch (login) {
        case session::kOk:
            return kUpgradeSuccess;
        case session::kLoginWrongCredentials:
            return kUpgradeWrongCredentials;
        case session::kLoginTooManyConnections:
            return kUpgradeTooManyConnections;
        default:
            return kUpgradeConnectionFailed;
    }
}

// One attempt: a final code, or nothing when the attempt may be repeated.
std::optional<int> Attempt(const char* ipText, uint16_t port, int index, int attempt,
                           const UpgradeSettings& settings, std::atomic<bool>& finishing,
                           const UpgradeProgress& progress, const UpgradeOptions& options,
                           ConnectCancel* cancel, uint32_t& versionBefore) {
    uint8_t greeting[DeviceGreeting::kSize] = {};
    TcpLinkPtr link = ReachDevice(ipText, port, options.timings.connectMs,
                                  options.timings.greetingMs, options.connectEnv, cancel, greeting);
    if (!link) {
        return kUpgradeConnectionFailed;
    }
    int error = 0;
    SessionPtr session;
    // Cancelling breaks the live link; the guard ends before the session.
    const CancelLinkGuard guard(cancel, link.get());
    session.reset(CreateNetDevice(link, greeting, &IgnoreEvents, nullptr, error, options.session));
    if (!session) {
        // A protocol version without a session: nothing to log in with.
        platform::DiagPrintf("upgrade %s: no session (%d)\n", ipText, error);
        return kUpgradeConnectionFailed;
    }
    NET_DEVICE_INFO info;
    const int login =
        LoginResultCode(session->Login(settings.userName.c_str(), settings.password.c_str(), info));
    if (login != kUpgradeSuccess) {
        return login;
    }
    versionBefore = info.softwareVersion;
    const std::optional<uint32_t> payloadLength = CheckPackage(
        settings.package.data(), settings.package.size(), settings.type, info.softwareVersion);
    if (!payloadLength) {
        return kUpgradePackageError;
    }
    if (settings.dryRun) {
        return kUpgradeSuccess;  // every check passed: the device would be upgraded
    }
    Transfer transfer(*session, settings, *payloadLength, index, finishing, progress);
    platform::Clock& clock =
        options.session.clock != nullptr ? *options.session.clock : platform::SystemClock();
    const TransferEnd end = transfer.Run(options.timings, clock, cancel);
    if (guard.Cancelled()) {
        // The link was broken on purpose: whatever the device does now is
        // unknown, so never report success.
        return kUpgradeFailed;
    }
    const bool last = attempt >= kUpgradeAttempts;
    switch (end.status) {
        case 0:
            return kUpgradeSuccess;
        case session::kLinkFailed:
            if (finishing.load()) {
                return kUpgradeSuccess;  // the device restarts with its new image
            }
            break;
        case session::kDeviceFailed:
            if (end.reached98) {
                return kUpgradeFailed;
            }
            break;
        default:
            return kUpgradeFailed;  // cancelled
    }
    if (last) {
        return kUpgradeFailed;
    }
    return std::nullopt;  // the session is released before the next attempt
}

// Logs in once: the device's software version, or nothing.
// Neither the connection nor the greeting waits past `leftMs`.
std::optional<uint32_t> LoginVersion(const char* ipText, uint16_t port, const UpgradeSettings& settings,
                                     const UpgradeOptions& options, ConnectCancel* cancel, uint64_t leftMs) {
    const auto within = [leftMs](uint32_t limit) {
        return static_cast<uint32_t>(std::max<uint64_t>(1, std::min<uint64_t>(limit, leftMs)));
    };
    session::LoginProbeLimits limits;
    limits.connectMs = within(options.timings.connectMs);
    limits.greetingMs = within(options.timings.greetingMs);
    uint32_t version = 0;
    if (session::ProbeLogin(ipText, port, settings.userName.c_str(), settings.password.c_str(), limits,
                            options.connectEnv, options.session, cancel, version) != session::kOk) {
        return std::nullopt;
    }
    return version;
}

// Whether a device that is back (its login accepted, with `version`) shows
// what its upgrade type can show. A software image changes the software
// version. A kernel or boot-loader image changes nothing the login tells:
// the device back and taking the login is all there is to know. An
// intelligent-library image must also answer "GetDeviceInfo".
bool BackAsUpgraded(const char* ipText, uint16_t port, const UpgradeSettings& settings,
                    const UpgradeOptions& options, ConnectCancel* cancel, uint64_t leftMs, uint32_t version,
                    uint32_t versionBefore) {
    switch (settings.type) {
        case kUpgradeSoftware:
            return version != versionBefore;
        case kUpgradeAiLibrary: {
            DEVICE_PARAM entry;
            entry.firstAddress = entry.secondAddress = ipText;
            entry.commandPort = port;
            entry.userName = settings.userName;
            entry.password = settings.password;
            AiQueryOptions ai;
            const auto within = [leftMs](uint32_t limit) {
                return static_cast<uint32_t>(std::max<uint64_t>(1, std::min<uint64_t>(limit, leftMs)));
            };
            ai.timings.connectMs = within(ai.timings.connectMs);
            ai.timings.greetingMs = within(ai.timings.greetingMs);
            ai.connectEnv = options.connectEnv;
            ai.session = options.session;
            return QueryDeviceInfo(entry, ai, cancel).has_value();
        }
        default:
            return true;
    }
}

// After a reported success: tries to log in until the device is back with
// what its upgrade type can show (BackAsUpgraded), or the limit passes. A
// device that reported success may still run its old image for a while
// before it restarts, so the old version alone decides nothing until the end.
int Verify(const char* ipText, uint16_t port, const UpgradeSettings& settings, const UpgradeOptions& options,
           ConnectCancel* cancel, uint32_t versionBefore, uint32_t& versionAfter) {
    platform::Clock& clock = options.session.clock != nullptr ? *options.session.clock : platform::SystemClock();
    const uint64_t deadline = clock.TickMs() + options.timings.verifyLimitMs;
    bool cameBack = false;
    for (;;) {
        if (cancel != nullptr && cancel->Cancelled()) {
            return kUpgradeFailed;  // nothing is known of the device now
        }
        const uint64_t left = deadline > clock.TickMs() ? deadline - clock.TickMs() : 0;
        if (const std::optional<uint32_t> version = LoginVersion(ipText, port, settings, options, cancel, left)) {
            cameBack = true;
            versionAfter = *version;
            if (BackAsUpgraded(ipText, port, settings, options, cancel, left, *version, versionBefore)) {
                return kUpgradeSuccess;
            }
        }
        const uint64_t now = clock.TickMs();
        if (now >= deadline) {
            break;
        }
        clock.SleepMs(static_cast<uint32_t>(std::min<uint64_t>(options.timings.verifyRetryMs, deadline - now)));
    }
    return cameBack ? kUpgradeNotApplied : kUpgradeDidNotComeBack;
}

}  // namespace

UpgradeOutcome UpgradeDevice(const char* ipText, uint16_t port, int index,
                             const UpgradeSettings& settings, std::atomic<bool>& finishing,
                             const UpgradeProgress& progress, const UpgradeOptions& options,
                             ConnectCancel* cancel) {
    UpgradeOutcome outcome;
    outcome.attempts = 1;
    // A name or password that does not fit its field is refused before
    // anything is sent (the login would fail on it anyway).
    if (settings.userName.size() >= kCredentialFieldBytes ||
        settings.password.size() >= kCredentialFieldBytes) {
        outcome.code = kUpgradeWrongCredentials;
        return outcome;
    }
    for (int attempt = 1; attempt <= kUpgradeAttempts; ++attempt) {
        outcome.attempts = attempt;
        const std::optional<int> code =
            Attempt(ipText, port, index, attempt, settings, finishing, progress, options, cancel,
                    outcome.versionBefore);
        if (code) {
            outcome.code = *code;
            if (outcome.code == kUpgradeSuccess && settings.verify && !settings.dryRun) {
                outcome.code = Verify(ipText, port, settings, options, cancel, outcome.versionBefore,
                                      outcome.versionAfter);
            }
            return outcome;
        }
    }
    outcome.code = kUpgradeFailed;  // not reached: the fifth attempt always ends with a code
    return outcome;
}

}  // namespace fwbatch
