#include "sim/LoginReply.h"

#include "common/link/LinkFrames.h"

namespace sim {

std::vector<uint8_t> LoginSuccessBody(const DeviceConfig& config, uint16_t boundDataPort) {
    std::vector<uint8_t> body(kLoginReplyBodySize, 0);
    auto put = [&body](size_t offset, uint32_t value) {
        tcplink::WriteLe32(body.data() + offset, value);
    };
    put(0, config.greeting.productType);
    put(4, 1);
    put(8, 1);
    put(12, 1);
    put(16, 1);
    body[24] = 1;
    put(40, 1);
    put(44, VersionWordOf(config));
    put(48, static_cast<uint32_t>(config.identity.build));
    put(52, config.identity.httpPort);
    put(56, boundDataPort);
    return body;
}

std::vector<uint8_t> LoginRefusalBody(uint32_t code) {
    std::vector<uint8_t> body(4, 0);
    tcplink::WriteLe32(body.data(), code);
    return body;
}

}  // namespace sim
