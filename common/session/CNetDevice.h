#pragma once
// The device session interface: the program's logged-in conversation with
// one device. Operations return the session result codes (SessionResults.h).
// "Post" operations send and return at once; "request" operations wait for
// the device's answer within the limits documented in CNetDVSDevice.

#include <cstdint>

#include "common/session/DeviceInfo.h"

class CNetDevice;

// The owner's callback: (user, session, event type, parameter, data, extra).
// It runs on the link's receive thread (or, for a lost link, its keep-alive
// thread) and must not release the session.
using NetDeviceCallback = int (*)(void* user, CNetDevice* session, int type, int parameter, const void* data,
                                  uint32_t extra);

// Event types passed to the owner's callback.
namespace netevent {
constexpr int kMediaFrame = 0;
constexpr int kLinkLost = 1;
constexpr int kAlarm = 2;
constexpr int kEvent0103 = 4;
constexpr int kEventC03 = 5;
}  // namespace netevent

class CNetDevice {
public:
    virtual int Login(const char* user, const char* password, NET_DEVICE_INFO& info) = 0;
    virtual int Reserved1() { return 0; }
    virtual int OpenStream(uint8_t channel, uint8_t kind) = 0;
    virtual int CloseStream(uint8_t channel, uint8_t kind) = 0;
    virtual int StreamControl(uint8_t kind) = 0;
    virtual int Request0405(uint8_t* buffer, uint32_t& length) {
        (void)buffer;
        (void)length;
        return 0;
    }
    virtual int Reserved6() { return 0; }
    virtual int Post0408(const void* data, uint32_t length) {
        (void)data;
        (void)length;
        return 11;
    }
    virtual int Transact0407(const void* data, uint32_t length, uint8_t*& reply, uint32_t& replyLength) {
        (void)data;
        (void)length;
        (void)reply;
        (void)replyLength;
        return 11;
    }
    virtual int Request020E(uint8_t*& reply, uint32_t& replyLength) {
        (void)reply;
        (void)replyLength;
        return 11;
    }
    virtual int Request0208(uint8_t*& reply, uint32_t& replyLength) {
        reply = nullptr;
        (void)replyLength;
        return 0;
    }
    virtual int Post0406() { return 0; }
    virtual int QueryBuffered(uint8_t* buffer) {
        (void)buffer;
        return 0;
    }
    virtual int SendUpgradeData(const void* data, uint32_t length, int kind) {
        (void)data;
        (void)length;
        (void)kind;
        return 0;
    }
    virtual int Reserved14() { return 0; }
    virtual int ResetProgress() { return 11; }
    virtual int AwaitCompletion() { return 11; }
    virtual int GetProgress(int& percent) {
        (void)percent;
        return 0;
    }
    virtual int Reserved18() { return 0; }
    virtual int Post0205() { return 0; }
    virtual int GetImageSettings(uint8_t (&table)[64 * 5]) {
        (void)table;
        return 0;
    }
    virtual bool ApplyImageSettings(int channel, const uint8_t (&table)[64 * 5]) {
        (void)channel;
        (void)table;
        return false;
    }
    virtual int SetImageSetting(int channel, int what, uint32_t value, const uint32_t* block = nullptr) {
        (void)channel;
        (void)what;
        (void)value;
        (void)block;
        return 0;
    }
    virtual int Post0302() { return 0; }
    virtual int Reserved24() { return 0; }
    virtual int Request0701() { return 0; }
    virtual int Post0702(const void* data, uint32_t length) {
        (void)data;
        (void)length;
        return 0;
    }
    virtual int Post0703() { return 0; }
    virtual int GetStatus() { return 4; }
    // Ends the session; the object must not be used afterwards.
    virtual void Release() {}
    virtual int Request0206(uint8_t (&block)[260]) {
        (void)block;
        return 0;
    }

protected:
    CNetDevice() = default;
    virtual ~CNetDevice() = default;

public:
    CNetDevice(const CNetDevice&) = delete;
    CNetDevice& operator=(const CNetDevice&) = delete;
};
