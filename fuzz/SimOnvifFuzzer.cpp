// Fuzz target "sim_onvif": what a simulated camera's ONVIF device service
// reads off a connection: the HTTP request, a digest Authorization header,
// and the SOAP request it answers (its clock fixed).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "sim/DeviceConfig.h"
#include "sim/HttpRequest.h"
#include "sim/OnvifDeviceAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    sim::HttpRequestHead head;
    const sim::HttpParse parsed = sim::ParseHttpRequest(bytes, 16384, 65536, head);
    if (parsed == sim::HttpParse::Done) {
        FUZZ_CHECK(head.headLength + head.contentLength <= size);
    }
    std::map<std::string, std::string> fields;
    if (sim::ParseDigestAuthorization(bytes, fields)) {
        FUZZ_CHECK(!fields.empty() && fields.size() <= 33);
    }
    static sim::DeviceConfig config = [] {
        sim::DeviceConfig c = sim::DefaultDevice(0);
        sim::CompleteConfig(c);
        return c;
    }();
    for (const char* auth : {"token", "digest"}) {
        config.onvif.auth = auth;
        sim::OnvifAuthState state;
        sim::HttpRequestHead post;
        post.method = "POST";
        post.headers["authorization"] = std::string(bytes.substr(0, 512));
        const std::string_view body = parsed == sim::HttpParse::Done
                                          ? bytes.substr(head.headLength, head.contentLength)
                                          : bytes;
        const sim::OnvifHttpAnswer answer =
            sim::AnswerOnvifRequest(post, body, config, 80, 1, 1700000000000, state);
        FUZZ_CHECK(answer.status == 200 || answer.status == 400 || answer.status == 401 ||
                   answer.status == 500);
        FUZZ_CHECK(answer.status != 401 || !answer.wwwAuthenticate.empty());
    }
    int64_t ms = 0;
    (void)sim::ParseUtcText(bytes.substr(0, 64), ms);
    return 0;
}
