#include "fwbatch/engine/AiQuery.h"

#include <cstring>

#include "common/markup/CBase64Encoder.h"
#include "common/markup/CMarkupSTL.h"
#include "common/platform/Diagnostics.h"
#include "common/session/CNetIPCDevice.h"
#include "common/session/ReachDevice.h"
#include "common/session/SessionResults.h"
#include "discovery/SearchAnswer.h"
#include "fwbatch/engine/FwbatchStringIds.h"

namespace fwbatch {
namespace {

enum class Exchange { Answered, RequestFailed, Failed };

Exchange AskOnce(const DEVICE_PARAM& entry, const std::string& credentials, const AiQueryOptions& options,
                 ConnectCancel* cancel, std::string& reply) {
    const auto port = static_cast<uint16_t>(entry.commandPort & 0xFFFF);
    uint8_t greeting[DeviceGreeting::kSize] = {};
    TcpLinkPtr link = ReachDevice(entry.secondAddress.c_str(), port, options.timings.connectMs,
                                  options.timings.greetingMs, options.connectEnv, cancel, greeting);
    if (!link) {
        platform::DiagPrintf("ip2 connect failed !");
        link = ReachDevice(entry.firstAddress.c_str(), port, options.timings.connectMs,
                           options.timings.greetingMs, options.connectEnv, cancel, greeting);
        if (!link) {
            platform::DiagPrintf("ip connect failed !");
            return Exchange::Failed;
        }
    }
    CNetIPCDevice device;
    // Cancelling breaks the live link; the guard ends before the device.
    const CancelLinkGuard guard(cancel, link.get());
    int error = 0;
    if (!device.Open(link, greeting, error, options.session)) {
        return Exchange::Failed;
    }
    NET_DEVICE_INFO info;
    if (device.Login(entry.userName.c_str(), entry.password.c_str(), info) != session::kOk) {
        return Exchange::Failed;
    }
    uint32_t replyLength = 0;
    const int status = device.HttpRequest("GetDeviceInfo", reply, replyLength, credentials.data(),
                                          static_cast<uint32_t>(credentials.size()));
    device.Close();
    return status == session::kOk ? Exchange::Answered : Exchange::RequestFailed;
}

}  // namespace

std::optional<std::string> AiCredentialsText(std::string_view userName, std::string_view password) {
    std::string input;
    input.reserve(userName.size() + 1 + password.size());
    input.append(userName).append(":").append(password);
    if (input.size() > kAiCredentialsInputMax) {
        return std::nullopt;
    }
    return CBase64Encoder().Encode(input);
}

std::optional<std::string> QueryDeviceInfo(const DEVICE_PARAM& entry, const AiQueryOptions& options,
                                           ConnectCancel* cancel) {
    const std::optional<std::string> credentials = AiCredentialsText(entry.userName, entry.password);
    if (!credentials) {
        return std::nullopt;
    }
    for (int attempt = 1; attempt <= 2; ++attempt) {
        std::string reply;
        switch (AskOnce(entry, *credentials, options, cancel, reply)) {
            case Exchange::Answered: {
                const size_t start = reply.find('<');
                return start == std::string::npos ? std::string() : reply.substr(start);
            }
            case Exchange::RequestFailed:
                break;  // asked, and the request failed: once more
            case Exchange::Failed:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

namespace {

std::string VersionText(const std::string& text) {
    char field[kAiVersionTextMax + 1];
    discovery::CopyField(field, sizeof field, text.data(), text.size());
    return std::string(field, strnlen(field, sizeof field));
}

}  // namespace

AiVersionTexts ParseDeviceInfo(std::string_view document) {
    AiVersionTexts versions;
    CMarkupSTL xml(document);
    if (!xml.FindElement("config") || !xml.EnterElement() || !xml.FindElement("deviceInfo") ||
        !xml.EnterElement()) {
        return versions;
    }
    // Each search goes on after the previous find, so the three are read in
    // this order.
    if (xml.FindElement("structVersion")) {
        versions.structure = VersionText(xml.GetElementText());
    }
    if (xml.FindElement("faceDetectVersion")) {
        versions.face = VersionText(xml.GetElementText());
    }
    if (xml.FindElement("vehicleVersion")) {
        versions.vehicle = VersionText(xml.GetElementText());
    }
    return versions;
}

AiQueryResult RunAiQuery(const DEVICE_PARAM& entry, const AiQueryOptions& options, ConnectCancel* cancel) {
    AiQueryResult result;
    result.deviceKey = entry.deviceKey;
    const std::optional<std::string> document = QueryDeviceInfo(entry, options, cancel);
    if (document) {
        result.code = kAiVersionsReceived;
        result.versions = ParseDeviceInfo(*document);
    }
    return result;
}

uint32_t AiResultStringId(const AiQueryResult& result) {
    if (result.code != kAiVersionsReceived) {
        return ids::kAiFailed;
    }
    return result.versions.AllEmpty() ? ids::kAiNotSupported : ids::kAiReceived;
}

}  // namespace fwbatch
