#pragma once
// The upgrade of one device: connect, read the greeting, make the session,
// log in, check the package against the device, send the payload in 100
// numbered pieces paced by the device's progress replies, follow the image
// writing after 98 percent, and retry a transfer that broke, up to five
// attempts in all. Progress goes to a callback; the one result is the
// return value. The worker knows nothing of windows.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/link/ConnectCancel.h"
#include "common/link/SWL_ConnectProc.h"
#include "common/session/CNetDVSDevice.h"
#include "fwbatch/engine/UpgradePackage.h"

namespace fwbatch {

// What every worker of a batch reads and nobody changes while it runs.
struct UpgradeSettings {
    std::vector<uint8_t> package;  // the whole file: payload and trailer
    int type = kUpgradeSoftware;
    // The device's user name and password as the login sends them (the
    // system's 8-bit form: UTF-8 here). Each must fit its 32-byte field.
    std::string userName;
    std::string password;
    // Connect, log in and check the package against the device, then stop:
    // no piece is sent, and the result is the one the checks give (success
    // when the device would be upgraded).
    bool dryRun = false;
    // After a reported success, reconnect and log in until the device is
    // back with what its upgrade type can show, within the timings'
    // verifyLimitMs: a software image a software version other than the one
    // it had; a kernel or boot-loader image the login accepted; an
    // intelligent library the login accepted and "GetDeviceInfo" answered.
    // Back without it to the end is "Upgrade not applied!", no login at all
    // "Device did not come back!".
    bool verify = false;
};

struct UpgradeTimings {
    uint32_t connectMs = 20000;
    uint32_t greetingMs = 5000;
    // The longest gap between two progress polls; a progress reply wakes
    // the worker at once.
    uint32_t pollMs = 100;
    // A device that answers no piece for this long while the connection
    // stays open is taken as lost (the attempt may be repeated). The image
    // writing after 98 percent has its own window.
    uint32_t pieceReplyLimitMs = 60000;
    // Verifying: how long a device has to come back with its new version,
    // and the pause between two tries to log in again.
    uint32_t verifyLimitMs = 180000;
    uint32_t verifyRetryMs = 5000;
};

struct UpgradeOptions {
    UpgradeTimings timings;
    ConnectProcEnv connectEnv;  // tests shorten the connection procedure's limits
    SessionOptions session;     // tests give the session their clock
};

constexpr int kUpgradeAttempts = 5;
// A user name or password field holds 31 bytes and the terminating zero.
constexpr size_t kCredentialFieldBytes = 32;

struct UpgradeOutcome {
    int code = -1;     // UpgradeResult.h
    int attempts = 0;  // 1..5
    // The software version the device's login reported (four parts, the
    // first in the top byte); 0 when no login succeeded.
    uint32_t versionBefore = 0;
    // The version the device came back with when verified; 0 otherwise.
    uint32_t versionAfter = 0;
};

// (index, percentage to show): 1..90 while pieces go out, 91..100 while the
// device writes the image.
using UpgradeProgress = std::function<void(int index, int percent)>;

// Runs one device's upgrade to its end on the calling thread. `finishing`
// is the device's finishing flag (set once the device reported 98 percent:
// a lost link after that is the device rebooting into its new image).
// A cancelled upgrade ends at its next step with "Upgrade failed!".
UpgradeOutcome UpgradeDevice(const char* ipText, uint16_t port, int index,
                             const UpgradeSettings& settings, std::atomic<bool>& finishing,
                             const UpgradeProgress& progress, const UpgradeOptions& options = {},
                             ConnectCancel* cancel = nullptr);

}  // namespace fwbatch
