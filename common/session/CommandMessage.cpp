#include "common/session/CommandMessage.h"

#include <algorithm>
#include <cstring>

#include "common/link/LinkFrames.h"

namespace proto {

uint32_t CommandView::WordAt(size_t offset) const {
    if (body == nullptr || offset > bodyLength || bodyLength - offset < 4) {
        return 0;
    }
    return tcplink::ReadLe32(body + offset);
}

uint8_t CommandView::ByteAt(size_t offset) const {
    return (body != nullptr && offset < bodyLength) ? body[offset] : 0;
}

bool ParseCommand(const uint8_t* message, size_t length, CommandView& view) {
    view = CommandView{};
    if (message == nullptr || length < kCommandHeaderSize) {
        return false;
    }
    view.id = tcplink::ReadLe32(message);
    view.aux = tcplink::ReadLe32(message + 4);
    view.reserved = tcplink::ReadLe32(message + 8);
    view.declaredLength = tcplink::ReadLe32(message + 12);
    view.body = message + kCommandHeaderSize;
    view.bodyLength = std::min<size_t>(view.declaredLength, length - kCommandHeaderSize);
    return true;
}

void WriteCommandHeader(uint8_t* out, uint32_t id, uint32_t bodyLength, uint32_t aux) {
    tcplink::WriteLe32(out, id);
    tcplink::WriteLe32(out + 4, aux);
    tcplink::WriteLe32(out + 8, 0);
    tcplink::WriteLe32(out + 12, bodyLength);
}

std::vector<uint8_t> BuildCommand(uint32_t id, const void* body, uint32_t bodyLength, uint32_t aux) {
    std::vector<uint8_t> message(kCommandHeaderSize + (body != nullptr ? bodyLength : 0));
    if (body == nullptr) {
        bodyLength = 0;
    }
    WriteCommandHeader(message.data(), id, bodyLength, aux);
    if (bodyLength > 0) {
        std::memcpy(message.data() + kCommandHeaderSize, body, bodyLength);
    }
    return message;
}

}  // namespace proto
