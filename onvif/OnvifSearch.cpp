#include "onvif/OnvifSearch.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <unordered_set>

#include "common/platform/Diagnostics.h"
#include "common/platform/ThreadStart.h"
#include "onvif/WsDiscovery.h"

namespace onvif {
namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr size_t kMaxDatagram = 65536;
// Datagrams taken from one socket per wake before the timers are looked at
// again, so a flood of answers cannot hold up a round or the stop request.
constexpr int kDatagramsPerWake = 256;
constexpr size_t kRememberedAnnouncements = 4096;

// Announcements are repeated with the same MessageID: each is handled once.
class RecentIds {
public:
    // True the first time a key is seen.
    bool Insert(const std::string& key) {
        if (!m_set.insert(key).second) {
            return false;
        }
        m_order.push_back(key);
        if (m_order.size() > kRememberedAnnouncements) {
            m_set.erase(m_order.front());
            m_order.pop_front();
        }
        return true;
    }

private:
    std::unordered_set<std::string> m_set;
    std::deque<std::string> m_order;
};

}  // namespace

// One local IPv4 address the probes go out from; its socket is bound to it,
// so the unicast answers come back to it.
struct OnvifSearch::Local {
    platform::MulticastInterface where;  // interface name, index and this address
    uint32_t mask = 0;
    std::unique_ptr<platform::MulticastSocket> socket;
    bool probed = false;  // this round's probes are out
};

OnvifSearch::OnvifSearch(ReportFn report, OnvifSearchOptions options,
                         platform::NetworkPlatform& net)
    : m_report(std::move(report)), m_options(std::move(options)), m_net(net) {
    m_options.probeIntervalMs = std::max<uint32_t>(m_options.probeIntervalMs, 100);
    m_options.addressCheckMs = std::max<uint32_t>(m_options.addressCheckMs, 10);
    m_options.hopLimit = std::clamp(m_options.hopLimit, 1, 255);
    m_interfaceNames = m_options.interfaces;
}

OnvifSearch::~OnvifSearch() {
    Stop();
}

