#pragma once
// Writes what the devices received to files, for tests that run camsim as a
// separate process:
//
//   DIR/devices.json              index, MAC, address, data port and name of each device
//   DIR/device-<index>/records.json   logins, HTTP requests, configuration payloads,
//                                     pieces, images, anomalies and counters
//   DIR/device-<index>/config-<n>.bin  configuration payload n (from 1)
//   DIR/device-<index>/http-<n>.bin    payload of HTTP request n (from 1)
//   DIR/device-<index>/image-<type>.bin  the last image per upgrade type
//
// Every file is replaced whole (written beside it, then renamed), so a reader
// never sees half a file. No password reaches a file: the password field of a
// login record is written as zeros, and the credentials of "GetDeviceInfo"
// are left out.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class SimDevice;

class RecordStore {
public:
    explicit RecordStore(std::string directory);

    // Creates the directory (and its parents). False with the reason.
    bool Prepare(std::string& error);
    // Writes devices.json.
    bool WriteFleet(const std::vector<const SimDevice*>& devices);
    // Writes one device's records and any payload or image not written yet.
    bool WriteDevice(const SimDevice& device);

    const std::string& Directory() const { return m_directory; }
    static std::string DeviceDirectoryName(size_t index);

private:
    struct Written {
        size_t http = 0;
        size_t configs = 0;
        uint32_t images = 0;
        bool anyImage = false;
        uint32_t clears = 0;
    };

    std::string m_directory;
    std::vector<Written> m_written;
};

// Writes bytes to path through a temporary file and a rename.
bool WriteFileAtomically(const std::string& path, const void* data, size_t length);

}  // namespace sim
