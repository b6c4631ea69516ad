#include "sim/DeviceConfig.h"

#include <cctype>

#include <arpa/inet.h>

#include <cstdio>

#include "lanscout/SearchProtocol.h"

namespace sim {

namespace {

constexpr size_t kMaxCredential = 31;   // the login fields hold 31 bytes and a zero
constexpr size_t kMaxAddressText = 19;  // the programs keep addresses in 20-byte fields

bool IsIpv4(const std::string& text) {
    in_addr a{};
    return text.size() <= kMaxAddressText && inet_pton(AF_INET, text.c_str(), &a) == 1;
}

bool IsLoopback(const std::string& text) {
    in_addr a{};
    return inet_pton(AF_INET, text.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

bool PercentOk(const UpgradeFault& fault) {
    return fault.atPercent >= -1 && fault.atPercent <= 99;
}

}  // namespace

std::string DefaultAddress(size_t index) {
    const size_t k = index + 1;  // 127.0.0.1 is left out
    const size_t host = k % 254 + 1;
    const size_t middle = k / 254;
    char text[32];
    std::snprintf(text, sizeof text, "127.%zu.%zu.%zu", (middle >> 8) & 0xFF, middle & 0xFF, host);
    return text;
}

std::string DefaultMac(size_t index) {
    char text[24];
    std::snprintf(text, sizeof text, "02:53:49:4D:%02X:%02X",
                  static_cast<unsigned>((index >> 8) & 0xFF), static_cast<unsigned>(index & 0xFF));
    if (index > 0xFFFF) {  // beyond 65536 devices the fourth byte counts too
        std::snprintf(text, sizeof text, "02:53:49:%02X:%02X:%02X",
                      static_cast<unsigned>((index >> 16) & 0xFF),
                      static_cast<unsigned>((index >> 8) & 0xFF),
                      static_cast<unsigned>(index & 0xFF));
    }
    return text;
}

DeviceConfig DefaultDevice(size_t index) {
    DeviceConfig config;
    config.identity.mac = DefaultMac(index);
    config.identity.devName = "camsim-" + std::to_string(index + 1);
    config.identity.listenAddress = DefaultAddress(index);
    config.greeting.sessionNumber = static_cast<uint32_t>((123456 + index * 7919) % 0x1000000);
    return config;
}

bool ParseVersionWord(const std::string& text, uint32_t& word) {
    unsigned parts[4];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3],
                    &tail) != 4) {
        return false;
    }
    uint32_t value = 0;
    for (unsigned part : parts) {
        if (part > 255) {
            return false;
        }
        value = (value << 8) | part;
    }
    word = value;
    return true;
}

void CompleteConfig(DeviceConfig& config) {
    DeviceIdentity& id = config.identity;
    if (id.ip[0].empty()) {
        id.ip[0] = id.listenAddress;
    }
    if (id.ip[1].empty()) {
        id.ip[1] = id.ip[0];
    }
    for (int i = 0; i < 2; ++i) {
        if (id.mask[i].empty()) {
            id.mask[i] = IsLoopback(id.ip[i]) ? "255.0.0.0" : "255.255.255.0";
        }
    }
    OnvifSettings& onvif = config.onvif;
    std::string hex;
    for (char c : id.mac) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            hex.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    if (hex.size() > 12) {
        hex = hex.substr(hex.size() - 12);
    }
    hex = std::string(12 - hex.size(), '0') + hex;
    if (onvif.endpoint.empty()) {
        onvif.endpoint = "urn:uuid:5e1f0000-ca5e-4000-8000-" + hex;
    }
    if (onvif.serialNumber.empty()) {
        onvif.serialNumber = "SIM" + hex;
    }
}

uint32_t VersionWordOf(const DeviceConfig& config) {
    if (config.identity.versionWord) {
        return *config.identity.versionWord;
    }
    uint32_t word = 0;
    return ParseVersionWord(config.identity.softwareVer, word) ? word : 0;
}

