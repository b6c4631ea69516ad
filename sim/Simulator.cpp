#include "sim/Simulator.h"

#include <set>
#include <utility>

#include "common/platform/NetworkPlatform.h"
#include "lanscout/Lanscout.h"
#include "lanscout/Responder.h"
#include "sim/DeviceService.h"
#include "sim/EventLoop.h"
#include "sim/OnvifHttpService.h"
#include "sim/OnvifResponder.h"
#include "sim/RecordStore.h"
#include "sim/SearchAnswerXml.h"
#include "sim/SimDevice.h"

namespace sim {

Simulator::Simulator(std::vector<DeviceConfig> devices, SimulatorOptions options)
    : m_options(std::move(options)), m_loop(std::make_unique<EventLoop>()),
      m_tally(std::make_unique<SessionTally>()) {
    m_devices.reserve(devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        CompleteConfig(devices[i]);
        m_devices.push_back(std::make_unique<SimDevice>(i, std::move(devices[i])));
    }
    m_answering.assign(m_devices.size(), true);
    m_dirty = std::make_unique<std::atomic<bool>[]>(m_devices.size());
    if (!m_options.storeDirectory.empty()) {
        m_store = std::make_unique<RecordStore>(m_options.storeDirectory);
        for (size_t i = 0; i < m_devices.size(); ++i) {
            m_dirty[i] = true;
            m_devices[i]->Records().SetChangeHook([this, i] { OnRecordsChanged(i); });
        }
    }
}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::Start(std::string* error) {
    std::lock_guard<std::mutex> lifecycle(m_lifecycleLock);
    std::string reason;
    auto fail = [&](const std::string& why) {
        if (error != nullptr)
            *error = why;
        m_services.clear();
        m_onvifServices.clear();
        m_responder.reset();
        m_onvifResponder.reset();
        return false;
    };
    if (m_started) {
        return fail("a simulator starts only once");
    }
    m_started = true;
    std::set<std::string> macs;
    for (const auto& device : m_devices) {
        const auto config = device->Config();
        reason = CheckConfig(*config);
        if (!reason.empty()) {
            return fail("device " + std::to_string(device->Index()) + ": " + reason);
        }
        if (!macs.insert(config->identity.mac).second) {
            return fail("device " + std::to_string(device->Index()) + ": MAC " +
                        config->identity.mac + " is used twice");
        }
    }
    if (!m_loop->Open()) {
        return fail("cannot make the event loop");
    }
    for (const auto& device : m_devices) {
        auto service = std::make_unique<DeviceService>(*m_loop, *device, m_tally.get());
        if (!service->Listen(reason)) {
            return fail("device " + std::to_string(device->Index()) + ": " + reason);
        }
        m_services.push_back(std::move(service));
        if (device->Config()->onvif.enabled) {
            auto onvif = std::make_unique<OnvifHttpService>(*m_loop, *device);
            if (!onvif->Listen(reason)) {
                return fail("device " + std::to_string(device->Index()) + ": " + reason);
            }
            device->SetBoundHttpPort(onvif->Port());
            m_onvifServices.push_back(std::move(onvif));
        }
    }
    if (m_store) {
        std::vector<const SimDevice*> list;
        for (const auto& device : m_devices)
            list.push_back(device.get());
        if (!m_store->Prepare(reason) || !m_store->WriteFleet(list)) {
            return fail(reason.empty() ? "cannot write the store" : reason);
        }
    }
    if (m_options.answerSearch) {
        lanscout::ResponderOptions options;
        options.interfaces = m_options.searchInterfaces;
        m_responder = std::make_unique<lanscout::Responder>(options);
        for (size_t i = 0; i < m_devices.size(); ++i) {
            if (!m_devices[i]->Config()->behaviour.answerSearch) {
                continue;
            }
            if (m_responder->Join(Mac(i), SearchAnswer(i)) != LANSCOUT_OK) {
                return fail("device " + std::to_string(i) + ": its search answer is not valid");
            }
        }
        if (m_responder->Start() != LANSCOUT_OK) {
            return fail("cannot open the search port");
        }
        if (!m_onvifServices.empty()) {
            m_onvifResponder = std::make_unique<OnvifResponder>(m_options.searchInterfaces,
                                                                m_options.onvifAnswerSpreadMs);
            for (size_t i = 0; i < m_devices.size(); ++i) {
                JoinOnvif(i);
            }
            if (!m_onvifResponder->Start(&reason)) {
                return fail(reason);
            }
        }
    }
    m_running = true;
    m_thread = std::thread([this] { m_loop->Run(); });
    return true;
}

void Simulator::Stop() {
    std::lock_guard<std::mutex> lifecycle(m_lifecycleLock);
    if (!m_running) {
        return;
    }
    if (m_responder) {
        m_responder->Stop();
    }
    if (m_onvifResponder) {
        m_onvifResponder->Stop();  // the cameras say Bye
    }
    m_loop->Quit();
    m_thread.join();
    m_services.clear();  // the loop is gone: connections and listeners close here
    m_onvifServices.clear();
    m_running = false;
    FlushStore();
}

std::string Simulator::Address(size_t index) const {
    return m_devices.at(index)->Config()->identity.listenAddress;
}

uint16_t Simulator::DataPort(size_t index) const {
    return m_devices.at(index)->BoundPort();
}

std::string Simulator::Mac(size_t index) const {
    return m_devices.at(index)->Config()->identity.mac;
}

DeviceConfig Simulator::Config(size_t index) const {
    return *m_devices.at(index)->Config();
}

bool Simulator::SetConfig(size_t index, DeviceConfig config, std::string* error) {
    SimDevice& device = *m_devices.at(index);
    const auto old = device.Config();
    config.identity.listenAddress = old->identity.listenAddress;
    config.identity.dataPort = old->identity.dataPort;
    CompleteConfig(config);
    const std::string reason = CheckConfig(config);
    if (!reason.empty()) {
        if (error != nullptr)
            *error = reason;
        return false;
    }
    for (size_t i = 0; i < m_devices.size(); ++i) {
        if (i != index && Mac(i) == config.identity.mac) {
            if (error != nullptr)
                *error = "MAC " + config.identity.mac + " is used by device " + std::to_string(i);
            return false;
        }
    }
    device.SetConfig(std::move(config));
    std::lock_guard<std::mutex> lock(m_searchLock);
    if (m_responder && m_answering[index] && m_devices[index]->Config()->behaviour.answerSearch) {
        if (old->identity.mac != Mac(index)) {
            m_responder->Leave(old->identity.mac);
        }
        m_responder->Join(Mac(index), SearchAnswer(index));
    }
    return true;
}

void Simulator::SetFaults(size_t index, const DeviceFaults& faults) {
    DeviceConfig config = Config(index);
    config.faults = faults;
    SetConfig(index, std::move(config));
}

void Simulator::SetBehaviour(size_t index, const Behaviour& behaviour) {
    DeviceConfig config = Config(index);
    config.behaviour = behaviour;
    SetConfig(index, std::move(config));
}

DeviceRecords Simulator::Records(size_t index) const {
    return m_devices.at(index)->Records().Snapshot();
}

bool Simulator::WaitForRecords(size_t index, const std::function<bool(const DeviceRecords&)>& done,
                               uint32_t limitMs) const {
    return m_devices.at(index)->Records().WaitFor(done, limitMs);
}

void Simulator::ClearRecords(size_t index) {
    m_devices.at(index)->Records().Clear();
}

bool Simulator::Leave(size_t index) {
    std::lock_guard<std::mutex> lock(m_searchLock);
    if (index >= m_devices.size() || !m_responder) {
        return false;
    }
    m_answering[index] = false;
    m_responder->Leave(Mac(index));
    if (m_onvifResponder) {
        m_onvifResponder->Leave(index);
    }
    return true;
}

bool Simulator::Return(size_t index) {
    std::lock_guard<std::mutex> lock(m_searchLock);
    if (index >= m_devices.size() || !m_responder) {
        return false;
    }
    m_answering[index] = true;
    if (m_onvifResponder) {
        JoinOnvif(index);
    }
    if (!m_devices[index]->Config()->behaviour.answerSearch) {
        return true;
    }
    return m_responder->Join(Mac(index), SearchAnswer(index)) == LANSCOUT_OK;
}

bool Simulator::Answering(size_t index) const {
    std::lock_guard<std::mutex> lock(m_searchLock);
    return index < m_devices.size() && m_responder != nullptr && m_answering[index];
}

std::string Simulator::SearchAnswer(size_t index) const {
    const SimDevice& device = *m_devices.at(index);
    DeviceIdentity identity = device.Config()->identity;
    identity.httpPort = device.HttpPort();
    return BuildSearchAnswer(identity, device.BoundPort());
}

uint16_t Simulator::OnvifPort(size_t index) const {
    const SimDevice& device = *m_devices.at(index);
    return device.Config()->onvif.enabled ? device.HttpPort() : 0;
}

void Simulator::JoinOnvif(size_t index) {
    const SimDevice& device = *m_devices.at(index);
    const auto config = device.Config();
    if (!config->onvif.enabled) {
        return;
    }
    OnvifResponderDevice d;
    d.target = TargetOf(*config, device.HttpPort(), index);
    platform::ParseIPv4(config->identity.listenAddress, d.address);
    d.delayMs = config->onvif.answerDelayMs;
    d.fault = config->onvif.probeFault;
    d.hello = config->onvif.hello;
    d.bye = config->onvif.bye;
    m_onvifResponder->Join(index, d);
}

uint32_t Simulator::PeakOpenSessions() const {
    return m_tally->peak.load();
}

uint64_t Simulator::LoopWakeups() const {
    return m_loop->Wakeups();
}

void Simulator::OnRecordsChanged(size_t index) {
    m_dirty[index] = true;
    if (!m_flushPending.exchange(true)) {
        m_loop->Post([this] { m_loop->After(m_options.storeDelayMs, [this] { WriteDirty(); }); });
    }
}

void Simulator::WriteDirty() {
    m_flushPending = false;
    std::lock_guard<std::mutex> lock(m_storeLock);
    for (size_t i = 0; i < m_devices.size(); ++i) {
        if (m_dirty[i].exchange(false)) {
            m_store->WriteDevice(*m_devices[i]);
        }
    }
}

void Simulator::FlushStore() {
    if (m_store) {
        WriteDirty();
    }
}

}  // namespace sim
