#pragma once
// A fleet of simulated devices in one process: one loop thread serves every
// device's data port and connections; a search responder answers the device
// search for each device that has not been told to leave. Everything here
// may be called from any thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/DeviceConfig.h"
#include "sim/DeviceRecords.h"

namespace lanscout {
class Responder;
}

namespace sim {

class DeviceService;
class EventLoop;
class OnvifHttpService;
class OnvifResponder;
class RecordStore;
class SimDevice;
struct SessionTally;

struct SimulatorOptions {
    // Answer the device search (send search traffic only inside a private
    // network namespace or on loopback).
    bool answerSearch = false;
    // Interfaces the search is answered on; empty: every up IPv4 interface.
    // Devices whose ONVIF side is on answer the ONVIF discovery there too.
    std::vector<std::string> searchInterfaces{"lo"};
    // The random wait of an ONVIF answer to a probe: 0..this many ms.
    uint32_t onvifAnswerSpreadMs = 500;
    // When set, the records are written below this directory (RecordStore.h).
    std::string storeDirectory;
    uint32_t storeDelayMs = 200;  // changes are written at most this late
};

class Simulator {
public:
    explicit Simulator(std::vector<DeviceConfig> devices, SimulatorOptions options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Checks the settings, binds every device's data port, starts answering
    // the search (when asked) and the loop thread. False with the reason.
    // A simulator starts once; a new one serves again.
    bool Start(std::string* error = nullptr);
    // Closes every connection and listener and stops the search answers;
    // writes the store a last time. Harmless when not running.
    void Stop();

    size_t DeviceCount() const { return m_devices.size(); }
    std::string Address(size_t index) const;
    uint16_t DataPort(size_t index) const;  // the port bound
    std::string Mac(size_t index) const;

    DeviceConfig Config(size_t index) const;
    // Replaces a device's settings while it runs (where it listens stays);
    // once-only faults may fire again. False when the settings are not usable.
    bool SetConfig(size_t index, DeviceConfig config, std::string* error = nullptr);
    // Shorthands for SetConfig.
    void SetFaults(size_t index, const DeviceFaults& faults);
    void SetBehaviour(size_t index, const Behaviour& behaviour);

    DeviceRecords Records(size_t index) const;
    bool WaitForRecords(size_t index, const std::function<bool(const DeviceRecords&)>& done,
                        uint32_t limitMs = 10000) const;
    void ClearRecords(size_t index);

    // The device stops answering the search (the programs will report it
    // gone) or answers again. False for an unknown index or without search.
    bool Leave(size_t index);
    bool Return(size_t index);
    bool Answering(size_t index) const;
    std::string SearchAnswer(size_t index) const;
    // The HTTP port of the device's ONVIF device service (0 when it has none).
    uint16_t OnvifPort(size_t index) const;

    // The most sessions logged in at once across all devices so far.
    uint32_t PeakOpenSessions() const;
    // How often the loop thread woke up (for measurements).
    uint64_t LoopWakeups() const;
    // Writes the store now (when there is one).
    void FlushStore();

private:
    void OnRecordsChanged(size_t index);
    void WriteDirty();

    SimulatorOptions m_options;
    std::vector<std::unique_ptr<SimDevice>> m_devices;
    std::unique_ptr<EventLoop> m_loop;
    std::unique_ptr<SessionTally> m_tally;
    std::vector<std::unique_ptr<DeviceService>> m_services;
    std::unique_ptr<lanscout::Responder> m_responder;
    std::vector<std::unique_ptr<OnvifHttpService>> m_onvifServices;
    std::unique_ptr<OnvifResponder> m_onvifResponder;
    void JoinOnvif(size_t index);
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<std::atomic<bool>[]> m_dirty;
    std::atomic<bool> m_flushPending{false};
    std::mutex m_storeLock;           // one writer of the store at a time
    mutable std::mutex m_searchLock;  // guards m_answering
    std::vector<bool> m_answering;
    std::mutex m_lifecycleLock;
    bool m_started = false;
    bool m_running = false;
    std::thread m_thread;
};

}  // namespace sim
