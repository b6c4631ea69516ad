#pragma once
// Result codes of the device session's operations, shared by every caller.

namespace session {

constexpr int kOk = 0;
constexpr int kRefusedNoPermission = 2;  // slot 0x0405 refused with reason 5
constexpr int kNothingNew = 3;           // progress polls; also 0x0405 refused with reason 6
constexpr int kLinkFailed = 4;           // send failure, link lost or no reply
constexpr int kDeviceFailed = 8;         // the device reports failure (progress 0)
constexpr int kNotSupported = 11;
constexpr int kRefused0701 = 12;
constexpr int kProtocolTooOld = 13;      // greeting protocol version below 3
constexpr int kProtocolTooNew = 14;      // greeting protocol version above 3
constexpr int kNoAnswer = 15;            // refused, or no answer in time
constexpr int kOutOfMemory = 65535;

// Login results besides kOk and kLinkFailed.
constexpr int kLoginWrongCredentials = 1;   // device refusal code 2
constexpr int kLoginRefused13 = 5;          // device refusal code 13
constexpr int kLoginTooManyConnections = 6; // device refusal codes 3 and 4
// The user name or the password does not fit its 32-byte field (31 bytes
// and the terminating zero); nothing was sent. Chosen outside the small
// codes a device uses for its refusals.
constexpr int kLoginCredentialTooLong = 65534;
// The device refused the login (0x01000102) with refusal code 0, or with a
// body too short to hold a code: still a refusal, never a login.
constexpr int kLoginRefusedNoCode = 65533;

}  // namespace session
