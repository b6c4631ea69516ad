#include "sim/HttpAnswer.h"

#include <cstring>

#include "sim/Base64Decode.h"
#include "sim/SearchAnswerXml.h"

namespace sim {

const char* HttpReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

std::string HttpResponseText(int status, const std::string& body, const char* contentType) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + HttpReasonPhrase(status) + "\r\n";
    if (contentType != nullptr) {
        text += "Content-Type: ";
        text += contentType;
        text += "\r\n";
    }
    text += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: keep-alive\r\n\r\n";
    text += body;
    return text;
}

std::string DeviceInfoDocument(const DeviceConfig& config) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><config><deviceInfo>";
    AppendXmlElement(xml, "devName", config.identity.devName);
    AppendXmlElement(xml, "softwareVer", config.identity.softwareVer);
    if (config.identity.ai) {
        AppendXmlElement(xml, "structVersion", config.identity.ai->structure);
        AppendXmlElement(xml, "faceDetectVersion", config.identity.ai->face);
        AppendXmlElement(xml, "vehicleVersion", config.identity.ai->vehicle);
    }
    xml += "</deviceInfo></config>";
    return xml;
}

bool CredentialsMatch(const DeviceConfig& config, const std::vector<uint8_t>& payload) {
    // The text ends at its first zero (padding of an encrypted request).
    if (payload.empty()) {
        return false;
    }
    const size_t end = strnlen(reinterpret_cast<const char*>(payload.data()), payload.size());
    std::string_view text(reinterpret_cast<const char*>(payload.data()), end);
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (text.substr(0, 6) == "Basic ") {
        text.remove_prefix(6);
    }
    std::string decoded;
    return DecodeBase64(text, decoded) &&
           decoded == config.identity.user + ":" + config.identity.password;
}

HttpAnswer AnswerHttpRequest(const DeviceConfig& config, const std::string& name,
                             const std::vector<uint8_t>& payload) {
    HttpAnswer answer;
    if (config.faults.httpStatus != 0) {
        answer.status = config.faults.httpStatus;
        answer.text = HttpResponseText(answer.status, "");
        return answer;
    }
    if (name == kImportFacConf) {
        answer.status = 200;
        answer.text = HttpResponseText(200, "");
    } else if (name == kGetDeviceInfo) {
        if (CredentialsMatch(config, payload)) {
            answer.status = 200;
            answer.text = HttpResponseText(200, DeviceInfoDocument(config), "application/xml");
        } else {
            answer.status = 401;
            answer.text = HttpResponseText(401, "");
        }
    } else {
        answer.status = 404;
        answer.text = HttpResponseText(404, "");
    }
    return answer;
}

}  // namespace sim