std::string CheckConfig(const DeviceConfig& config) {
    const DeviceIdentity& id = config.identity;
    if (!lanscout::IsValidMacText(id.mac)) {
        return "mac \"" + id.mac + "\" is not 1 to 19 printable characters";
    }
    if (!IsIpv4(id.listenAddress)) {
        return "listen address \"" + id.listenAddress + "\" is not an IPv4 address";
    }
    for (int i = 0; i < 2; ++i) {
        if (!IsIpv4(id.ip[i]) || !IsIpv4(id.mask[i])) {
            return "address pair " + std::to_string(i + 1) + " (\"" + id.ip[i] + "\", \"" +
                   id.mask[i] + "\") is not two IPv4 addresses";
        }
    }
    if (id.user.size() > kMaxCredential || id.password.size() > kMaxCredential) {
        return "the user name and the password are at most 31 bytes";
    }
    if (id.devName.size() > 63 || id.productModel.size() > 23 || id.softwareVer.size() > 19 ||
        id.buildDate.size() > 15 || id.kernelVer.size() > 15) {
        return "a text is longer than the programs' record keeps (devName 63, productModel 23, "
               "softwareVer 19, "
               "buildDate 15, kernelVer 15 bytes)";
    }
    const OnvifSettings& onvif = config.onvif;
    if (onvif.auth != "token" && onvif.auth != "digest") {
        return "onvif.auth is \"token\" or \"digest\"";
    }
    if (onvif.digestAlgorithm != "MD5" && onvif.digestAlgorithm != "SHA-256") {
        return "onvif.digestAlgorithm is \"MD5\" or \"SHA-256\"";
    }
    if (onvif.macSeparator.size() > 1 || onvif.endpoint.empty() || onvif.endpoint.size() > 200 ||
        onvif.endpoint.find_first_of(" \t\r\n<>&") != std::string::npos) {
        return "onvif.endpoint is 1 to 200 characters without spaces or markup, onvif.macSeparator "
               "at most one";
    }
    if (config.greeting.sessionNumber >= 0x1000000) {
        return "the session number must be below 16777216";
    }
    if (!PercentOk(config.faults.failUpgrade) || !PercentOk(config.faults.dropConnection)) {
        return "upgrade fault percentages are -1 (off) or 0..99";
    }
    if (config.faults.httpStatus != 0 &&
        (config.faults.httpStatus < 100 || config.faults.httpStatus > 999)) {
        return "the HTTP status must be 100..999 (or 0 for none)";
    }
    const RandomFaults& random = config.faults.random;
    for (const double rate : {random.reset, random.stall, random.corruptHeader,
                              random.refuseLogin, random.split, random.slow}) {
        if (!(rate >= 0 && rate <= 1)) {
            return "random fault rates are from 0 to 1";
        }
    }
    if (random.EndingRate() > 1 + 1e-9) {
        return "the rates of reset, stall, corruptHeader and refuseLogin add up to more than 1";
    }
    if (random.span == 0) {
        return "the random faults' span is at least 1";
    }
    return {};
}

const char* EndingFaultName(EndingFault fault) {
    switch (fault) {
        case EndingFault::None:
            return "none";
        case EndingFault::Reset:
            return "reset";
        case EndingFault::Stall:
            return "stall";
        case EndingFault::CorruptHeader:
            return "corrupt-header";
        case EndingFault::RefuseLogin:
            return "refuse-login";
    }
    return "?";
}

const char* SilenceName(Silence silence) {
    switch (silence) {
        case Silence::None:
            return "none";
        case Silence::NoGreeting:
            return "no-greeting";
        case Silence::NoLoginReply:
            return "no-login-reply";
        case Silence::AfterLogin:
            return "after-login";
    }
    return "none";
}

bool ParseSilence(const std::string& text, Silence& silence) {
    for (Silence s :
         {Silence::None, Silence::NoGreeting, Silence::NoLoginReply, Silence::AfterLogin}) {
        if (text == SilenceName(s)) {
            silence = s;
            return true;
        }
    }
    return false;
}

}  // namespace sim
