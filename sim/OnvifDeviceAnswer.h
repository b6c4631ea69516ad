#pragma once
// What a simulated camera's ONVIF device service answers to one HTTP
// request: GetSystemDateAndTime (and the other calls a client makes before
// it signs in) without credentials; GetDeviceInformation,
// GetNetworkInterfaces and GetScopes only for the right user name and
// password: a WS-Security UsernameToken PasswordDigest whose Created is in
// the camera's window and whose nonce is new, or, for a camera set to it,
// HTTP digest (MD5 or SHA-256) only. A pure function apart from the
// camera's memory of nonces.

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <string_view>

#include "sim/DeviceConfig.h"
#include "sim/HttpRequest.h"

namespace sim {

// The nonces a camera remembers (used tokens, issued digest challenges).
struct OnvifAuthState {
    std::set<std::string> usedNonces;
    std::deque<std::string> usedOrder;
    std::deque<std::string> issued;
    uint64_t counter = 0;
};

struct OnvifHttpAnswer {
    int status = 200;
    std::string body;
    std::string wwwAuthenticate;  // a 401's challenge
    std::string operation;        // the request's operation, for the records
    bool refused = false;         // credentials missing or wrong
};

// A token's Created may be at most this far ahead of the camera's clock, or behind it.
constexpr int64_t kCreatedAheadMs = 300000;
constexpr int64_t kCreatedBehindMs = 540000;

OnvifHttpAnswer AnswerOnvifRequest(const HttpRequestHead& head, std::string_view body,
                                   const DeviceConfig& config, uint16_t httpPort, int style,
                                   int64_t deviceUtcMs, OnvifAuthState& state);

// "YYYY-MM-DDThh:mm:ss[.fff]Z" in milliseconds since 1970; false for other texts.
bool ParseUtcText(std::string_view text, int64_t& utcMs);

}  // namespace sim
