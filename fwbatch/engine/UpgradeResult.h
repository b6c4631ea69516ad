#pragma once
// The result codes of one device's upgrade and the string each shows.

#include <cstdint>

namespace fwbatch {

constexpr int kUpgradeSuccess = 0;           // "Upgraded successfully!"
constexpr int kUpgradeWrongAddress = 1;      // has a text, sent by nobody
constexpr int kUpgradeCannotOpenFile = 2;    // the package file cannot be read
constexpr int kUpgradePackageError = 3;      // the package does not suit the device or type
constexpr int kUpgradeDisconnected = 4;      // has a text, sent by nobody
constexpr int kUpgradeFailed = 5;            // the transfer failed (after retries)
constexpr int kUpgradeConnectionFailed = 6;  // no connection, greeting or session; login refused otherwise
constexpr int kUpgradeWrongCredentials = 7;  // login result 1, or credentials too long to send
constexpr int kUpgradeTooManyConnections = 8;  // login result 6
constexpr int kUpgradeWrongPort = 10;        // command port or HTTP port 0
// After a reported success, the check that the device came back with a
// new software version:
constexpr int kUpgradeNotApplied = 20;       // it came back with the version it had
constexpr int kUpgradeDidNotComeBack = 21;   // no login succeeded within the limit

// The string id of a result code; 0 (an empty text) for codes without one.
uint32_t UpgradeResultStringId(int code);

}  // namespace fwbatch
