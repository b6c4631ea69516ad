#pragma once
// A scripted device peer for session tests: listens on a loopback port,
// accepts one connection, sends a greeting and then runs the test's script
// on its own thread. Frames are written and read with plain blocking
// sockets, independently of the link code under test.

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/session/DeviceGreeting.h"

namespace testpeer {

struct Message {
    uint32_t id = 0;
    uint32_t aux = 0;
    std::vector<uint8_t> body;
    std::vector<uint8_t> raw;  // header and body as received
};

class PeerConnection {
public:
    explicit PeerConnection(int fd) : m_fd(fd) {}
    bool SendRaw(const std::vector<uint8_t>& bytes);
    bool SendFrame(const std::vector<uint8_t>& payload);
    bool SendKeepAlive();
    bool SendMessage(uint32_t id, const std::vector<uint8_t>& body, uint32_t aux = 0);
    // Sends a message split into fragments of fragmentSize bytes on a slot.
    bool SendFragmented(uint32_t id, const std::vector<uint8_t>& body, uint32_t fragmentSize, uint32_t slot = 0,
                        uint32_t messageId = 7);
    // The next message, keep-alive frames skipped. False on close, error or
    // when nothing came within timeoutMs.
    bool ReadMessage(Message& message, int timeoutMs = 10000);
    void Close();
    int Fd() const { return m_fd; }

private:
    bool ReadExact(uint8_t* buffer, size_t length, int timeoutMs);
    int m_fd;
};

class ScriptedDevice {
public:
    using Script = std::function<void(PeerConnection&)>;

    ScriptedDevice();
    ~ScriptedDevice();
    uint16_t Port() const { return m_port; }
    // Accepts one connection, sends the greeting (unless null) and runs the script.
    void Start(const DeviceGreeting* greeting, Script script);
    void Join();

private:
    int m_listenFd = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
};

// A greeting of protocol version 3 with the given login forms.
DeviceGreeting MakeGreeting(uint32_t version = 3, uint8_t digestMode = 0, uint32_t sessionNumber = 0,
                            bool encrypted = false, uint32_t transformMode = 0, uint32_t transformKey = 0);

std::vector<uint8_t> Le32(uint32_t v);
uint32_t GetLe32(const std::vector<uint8_t>& bytes, size_t offset);

}  // namespace testpeer
