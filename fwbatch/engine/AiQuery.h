#pragma once
// The AI version query of one device: connect (second address, then the
// first), log in, ask "GetDeviceInfo" with the credentials text as payload,
// and read the versions of the three analysis components from the answer.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/link/ConnectCancel.h"
#include "common/link/SWL_ConnectProc.h"
#include "common/session/CNetDVSDevice.h"

namespace fwbatch {

constexpr int kAiVersionsReceived = 11;
constexpr int kAiQueryFailed = 12;

// The credentials text is Base64 of user ":" password in a 64-byte field:
// at most 45 bytes of input keep it (60 characters and the zero) inside.
constexpr size_t kAiCredentialsInputMax = 45;

// One device to ask (one entry per checked row).
struct DEVICE_PARAM {
    std::string deviceKey;  // the device's MAC text
    std::string firstAddress;
    std::string secondAddress;
    uint32_t commandPort = 0;
    std::string userName;  // the system's 8-bit form (UTF-8 here)
    std::string password;
};

struct AiVersionTexts {
    std::string structure;  // "structVersion"
    std::string face;       // "faceDetectVersion"
    std::string vehicle;    // "vehicleVersion"
    bool AllEmpty() const { return structure.empty() && face.empty() && vehicle.empty(); }
};

// What a query gives, carried between threads as owned texts.
struct AiQueryResult {
    int code = kAiQueryFailed;  // 11 versions received, 12 failed
    std::string deviceKey;
    AiVersionTexts versions;
};

struct AiQueryTimings {
    uint32_t connectMs = 3000;
    uint32_t greetingMs = 2000;
};

struct AiQueryOptions {
    AiQueryTimings timings;
    ConnectProcEnv connectEnv;
    SessionOptions session;
};

// Base64 of user ":" password; nothing when the input is over 45 bytes.
std::optional<std::string> AiCredentialsText(std::string_view userName, std::string_view password);

// The answer's XML document (the reply text from its first "<" on), or
// nothing when neither address answered, the login was refused or the
// request failed twice. The request is repeated once only when it was sent
// and failed.
std::optional<std::string> QueryDeviceInfo(const DEVICE_PARAM& entry, const AiQueryOptions& options = {},
                                           ConnectCancel* cancel = nullptr);

// The longest version text kept: a version lives in a 64-byte field with
// its terminating zero, whatever the device sends.
constexpr size_t kAiVersionTextMax = 63;

// config -> deviceInfo -> structVersion, faceDetectVersion, vehicleVersion
// (found in that order); a missing element gives an empty text. Each text
// ends at its first zero byte and is cut to kAiVersionTextMax bytes without
// splitting a UTF-8 character.
AiVersionTexts ParseDeviceInfo(std::string_view document);

// The whole query of one device. Credentials whose text would not fit its
// field fail at once, without connecting.
AiQueryResult RunAiQuery(const DEVICE_PARAM& entry, const AiQueryOptions& options = {},
                         ConnectCancel* cancel = nullptr);

// The result text: 1057 versions received, 1059 received but all empty,
// 1058 failed.
uint32_t AiResultStringId(const AiQueryResult& result);

}  // namespace fwbatch