bool OnvifSearch::Start(std::string* error) {
    std::lock_guard<std::mutex> lifecycle(m_lifecycleLock);
    auto fail = [error](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    if (m_thread.joinable()) {
        return true;
    }
    if (!platform::SystemParseIPv4(m_options.group.c_str(), m_group) ||
        !platform::IsMulticastIPv4(m_group)) {
        return fail("not a multicast group: " + m_options.group);
    }
    if (!m_wake.Valid()) {
        return fail("cannot make the wake event");
    }
    // Another program may hold the port without sharing it: the probes and
    // their answers still work, only the announcements go unheard.
    const int err = m_listener.Open(m_options.port, true);
    m_hearsAnnouncements = err == 0;
    if (err != 0) {
        platform::DiagPrintf(
            "onvif: the discovery port %u is not ours (%d): no Hello or Bye heard\n",
            static_cast<unsigned>(m_options.port), err);
    }
    m_stop.store(false);
    m_wake.Drain();
    if (!platform::StartThread(m_thread, [this] { Run(); })) {
        return fail("the system gave the search no thread");
    }
    return true;
}

void OnvifSearch::Stop() {
    std::lock_guard<std::mutex> lifecycle(m_lifecycleLock);
    m_stop.store(true, std::memory_order_release);
    m_wake.Signal();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_listener.Close();
}

void OnvifSearch::SetInterfaces(std::vector<std::string> names) {
    std::lock_guard<std::mutex> lock(m_interfacesLock);
    m_interfaceNames = std::move(names);
}

void OnvifSearch::Run() {
    OnvifDeviceTable table(m_options.maxDevices, m_options.missedRoundsForGone);
    RecentIds announcements;
    std::vector<Local> locals;
    std::vector<uint32_t> joined;  // interface indexes the listener joined the group on
    std::vector<uint8_t> buffer(kMaxDatagram + 1);
    struct Repeat {
        SteadyClock::time_point due;
        size_t local;
        uint32_t address;
        std::vector<uint8_t> datagram;
    };
    std::deque<Repeat> repeats;
    uint64_t round = 0;
    auto nextRound = SteadyClock::now();
    auto nextCheck = nextRound;

    auto report = [this](int kind, const OnvifDevice& device) {
        if (!Stopping()) {
            m_report(kind, device);
        }
    };

    // Follows the selected interfaces' addresses: a socket for each new
    // one, none for one that went; the listener joins the group on each.
    auto refresh = [&]() {
        std::vector<std::string> names;
        {
            std::lock_guard<std::mutex> lock(m_interfacesLock);
            names = m_interfaceNames;
        }
        std::vector<platform::AdapterInfo> adapters;
        if (m_net.GetAdapters(adapters) != platform::kNetOk) {
            return;
        }
        std::vector<Local> next;
        std::vector<uint32_t> indexes;
        for (const platform::AdapterInfo& a : adapters) {
            if (!a.up || a.index == 0 || a.addresses.empty() ||
                (!names.empty() && std::find(names.begin(), names.end(), a.name) == names.end())) {
                continue;
            }
            indexes.push_back(a.index);
            for (const platform::AdapterAddress& address : a.addresses) {
                auto same = std::find_if(locals.begin(), locals.end(), [&](const Local& l) {
                    return l.socket && l.where.index == a.index &&
                           l.where.address == address.address;
                });
                if (same != locals.end()) {
                    same->mask = address.mask;
                    next.push_back(std::move(*same));
                    continue;
                }
                Local local;
                local.where = platform::MulticastInterface{a.name, a.index, address.address};
                local.mask = address.mask;
                local.socket = std::make_unique<platform::MulticastSocket>();
                const int err = local.socket->Open(0, false, address.address);
                if (err != 0) {
                    platform::DiagPrintf("onvif: no socket on %s %s: %d\n", a.name.c_str(),
                                         platform::FormatIPv4(address.address).c_str(), err);
                    continue;
                }
                local.socket->SetReceiveBuffer(m_options.receiveBufferBytes);
                next.push_back(std::move(local));
            }
        }
        for (uint32_t index : joined) {
            if (std::find(indexes.begin(), indexes.end(), index) == indexes.end()) {
                m_listener.Leave(m_group, platform::MulticastInterface{"", index, 0});
            }
        }
        std::vector<uint32_t> nowJoined;
        for (const Local& l : next) {
            if (std::find(nowJoined.begin(), nowJoined.end(), l.where.index) != nowJoined.end()) {
                continue;
            }
            const bool was = std::find(joined.begin(), joined.end(), l.where.index) != joined.end();
            if (was || (m_hearsAnnouncements && m_listener.Join(m_group, l.where))) {
                nowJoined.push_back(l.where.index);
            }
        }
        joined = std::move(nowJoined);
        repeats.erase(std::remove_if(repeats.begin(), repeats.end(),
                                     [&](const Repeat& r) {
                                         return r.local >= next.size() ||
                                                next[r.local].where.address != r.address;
                                     }),
                      repeats.end());
        locals = std::move(next);
    };

    auto send = [&](Local& local, const std::vector<uint8_t>& datagram) {
        const int err = local.socket->SendTo(m_group, m_options.port, local.where,
                                             m_options.hopLimit, datagram);
        if (err != 0) {
            platform::DiagPrintf("onvif: probe from %s failed: %d\n",
                                 platform::FormatIPv4(local.where.address).c_str(), err);
        } else {
            m_probesSent.fetch_add(1);
        }
    };

    // The two typed probes from one address, each to be repeated once with
    // the same MessageID (the repeat of a datagram that may be lost).
    auto probe = [&](size_t i) {
        Local& local = locals[i];
        for (const QName& type : {NetworkVideoTransmitterType(), DeviceType()}) {
            const std::string text = BuildProbe(NewMessageId(), type);
            std::vector<uint8_t> datagram(text.begin(), text.end());
            send(local, datagram);
            repeats.push_back({SteadyClock::now() + milliseconds(m_options.repeatDelayMs), i,
                               local.where.address, std::move(datagram)});
        }
        local.probed = true;
    };

    auto handle = [&](size_t size, const HeardVia& via, bool fromListener) {
        const DiscoveryMessage message = ParseDiscoveryMessage(
            std::string_view(reinterpret_cast<const char*>(buffer.data()), size));
        using Kind = DiscoveryMessage::Kind;
        if (message.kind == Kind::ProbeMatches && !fromListener) {
            bool any = false;
            for (const DiscoveryTarget& target : message.targets) {
                // A match to a typed probe that names no type is still one.
                if (!target.types.empty() && !IsCamera(target)) {
                    continue;
                }
                any = true;
                OnvifDevice device;
                const int kind = table.OnHeard(target, via, round, &device);
                if (kind != 0) {
                    report(kind, device);
                }
            }
            (any ? m_answers : m_ignored).fetch_add(1);
            return;
        }
        if ((message.kind == Kind::Hello || message.kind == Kind::Bye) && fromListener) {
            const DiscoveryTarget& target = message.targets.front();
            if (!announcements.Insert(message.messageId + " " + target.endpoint)) {
                return;  // a repeat
            }
            if (message.kind == Kind::Bye) {
                OnvifDevice device;
                if (table.OnBye(target.endpoint, &device)) {
                    report(kOnvifGone, device);
                }
                return;
            }
            if (!IsCamera(target)) {
                m_ignored.fetch_add(1);
                return;
            }
            m_answers.fetch_add(1);
            OnvifDevice device;
            const int kind = table.OnHeard(target, via, round, &device);
            if (kind != 0) {
                report(kind, device);
            }
            return;
        }
        if (message.kind != Kind::Probe) {
            m_ignored.fetch_add(1);  // faults, junk, matches on the wrong socket
        }
    };

    // The local address an announcement on interface `index` from `sender`
    // reached: the one whose subnet holds the sender, else the first.
    auto viaListener = [&](uint32_t index, uint32_t sender) {
        HeardVia via;
        via.sender = sender;
        via.ifIndex = index;
        for (const Local& l : locals) {
            if (l.where.index != index) {
                continue;
            }
            const bool inSubnet = l.mask != 0 && (l.where.address & l.mask) == (sender & l.mask);
            if (via.interfaceName.empty() || inSubnet) {
                via.interfaceName = l.where.name;
                via.localAddress = l.where.address;
                via.localMask = l.mask;
                if (inSubnet) {
                    break;
                }
            }
        }
        return via;
    };

    while (!Stopping()) {
        const auto now = SteadyClock::now();
        if (now >= nextRound) {
            if (round > 0) {
                for (const OnvifDevice& gone : table.CloseRound(round)) {
                    report(kOnvifGone, gone);
                }
            }
            ++round;
            refresh();
            for (size_t i = 0; i < locals.size(); ++i) {
                probe(i);
            }
            m_rounds.store(round);
            nextRound = std::max(nextRound + milliseconds(m_options.probeIntervalMs), now);
            nextCheck = now + milliseconds(m_options.addressCheckMs);
            continue;
        }
        if (now >= nextCheck) {
            refresh();
            for (size_t i = 0; i < locals.size(); ++i) {
                if (!locals[i].probed) {
                    probe(i);  // an address that came since the round began
                }
            }
            nextCheck = now + milliseconds(m_options.addressCheckMs);
        }
        while (!repeats.empty() && repeats.front().due <= now) {
            Repeat& r = repeats.front();
            if (r.local < locals.size()) {
                send(locals[r.local], r.datagram);
            }
            repeats.pop_front();
        }
        auto until = std::min(nextRound, nextCheck);
        if (!repeats.empty()) {
            until = std::min(until, repeats.front().due);
        }
        std::vector<const platform::MulticastSocket*> sockets{&m_listener};
        for (const Local& l : locals) {
            sockets.push_back(l.socket.get());
        }
        std::vector<bool> readable;
        const auto waitMs = std::chrono::ceil<milliseconds>(until - SteadyClock::now()).count();
        if (platform::MulticastSocket::WaitAny(m_wake, sockets, waitMs, readable)) {
            m_wake.Drain();
        }
        for (size_t s = 0; s < sockets.size() && !Stopping(); ++s) {
            if (!readable[s]) {
                continue;
            }
            platform::MulticastSocket& socket = s == 0 ? m_listener : *locals[s - 1].socket;
            for (int n = 0; n < kDatagramsPerWake && !Stopping(); ++n) {
                uint32_t arrival = 0;
                uint32_t sender = 0;
                const long size = socket.Receive(buffer.data(), buffer.size(), &arrival, &sender);
                if (size < 0) {
                    break;
                }
                if (static_cast<size_t>(size) > kMaxDatagram) {
                    m_ignored.fetch_add(1);
                    continue;
                }
                if (s == 0) {
                    handle(static_cast<size_t>(size), viaListener(arrival, sender), true);
                } else {
                    const Local& l = locals[s - 1];
                    HeardVia via{l.where.name, l.where.index, l.where.address,
                                 l.mask,       sender,        true};
                    handle(static_cast<size_t>(size), via, false);
                }
            }
        }
    }
    for (uint32_t index : joined) {
        m_listener.Leave(m_group, platform::MulticastInterface{"", index, 0});
    }
}

}  // namespace onvif
