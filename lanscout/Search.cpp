#include "lanscout/Search.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "common/platform/Diagnostics.h"
#include "common/platform/ThreadStart.h"
#include "lanscout/DeviceTable.h"
#include "lanscout/Lanscout.h"

namespace lanscout {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Answers handled per wake before the loop looks at the round timer and the
// stop request again, so a flood of answers cannot delay either.
constexpr int kAnswersPerWake = 64;
constexpr uint32_t kMinIntervalMs = 10;

uint16_t SpreadFor(const SearchOptions& options, uint32_t intervalMs) {
    if (options.answerSpreadMs >= 0) {
        return static_cast<uint16_t>(std::min<int>(options.answerSpreadMs, kMaxAnswerSpreadMs));
    }
    return static_cast<uint16_t>(std::min<uint32_t>(intervalMs / 4, 500));
}

uint32_t RandomSearchId() {
    std::random_device device;
    uint32_t id = 0;
    while (id == 0) {  // 0 marks an unsolicited answer
        id = device();
    }
    return id;
}

}  // namespace

Search::Search(ReportFn report, SearchOptions options, platform::NetworkPlatform& net)
    : m_report(std::move(report)), m_options(std::move(options)), m_net(net) {
    m_options.probeIntervalMs = std::max(m_options.probeIntervalMs, kMinIntervalMs);
    m_options.hopLimit = std::clamp(m_options.hopLimit, 1, 255);
    m_interfaceNames = m_options.interfaces;
}

Search::~Search() {
    Stop();
}

int Search::Start() {
    std::lock_guard<std::mutex> lifecycle(m_lifecycleLock);
    if (m_thread.joinable()) {
        return LANSCOUT_ERR_ALREADY_STARTED;
    }
    if (!m_report || !platform::SystemParseIPv4(m_options.group.c_str(), m_group) ||
        !platform::IsMulticastIPv4(m_group)) {
        return LANSCOUT_ERR_BAD_ARGUMENT;
    }
    if (!m_wake.Valid()) {
        return LANSCOUT_ERR_SOCKET;
    }
    const int err = m_socket.Open(m_options.answerPort, false);
    if (err != 0) {
        platform::DiagPrintf("lanscout: cannot open the answer port %u: %d\n",
                             static_cast<unsigned>(m_options.answerPort), err);
        return LANSCOUT_ERR_SOCKET;
    }
    m_searchId = RandomSearchId();
    m_stop.store(false);
    m_wake.Drain();
    if (!platform::StartThread(m_thread, [this] { Run(); })) {
        return LANSCOUT_ERR_THREAD;
    }
    return LANSCOUT_OK;
}

int Search::Stop() {
    if (OnSearchThread()) {
        // Joining here would wait for ourselves. Stopping is enough for the
        // contract: the thread makes no report once it sees the request.
        m_stop.store(true, std::memory_order_release);
        m_wake.Signal();
        return LANSCOUT_ERR_IN_CALLBACK;
    }
    std::lock_guard<std::mutex> lifecycle(m_lifecycleLock);
    m_stop.store(true, std::memory_order_release);
    m_wake.Signal();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_socket.Close();
    return LANSCOUT_OK;
}

bool Search::OnSearchThread() const {
    return m_threadId.load() == std::this_thread::get_id();
}

void Search::SetInterfaces(std::vector<std::string> names) {
    std::lock_guard<std::mutex> lock(m_interfacesLock);
    m_interfaceNames = std::move(names);
}

void Search::Report(const std::string& mac, int kind, const std::string& xml) {
    if (!Stopping()) {
        m_report(mac.c_str(), kind, xml.c_str());
    }
}

void Search::SendProbes(const Memberships& memberships, uint64_t round, uint16_t spreadMs) {
    Probe probe;
    probe.searchId = m_searchId;
    probe.round = static_cast<uint32_t>(round);
    probe.answerSpreadMs = spreadMs;
    probe.hopLimit = static_cast<uint8_t>(m_options.hopLimit);
    const std::vector<uint8_t> datagram = EncodeProbe(probe);
    for (const auto& where : memberships.Joined()) {
        const int err =
            m_socket.SendTo(m_group, m_options.probePort, where, m_options.hopLimit, datagram);
        if (err != 0) {
            // A link without carrier refuses; the next round tries again.
            platform::DiagPrintf("lanscout: probe on %s failed: %d\n", where.name.c_str(), err);
        }
    }
}

void Search::Run() {
    m_threadId.store(std::this_thread::get_id());
    DeviceTable table(m_options.missedRoundsForGone, m_options.maxDevices);
    Memberships memberships(m_socket, m_group);
    const auto interval = std::chrono::milliseconds(m_options.probeIntervalMs);
    const uint16_t spreadMs = SpreadFor(m_options, m_options.probeIntervalMs);
    std::vector<uint8_t> buffer(kMaxDatagram + 1);
    uint64_t round = 0;
    auto nextRound = SteadyClock::now();

    while (!Stopping()) {
        auto now = SteadyClock::now();
        if (now >= nextRound) {
            if (round > 0) {
                for (const auto& gone : table.CloseRound(round)) {
                    Report(gone.mac, LANSCOUT_KIND_GONE, gone.xml);
                }
            }
            ++round;
            std::vector<std::string> names;
            {
                std::lock_guard<std::mutex> lock(m_interfacesLock);
                names = m_interfaceNames;
            }
            memberships.Update(SelectInterfaces(m_net, names));
            SendProbes(memberships, round, spreadMs);
            m_rounds.store(round);  // once the group is joined and the probes are out
            nextRound += interval;
            if (nextRound <= now) {
                nextRound = now + interval;  // no burst of rounds after a stall
            }
            continue;
        }
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(nextRound - now).count();
        const platform::MulticastSocket::WaitResult ready = m_socket.Wait(m_wake, waitMs);
        if (ready.woken) {
            m_wake.Drain();
        }
        if (!ready.readable) {
            continue;
        }
        for (int i = 0; i < kAnswersPerWake && !Stopping(); ++i) {
            const long size = m_socket.Receive(buffer.data(), buffer.size(), nullptr);
            if (size < 0) {
                break;
            }
            Answer answer;
            if (static_cast<size_t>(size) > kMaxDatagram ||
                DecodeAnswer(buffer.data(), static_cast<size_t>(size), answer) !=
                    DecodeResult::kOk) {
                m_dropped.fetch_add(1);
                continue;
            }
            const int kind = table.OnAnswer(answer.mac, answer.xml, round);
            if (kind != 0) {
                Report(answer.mac, kind, answer.xml);
            }
            // Counted after the report, so a test that sees the count sees the report.
            m_answers.fetch_add(1);
        }
    }
    memberships.LeaveAll();
    m_threadId.store(std::thread::id());
}

}  // namespace lanscout
