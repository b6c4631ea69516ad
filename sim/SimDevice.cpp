#include "sim/SimDevice.h"

namespace sim {

SimDevice::SimDevice(size_t index, DeviceConfig config)
    : m_index(index),
      m_config(std::make_shared<const DeviceConfig>(std::move(config))),
      m_faultRandom(DeviceFaultSeed(m_config->faults.random.seed, index)) {}

std::shared_ptr<const DeviceConfig> SimDevice::Config() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_config;
}

void SimDevice::ApplySoftwareImage() {
    std::lock_guard<std::mutex> lock(m_lock);
    DeviceConfig config = *m_config;
    const std::string& after = config.behaviour.versionAfterUpgrade;
    uint32_t word = 0;
    if (after == "keep") {
        return;
    }
    if (after == "offline") {
        config.faults.silence = Silence::NoGreeting;  // never comes back
        m_config = std::make_shared<const DeviceConfig>(std::move(config));
        return;
    }
    if (after.empty()) {
        word = VersionWordOf(config);
        word = (word & 0xFFFFFF00u) | ((word + 1) & 0xFFu);
    } else if (!ParseVersionWord(after, word)) {
        return;
    }
    char text[24];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", word >> 24, (word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF);
    config.identity.softwareVer = text;
    config.identity.versionWord = word;
    m_config = std::make_shared<const DeviceConfig>(std::move(config));
}

void SimDevice::SetConfig(DeviceConfig config) {
    std::lock_guard<std::mutex> lock(m_lock);
    config.identity.listenAddress = m_config->identity.listenAddress;
    config.identity.dataPort = m_config->identity.dataPort;
    m_config = std::make_shared<const DeviceConfig>(std::move(config));
    m_failsTaken = 0;
    m_dropsTaken = 0;
    m_httpRequests = 0;
    m_faultRandom = FaultRandom(DeviceFaultSeed(m_config->faults.random.seed, m_index));
    m_connectionsPlanned = 0;
}

ConnectionFaultPlan SimDevice::PlanConnection(uint64_t& connection) {
    std::lock_guard<std::mutex> lock(m_lock);
    connection = ++m_connectionsPlanned;
    // Drawn whether or not faults are on, so turning them on later keeps
    // the connections' numbering.
    const uint64_t seed = m_faultRandom.Next();
    return ConnectionFaultPlan(m_config->faults.random, seed);
}

bool SimDevice::TakeUpgradeFault(FaultKind kind, int percent) {
    std::lock_guard<std::mutex> lock(m_lock);
    const UpgradeFault& fault = kind == FaultKind::FailUpgrade ? m_config->faults.failUpgrade
                                                               : m_config->faults.dropConnection;
    uint32_t& taken = kind == FaultKind::FailUpgrade ? m_failsTaken : m_dropsTaken;
    if (fault.atPercent < 0 || fault.atPercent != percent || (!fault.everyTime && taken >= fault.times)) {
        return false;
    }
    ++taken;
    return true;
}

bool SimDevice::TakeHttpFailure() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_httpRequests++ < m_config->faults.httpFailFirst;
}

uint16_t SimDevice::HttpPort() const {
    const uint16_t bound = m_boundHttpPort.load();
    return bound != 0 ? bound : Config()->identity.httpPort;
}

}  // namespace sim
