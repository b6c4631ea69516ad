// Fuzz target "session_message": one message received on a device session,
// read as a command message, as a login reply filling the device record,
// as an encrypted HTTP reply (body deciphered under the session key, text up
// to its first zero), and its first 64 bytes as a device greeting.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/crypto/CDataEncryption.h"
#include "common/crypto/SessionKey.h"
#include "common/link/LinkFrames.h"
#include "common/session/CommandMessage.h"
#include "common/session/DeviceGreeting.h"
#include "common/session/DeviceInfo.h"
#include "fuzz/FuzzSupport.h"

namespace {

void CheckView(const proto::CommandView& view, const uint8_t* data, size_t size) {
    FUZZ_CHECK(view.body == data + proto::kCommandHeaderSize);
    FUZZ_CHECK(view.bodyLength <= size - proto::kCommandHeaderSize);
    FUZZ_CHECK(view.bodyLength <= view.declaredLength);
    FUZZ_CHECK(view.id == tcplink::ReadLe32(data) &&
               view.declaredLength == tcplink::ReadLe32(data + 12));
    // Every offset, a little past the end too: inside the body the bytes as
    // they are, outside 0.
    for (size_t offset = 0; offset < view.bodyLength + 8; ++offset) {
        const uint8_t byte = view.ByteAt(offset);
        FUZZ_CHECK(byte == (offset < view.bodyLength ? view.body[offset] : 0));
        const uint32_t word = view.WordAt(offset);
        if (offset + 4 <= view.bodyLength) {
            FUZZ_CHECK(word == tcplink::ReadLe32(view.body + offset));
        } else {
            FUZZ_CHECK(word == 0);
        }
    }
}

void CheckDeviceInfo(const proto::CommandView& view) {
    NET_DEVICE_INFO info;
    constexpr uint32_t kUntouched = 0xA5A5A5A5u;
    for (uint32_t& v : info.notSet1) {
        v = kUntouched;
    }
    for (uint32_t& v : info.notSet2) {
        v = kUntouched;
    }
    FillDeviceInfo(view, info);
    FUZZ_CHECK(info.constant1 == 1 && info.constant15 == 15);
    FUZZ_CHECK(info.marker1 == -1 && info.marker2 == -1);
    FUZZ_CHECK(info.notSet1[0] == kUntouched && info.notSet1[3] == kUntouched &&
               info.notSet2[0] == kUntouched && info.notSet2[2] == kUntouched);
    FUZZ_CHECK(info.kindCode == 12 || info.kindCode == 14 || info.kindCode == 15);
    char version[32];
    FormatSoftwareVersion(info.softwareVersion, version);
    FUZZ_CHECK(strnlen(version, sizeof version) < sizeof version);
}

void CheckHttpReply(const proto::CommandView& view, uint32_t sessionNumber) {
    std::vector<uint8_t> body(view.body, view.body + view.bodyLength);
    if (body.empty()) {
        return;
    }
    const std::string key = crypto::SessionKeyText(sessionNumber);
    // Deciphered in place when the body is whole 16-byte blocks, otherwise
    // into a new buffer padded to them.
    const CmdDataBuffer plain = CDataEncryption::Instance().DecryptCmdData(body, key.c_str());
    const char* text = reinterpret_cast<const char*>(body.data());
    size_t length = body.size();
    if (plain.Ok() && plain.IsNewBuffer()) {
        FUZZ_CHECK(plain.Size() % 16 == 0 && plain.Size() >= body.size() &&
                   plain.Size() - body.size() < 16);
        text = reinterpret_cast<const char*>(plain.Data());
        length = plain.Size();
    }
    // The reply's text ends at its first zero byte.
    const std::string reply(text, strnlen(text, length));
    FUZZ_CHECK(reply.size() <= length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t sessionNumber = 0;
    if (size >= DeviceGreeting::kSize) {
        const DeviceGreeting greeting = DeviceGreeting::FromBytes(data);
        sessionNumber = greeting.SessionNumber();
        FUZZ_CHECK(sessionNumber < (1u << 24));
        FUZZ_CHECK(greeting.Word(16) == 0);
        (void)greeting.ProtocolVersion();
        (void)greeting.NameTransformKey();
        (void)greeting.PayloadEncrypted();
    }

    proto::CommandView view;
    const bool parsed = proto::ParseCommand(data, size, view);
    FUZZ_CHECK(parsed == (size >= proto::kCommandHeaderSize));
    if (!parsed) {
        FUZZ_CHECK(view.body == nullptr && view.bodyLength == 0 && view.WordAt(0) == 0 &&
                   view.ByteAt(0) == 0);
        return 0;
    }
    CheckView(view, data, size);
    CheckDeviceInfo(view);
    CheckHttpReply(view, sessionNumber);
    return 0;
}
