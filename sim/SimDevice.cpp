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

}  // namespace sim
