// Fuzz target "sim_login": the simulated device's check of a login record.
// Input: the device's 64-byte greeting, the 116-byte record (shorter is
// refused), then optionally the device's credentials "user NUL password".
// Besides the check itself: a record the program's own builder makes for
// that greeting and those credentials must always be accepted.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/link/LinkFrames.h"
#include "common/session/DeviceGreeting.h"
#include "common/session/LoginRecord.h"
#include "fuzz/FuzzSupport.h"
#include "sim/LoginCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ByteCursor cursor(data, size);
    std::array<uint8_t, DeviceGreeting::kSize> greetingBytes{};
    const auto greetingPart = cursor.Take(DeviceGreeting::kSize);
    std::copy(greetingPart.begin(), greetingPart.end(), greetingBytes.begin());
    const DeviceGreeting greeting = DeviceGreeting::FromBytes(greetingBytes.data());
    const auto record = cursor.Take(login::kRecordSize);
    std::string user = "admin";
    std::string password = "739164";
    if (!cursor.Empty()) {
        user = fuzz::Text(cursor.Until(0));
        password = fuzz::Text(cursor.Rest());
    }

    const sim::LoginCheck check =
        sim::CheckLoginRecord(record.data(), record.size(), greeting, user, password);
    FUZZ_CHECK(check.form == sim::FormOf(greeting));
    FUZZ_CHECK(check.accepted == check.problem.empty());
    FUZZ_CHECK(!check.accepted || check.user == user);
    FUZZ_CHECK(sim::LoginFormName(check.form) != nullptr);

    // The builder refuses credentials longer than their fields, and a C
    // string cannot carry a NUL.
    if (user.size() > login::kMaxCredentialLength ||
        password.size() > login::kMaxCredentialLength || password.find('\0') != std::string::npos) {
        return 0;
    }
    const std::array<uint8_t, 6> mac = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    const uint32_t random = record.size() >= 72 ? tcplink::ReadLe32(record.data() + 68) : 0;
    login::Record built{};
    FUZZ_CHECK(login::BuildLoginRecord(
        user.c_str(), password.c_str(), greeting, mac, [random] { return random; }, built));
    const sim::LoginCheck own =
        sim::CheckLoginRecord(built.data(), built.size(), greeting, user, password);
    FUZZ_CHECK(own.accepted);
    FUZZ_CHECK(own.user == user && own.mac == mac);
    return 0;
}
