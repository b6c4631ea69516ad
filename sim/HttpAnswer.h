#pragma once
// What the device answers to an HTTP-style request carried through its
// session: "ImportFacConf" keeps the payload and answers 200,
// "GetDeviceInfo" checks the Basic credentials and answers the "config" /
// "deviceInfo" document, anything else 404. A fault status overrides all.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/DeviceConfig.h"

namespace sim {

inline constexpr char kImportFacConf[] = "ImportFacConf";
inline constexpr char kGetDeviceInfo[] = "GetDeviceInfo";

struct HttpAnswer {
    int status = 0;
    std::string text;  // the whole response, status line first
};

HttpAnswer AnswerHttpRequest(const DeviceConfig& config, const std::string& name,
                             const std::vector<uint8_t>& payload);

// The reason phrase of a status ("OK", "Unauthorized", ...).
const char* HttpReasonPhrase(int status);

// "HTTP/1.1 <status> <reason>\r\n" headers, a blank line, the body.
std::string HttpResponseText(int status, const std::string& body,
                             const char* contentType = nullptr);

// The answer document of "GetDeviceInfo" (without the AI versions when the
// device has none).
std::string DeviceInfoDocument(const DeviceConfig& config);

// True when the payload carries Base64 of "user:password" for this device
// (trailing zero bytes, surrounding blanks and a "Basic " prefix allowed).
bool CredentialsMatch(const DeviceConfig& config, const std::vector<uint8_t>& payload);

}  // namespace sim
