#pragma once
// Connects a session under test to a scripted device.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ScriptedDevice.h"
#include "common/session/CNetDVSDevice.h"

namespace testpeer {

using SessionPtr = std::unique_ptr<CNetDVSDevice, NetDeviceReleaser>;

// Connects to the device, reads its greeting and makes the session. On a
// refused greeting, returns null with the error.
SessionPtr OpenSession(ScriptedDevice& device, int& error, const SessionOptions& options = {},
                       NetDeviceCallback callback = nullptr, void* user = nullptr);

// A login success reply body with recognisable values at the offsets the
// device-information record reads.
std::vector<uint8_t> LoginReplyBody();

// Reads the login request and answers it with success.
bool AnswerLogin(PeerConnection& c, Message* request = nullptr);

std::vector<uint8_t> FromHex(const std::string& hex);
// A named line of a data file under tests/data/session/: the given field.
std::string DataField(const std::string& file, const std::string& name, int field);

}  // namespace testpeer
