#include "SessionFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <fstream>
#include <sstream>

#include "common/link/SWL_Public.h"
#include "common/session/ProtocolIds.h"

namespace testpeer {

SessionPtr OpenSession(ScriptedDevice& device, int& error, const SessionOptions& options, NetDeviceCallback callback,
                       void* user) {
    error = -1;
    int sock = SWL_CreateSocket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0) return nullptr;
    const SWL_ADDR a{0x7F000001u, device.Port()};
    if (SWL_Connect(sock, a, 5000) != 0) {
        SWL_CloseSocket(sock);
        return nullptr;
    }
    TcpLinkPtr link(CTcpLink::Create(sock));
    uint8_t greeting[64];
    if (!link || link->RecvExact(greeting, sizeof greeting, 5000) != 0) return nullptr;
    return SessionPtr(CreateNetDevice(link, greeting, callback, user, error, options));
}

std::vector<uint8_t> LoginReplyBody() {
    std::vector<uint8_t> body(112, 0);
    auto put = [&body](size_t o, uint32_t v) {
        for (int i = 0; i < 4; ++i) body[o + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, 0xA0A0A0A0);
    put(4, 4);
    put(8, 8);
    put(12, 12);
    put(16, 16);
    put(20, 20);
    body[24] = 3;
    body[25] = 1;
    body[26] = 26;
    body[27] = 27;
    body[29] = 0;
    body[31] = 1;
    body[32] = 1;
    body[34] = 34;
    body[35] = 35;
    put(36, 0x3636);
    put(40, 2);
    put(44, 0x04000201);  // 4.0.2.1
    put(48, 48);
    put(52, 52);
    put(56, 56);
    put(92, 92);
    body[96] = 96;
    body[97] = 97;
    body[98] = 98;
    body[99] = 99;
    body[109] = 5;
    return body;
}

bool AnswerLogin(PeerConnection& c, Message* request) {
    Message m;
    if (!c.ReadMessage(m) || m.id != proto::CMD_REQUEST_LOGIN) return false;
    if (request != nullptr) *request = m;
    return c.SendMessage(proto::kReplyLoginOk, LoginReplyBody());
}

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string DataField(const std::string& file, const std::string& name, int field) {
    std::ifstream in(std::string(CAMPREP_TEST_DATA_DIR) + "/session/" + file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::vector<std::string> fields;
        std::string f;
        while (s >> f) fields.push_back(f);
        if (!fields.empty() && fields[0] == name && static_cast<int>(fields.size()) > field) return fields[static_cast<size_t>(field)];
    }
    ADD_FAILURE() << "no " << name << " in " << file;
    return {};
}

}  // namespace testpeer
