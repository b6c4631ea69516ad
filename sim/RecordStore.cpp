#include "sim/RecordStore.h"

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>

#include "common/crypto/Digest.h"
#include "sim/HttpAnswer.h"
#include "sim/SimDevice.h"

namespace sim {

namespace {

constexpr size_t kPasswordOffset = 36;
constexpr size_t kPasswordField = 32;

std::string Hex(const uint8_t* data, size_t length) {
    return crypto::HexText(std::span<const uint8_t>(data, length));
}

std::string Id(uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", id);
    return text;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const void* data, size_t length) {
    const std::string temporary = path + ".tmp";
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool written = length == 0 || std::fwrite(data, 1, length, f) == length;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

RecordStore::RecordStore(std::string directory) : m_directory(std::move(directory)) {}

std::string RecordStore::DeviceDirectoryName(size_t index) {
    return "device-" + std::to_string(index);
}

bool RecordStore::Prepare(std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(m_directory, ec);
    if (ec || !std::filesystem::is_directory(m_directory)) {
        error = "cannot make the store directory " + m_directory + ": " + ec.message();
        return false;
    }
    return true;
}

bool RecordStore::WriteFleet(const std::vector<const SimDevice*>& devices) {
    nlohmann::json list = nlohmann::json::array();
    for (const SimDevice* device : devices) {
        const auto config = device->Config();
        list.push_back({{"index", device->Index()},
                        {"mac", config->identity.mac},
                        {"address", config->identity.listenAddress},
                        {"dataPort", device->BoundPort()},
                        {"devName", config->identity.devName},
                        {"directory", DeviceDirectoryName(device->Index())}});
    }
    const std::string text =
        list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    return WriteFileAtomically(m_directory + "/devices.json", text.data(), text.size());
}

bool RecordStore::WriteDevice(const SimDevice& device) {
    const size_t index = device.Index();
    if (m_written.size() <= index) {
        m_written.resize(index + 1);
    }
    Written& written = m_written[index];
    const std::string dir = m_directory + "/" + DeviceDirectoryName(index);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        return false;
    }
    bool ok = true;
    nlohmann::json doc;
    device.Records().Visit([&](const DeviceRecords& r) {
        if (r.clears != written.clears) {  // cleared since the last write: every file anew
            written = Written{};
            written.clears = r.clears;
        }
        doc["mac"] = device.Config()->identity.mac;
        doc["connections"] = r.connections;
        doc["openSessions"] = r.openSessions;
        doc["upgradesCompleted"] = r.upgradesCompleted;
        doc["upgradesFailed"] = r.upgradesFailed;
        doc["dropsDone"] = r.dropsDone;
        doc["ignoredWhileSilent"] = r.ignoredWhileSilent;
        doc["splitReplies"] = r.splitReplies;
        doc["slowReplies"] = r.slowReplies;
        nlohmann::json injected = nlohmann::json::array();
        for (const InjectedFault& f : r.injected) {
            injected.push_back({{"connection", f.connection},
                                {"exchange", f.exchange},
                                {"what", ExchangeKindName(f.what)},
                                {"sequence", f.sequence},
                                {"name", f.name},
                                {"fault", EndingFaultName(f.kind)},
                                {"cutAfter", f.cutAfter},
                                {"refusal", f.refusal}});
        }
        doc["injected"] = std::move(injected);

        nlohmann::json logins = nlohmann::json::array();
        for (const LoginEntry& e : r.logins) {
            std::array<uint8_t, 116> record = e.record;
            std::fill_n(record.begin() + kPasswordOffset, kPasswordField, 0);
            logins.push_back({{"form", LoginFormName(e.form)},
                              {"user", e.user},
                              {"accepted", e.accepted},
                              {"refusal", e.refusal},
                              {"nonce", e.nonce},
                              {"mac", Hex(e.mac.data(), e.mac.size())},
                              {"problem", e.problem},
                              {"recordWithoutPassword", Hex(record.data(), record.size())}});
        }
        doc["logins"] = std::move(logins);

        nlohmann::json http = nlohmann::json::array();
        for (size_t i = 0; i < r.http.size(); ++i) {
            const HttpEntry& e = r.http[i];
            nlohmann::json item = {{"name", e.name},
                                   {"status", e.status},
                                   {"encrypted", e.encrypted},
                                   {"possiblePadding", e.possiblePadding},
                                   {"size", e.payload.size()}};
            if (e.name == kGetDeviceInfo) {
                item["payload"] = "left out: it carries the credentials";
            } else {
                const std::string file = "http-" + std::to_string(i + 1) + ".bin";
                item["file"] = file;
                if (i >= written.http) {
                    ok =
                        WriteFileAtomically(dir + "/" + file, e.payload.data(), e.payload.size()) &&
                        ok;
                }
            }
            http.push_back(std::move(item));
        }
        written.http = r.http.size();
        doc["http"] = std::move(http);

        nlohmann::json configs = nlohmann::json::array();
        for (size_t i = 0; i < r.configs.size(); ++i) {
            const ConfigEntry& e = r.configs[i];
            const std::string file = "config-" + std::to_string(i + 1) + ".bin";
            configs.push_back(
                {{"route", e.route == ConfigRoute::ImportFacConf ? "ImportFacConf" : "0x0D01"},
                 {"encrypted", e.encrypted},
                 {"possiblePadding", e.possiblePadding},
                 {"size", e.payload.size()},
                 {"file", file}});
            if (i >= written.configs) {
                ok =
                    WriteFileAtomically(dir + "/" + file, e.payload.data(), e.payload.size()) && ok;
            }
        }
        written.configs = r.configs.size();
        doc["configs"] = std::move(configs);

        nlohmann::json pieces = nlohmann::json::array();
        for (const PieceEntry& p : r.pieces) {
            pieces.push_back({Id(p.command), p.sequence, p.length});
        }
        doc["pieces"] = std::move(pieces);

        nlohmann::json images = nlohmann::json::object();
        for (const auto& [kind, image] : r.images) {
            const std::string file = std::string("image-") + UpgradeKindName(kind) + ".bin";
            images[UpgradeKindName(kind)] = {{"file", file}, {"size", image.size()}};
            if (!written.anyImage || written.images != r.imagesReceived) {
                ok = WriteFileAtomically(dir + "/" + file, image.data(), image.size()) && ok;
            }
        }
        written.images = r.imagesReceived;
        written.anyImage = true;
        doc["images"] = std::move(images);

        doc["anomalies"] = r.anomalies;
        nlohmann::json unserved = nlohmann::json::object();
        for (const auto& [id, count] : r.unservedRequests) {
            unserved[Id(id)] = count;
        }
        doc["unservedRequests"] = std::move(unserved);
    });
    const std::string text =
        doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    return WriteFileAtomically(dir + "/records.json", text.data(), text.size()) && ok;
}

}  // namespace sim
