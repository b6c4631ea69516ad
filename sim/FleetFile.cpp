#include "sim/FleetFile.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace sim {

namespace {

using nlohmann::json;

// Reads the keys of one settings object into a device's settings; the first
// problem is kept in `error`.
class Reader {
public:
    Reader(const json& object, std::string where, std::string& error)
        : m_object(object), m_where(std::move(where)), m_error(error) {}

    bool Fail(const std::string& key, const std::string& what) {
        if (m_error.empty()) {
            m_error = m_where + "." + key + ": " + what;
        }
        return false;
    }
    bool Has(const char* key) {
        m_known.insert(key);
        return m_object.contains(key);
    }

    void Text(const char* key, std::string& out) {
        if (!Has(key))
            return;
        const json& v = m_object.at(key);
        if (!v.is_string()) {
            Fail(key, "expected a text");
            return;
        }
        out = v.get<std::string>();
    }
    template <typename T>
    void Integer(const char* key, T& out, int64_t min, int64_t max) {
        if (!Has(key))
            return;
        const json& v = m_object.at(key);
        if (!v.is_number_integer()) {
            Fail(key, "expected a whole number from " + std::to_string(min) + " to " +
                          std::to_string(max));
            return;
        }
        const bool isUnsigned = v.is_number_unsigned();
        const int64_t value =
            isUnsigned ? static_cast<int64_t>(std::min<uint64_t>(v.get<uint64_t>(), INT64_MAX))
                       : v.get<int64_t>();
        if (value < min || value > max) {
            Fail(key, "expected a whole number from " + std::to_string(min) + " to " +
                          std::to_string(max));
            return;
        }
        out = static_cast<T>(value);
    }
    void Number(const char* key, double& out, double min, double max) {
        if (!Has(key))
            return;
        const json& v = m_object.at(key);
        if (!v.is_number() || v.get<double>() < min || v.get<double>() > max) {
            char range[64];
            std::snprintf(range, sizeof range, "expected a number from %g to %g", min, max);
            Fail(key, range);
            return;
        }
        out = v.get<double>();
    }
    void Bool(const char* key, bool& out) {
        if (!Has(key))
            return;
        const json& v = m_object.at(key);
        if (!v.is_boolean()) {
            Fail(key, "expected true or false");
            return;
        }
        out = v.get<bool>();
    }
    // A nested object handled by `read`.
    void Object(const char* key, const std::function<void(Reader&)>& read) {
        if (!Has(key))
            return;
        const json& v = m_object.at(key);
        if (!v.is_object()) {
            Fail(key, "expected an object");
            return;
        }
        Reader inner(v, m_where + "." + key, m_error);
        read(inner);
        inner.RejectUnknown();
    }
    void RejectUnknown() {
        for (auto it = m_object.begin(); it != m_object.end(); ++it) {
            if (m_known.count(it.key()) == 0) {
                Fail(it.key(), "unknown setting");
            }
        }
    }
    const json& Value(const char* key) const { return m_object.at(key); }
    const std::string& Where() const { return m_where; }

private:
    const json& m_object;
    std::string m_where;
    std::string& m_error;
    std::set<std::string> m_known;
};

void ReadIdentity(Reader& r, DeviceIdentity& id) {
    r.Text("mac", id.mac);
    r.Text("devName", id.devName);
    r.Text("productModel", id.productModel);
    r.Text("productSeries", id.productSeries);
    r.Text("softwareVer", id.softwareVer);
    if (r.Has("version")) {
        const json& v = r.Value("version");
        uint32_t word = 0;
        if (v.is_number_unsigned() && v.get<uint64_t>() <= 0xFFFFFFFFu) {
            id.versionWord = static_cast<uint32_t>(v.get<uint64_t>());
        } else if (v.is_string() && ParseVersionWord(v.get<std::string>(), word)) {
            id.versionWord = word;
        } else if (v.is_null()) {
            id.versionWord.reset();
        } else {
            r.Fail("version", "expected \"a.b.c.d\", a 32-bit number or null");
        }
    }
    r.Integer("build", id.build, INT32_MIN, INT32_MAX);
    r.Text("buildDate", id.buildDate);
    r.Text("kernelVer", id.kernelVer);
    r.Integer("deviceActivated", id.deviceActivated, INT32_MIN, INT32_MAX);
    r.Text("ip1", id.ip[0]);
    r.Text("mask1", id.mask[0]);
    r.Text("ip2", id.ip[1]);
    r.Text("mask2", id.mask[1]);
    r.Text("listen", id.listenAddress);
    r.Integer("dataPort", id.dataPort, 0, 65535);
    r.Integer("httpPort", id.httpPort, 0, 65535);
    r.Text("user", id.user);
    r.Text("password", id.password);
    if (r.Has("ai")) {
        const json& v = r.Value("ai");
        if (v.is_null() || (v.is_boolean() && !v.get<bool>())) {
            id.ai.reset();
        } else if (v.is_object()) {
            AiVersions versions = id.ai.value_or(AiVersions{});
            r.Object("ai", [&](Reader& a) {
                a.Text("struct", versions.structure);
                a.Text("face", versions.face);
                a.Text("vehicle", versions.vehicle);
            });
            id.ai = versions;
        } else {
            r.Fail("ai", "expected an object with \"struct\", \"face\", \"vehicle\", or null");
        }
    }
}

void ReadGreeting(Reader& r, GreetingSettings& g) {
    r.Integer("protocolVersion", g.protocolVersion, 0, UINT32_MAX);
    r.Integer("productType", g.productType, 0, UINT32_MAX);
    r.Integer("transformMode", g.transformMode, 0, UINT32_MAX);
    r.Integer("transformKey", g.transformKey, 0, UINT32_MAX);
    r.Integer("digestMode", g.digestMode, 0, 255);
    r.Integer("sessionNumber", g.sessionNumber, 0, 0xFFFFFF);
    r.Bool("encrypted", g.encrypted);
}

void ReadLink(Reader& r, LinkSettings& l) {
    r.Integer("fragmentSize", l.fragmentSize, 0, UINT32_MAX);
    r.Integer("keepAliveMs", l.keepAliveMs, 0, 3600000);
}

void ReadBehaviour(Reader& r, Behaviour& b) {
    r.Integer("maxSessions", b.maxSessions, 0, UINT32_MAX);
    r.Integer("pieceDelayMs", b.pieceDelayMs, 0, 3600000);
    r.Integer("writeImageMs", b.writeImageMs, 0, 3600000);
    std::string finish;
    r.Text("finish", finish);
    if (finish == "report") {
        b.finish = UpgradeFinish::Report;
    } else if (finish == "reboot") {
        b.finish = UpgradeFinish::Reboot;
    } else if (!finish.empty()) {
        r.Fail("finish", "expected \"report\" or \"reboot\"");
    }
    r.Integer("configV3Reply", b.configV3Reply, 0, UINT32_MAX);
    r.Bool("configV3Silent", b.configV3Silent);
    r.Text("versionAfterUpgrade", b.versionAfterUpgrade);
    r.Integer("replyDelayMs", b.replyDelayMs, 0, 3600000);
    r.Bool("answerSearch", b.answerSearch);
    uint32_t word = 0;
    if (!b.versionAfterUpgrade.empty() && b.versionAfterUpgrade != "keep" && b.versionAfterUpgrade != "offline" &&
        !ParseVersionWord(b.versionAfterUpgrade, word)) {
        r.Fail("versionAfterUpgrade", "expected \"keep\", \"offline\" or a version a.b.c.d");
    }
}

void ReadFaults(Reader& r, DeviceFaults& f) {
    r.Integer("refuseLogin", f.refuseLogin, 0, UINT32_MAX);
    r.Integer("failUpgradeAt", f.failUpgrade.atPercent, -1, 99);
    r.Bool("failEveryTime", f.failUpgrade.everyTime);
    r.Integer("dropAt", f.dropConnection.atPercent, -1, 99);
    r.Bool("dropEveryTime", f.dropConnection.everyTime);
    r.Integer("failTimes", f.failUpgrade.times, 1, UINT32_MAX);
    r.Integer("dropTimes", f.dropConnection.times, 1, UINT32_MAX);
    r.Integer("httpFailFirst", f.httpFailFirst, 0, UINT32_MAX);
    r.Integer("badMagicReply", f.badMagicReply, 0, UINT32_MAX);
    std::string silence;
    r.Text("silence", silence);
    if (!silence.empty() && !ParseSilence(silence, f.silence)) {
        r.Fail("silence", "expected none, no-greeting, no-login-reply or after-login");
    }
    if (r.Has("httpStatus")) {
        r.Integer("httpStatus", f.httpStatus, 0, 999);
    }
    r.Object("random", [&](Reader& x) {
        RandomFaults& random = f.random;
        x.Integer("seed", random.seed, 0, INT64_MAX);
        x.Number("reset", random.reset, 0, 1);
        x.Number("stall", random.stall, 0, 1);
        x.Number("corruptHeader", random.corruptHeader, 0, 1);
        x.Number("refuseLogin", random.refuseLogin, 0, 1);
        x.Number("split", random.split, 0, 1);
        x.Number("slow", random.slow, 0, 1);
        x.Integer("slowMaxMs", random.slowMaxMs, 0, 3600000);
        x.Integer("span", random.span, 1, UINT32_MAX);
    });
}

void ReadOnvif(Reader& r, OnvifSettings& o) {
    r.Bool("enabled", o.enabled);
    r.Text("endpoint", o.endpoint);
    r.Text("macScope", o.macScope);
    r.Text("macSeparator", o.macSeparator);
    if (r.Has("extraScopes")) {
        const json& v = r.Value("extraScopes");
        o.extraScopes.clear();
        if (!v.is_array()) {
            r.Fail("extraScopes", "expected a list of texts");
        } else {
            for (const json& item : v) {
                if (!item.is_string()) {
                    r.Fail("extraScopes", "expected a list of texts");
                    break;
                }
                o.extraScopes.push_back(item.get<std::string>());
            }
        }
    }
    r.Bool("answerNvt", o.answerNvt);
    r.Bool("answerDevice", o.answerDevice);
    r.Integer("clockOffsetS", o.clockOffsetS, -100000000, 100000000);
    r.Text("auth", o.auth);
    r.Text("digestAlgorithm", o.digestAlgorithm);
    r.Integer("answerDelayMs", o.answerDelayMs, 0, 60000);
    r.Bool("hello", o.hello);
    r.Bool("bye", o.bye);
    r.Bool("probeFault", o.probeFault);
    r.Text("manufacturer", o.manufacturer);
    r.Text("serialNumber", o.serialNumber);
    r.Text("hardwareId", o.hardwareId);
    r.Text("hwAddress", o.hwAddress);
}

}  // namespace

bool ApplySettings(const json& settings, const std::string& where, DeviceConfig& config,
                   std::string& error) {
    error.clear();
    if (settings.is_null()) {
        return true;
    }
    if (!settings.is_object()) {
        error = where + ": expected an object of settings";
        return false;
    }
    Reader r(settings, where, error);
    ReadIdentity(r, config.identity);
    r.Object("greeting", [&](Reader& g) { ReadGreeting(g, config.greeting); });
    r.Object("link", [&](Reader& l) { ReadLink(l, config.link); });
    r.Object("behaviour", [&](Reader& b) { ReadBehaviour(b, config.behaviour); });
    r.Object("faults", [&](Reader& f) { ReadFaults(f, config.faults); });
    r.Object("onvif", [&](Reader& o) { ReadOnvif(o, config.onvif); });
    r.RejectUnknown();
    return error.empty();
}

bool ReadFleetFile(const std::string& path, json& document, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read the fleet file " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    document = json::parse(text.str(), nullptr, false);
    if (document.is_discarded()) {
        error = path + " is not valid JSON";
        return false;
    }
    return true;
}

bool BuildFleet(const FleetRequest& request, std::vector<DeviceConfig>& devices,
                std::string& error) {
    static const json kNone;
    static const json kNoDevices = json::array();
    const json* defaults = &kNone;
    const json* entries = &kNoDevices;
    size_t count = request.count;
    if (request.file != nullptr) {
        const json& file = *request.file;
        if (file.is_array()) {
            entries = &file;
        } else if (file.is_object()) {
            for (auto it = file.begin(); it != file.end(); ++it) {
                if (it.key() != "count" && it.key() != "defaults" && it.key() != "devices") {
                    error = "fleet file: unknown key \"" + it.key() +
                            "\" (expected count, defaults, devices)";
                    return false;
                }
            }
            if (file.contains("defaults"))
                defaults = &file.at("defaults");
            if (file.contains("devices")) {
                entries = &file.at("devices");
                if (!entries->is_array()) {
                    error = "fleet file: \"devices\" must be an array";
                    return false;
                }
            }
            if (file.contains("count")) {
                const json& c = file.at("count");
                if (!c.is_number_unsigned() || c.get<uint64_t>() < 1 || c.get<uint64_t>() > 65536) {
                    error = "fleet file: \"count\" must be a whole number from 1 to 65536";
                    return false;
                }
                if (count == 0)
                    count = static_cast<size_t>(c.get<uint64_t>());
            }
        } else {
            error = "fleet file: expected an object or an array of devices";
            return false;
        }
    }
    if (count == 0) {
        count = entries->empty() ? 1 : entries->size();
    }
    if (entries->size() > count) {
        error = "the fleet file describes " + std::to_string(entries->size()) +
                " devices, but only " + std::to_string(count) + " were asked for";
        return false;
    }

    devices.clear();
    std::set<std::string> macs;
    std::set<std::pair<std::string, uint16_t>> endpoints;
    for (size_t i = 0; i < count; ++i) {
        DeviceConfig config = DefaultDevice(i);
        if (!ApplySettings(*defaults, "defaults", config, error))
            return false;
        if (request.overlay) {
            json overlay = json::object();
            request.overlay(i, overlay);
            if (!ApplySettings(overlay, "command line", config, error))
                return false;
        }
        if (i < entries->size() &&
            !ApplySettings((*entries)[i], "devices[" + std::to_string(i) + "]", config, error)) {
            return false;
        }
        CompleteConfig(config);
        const std::string problem = CheckConfig(config);
        if (!problem.empty()) {
            error = "device " + std::to_string(i) + ": " + problem;
            return false;
        }
        if (!macs.insert(config.identity.mac).second) {
            error =
                "device " + std::to_string(i) + ": MAC " + config.identity.mac + " is used twice";
            return false;
        }
        if (config.identity.dataPort != 0 &&
            !endpoints.emplace(config.identity.listenAddress, config.identity.dataPort).second) {
            error = "device " + std::to_string(i) + ": " + config.identity.listenAddress + ":" +
                    std::to_string(config.identity.dataPort) + " is used twice";
            return false;
        }
        devices.push_back(std::move(config));
    }
    return true;
}

const char* FleetSchemaText() {
    return R"(Fleet file (JSON):
  { "count": N, "defaults": {SETTINGS}, "devices": [ {SETTINGS}, ... ] }
  or just [ {SETTINGS}, ... ]. Device i takes the built-in defaults, then
  "defaults", then the command-line settings, then devices[i].
SETTINGS (all optional):
  mac            text, 1..19 printable characters, unique   (02:53:49:4D:hh:ll from the index)
  devName        UTF-8 text                                  (camsim-<index+1>)
  productModel, productSeries, softwareVer                   (IPC-SIM-4, KMX_IPC, 4.1.2.3)
  version        login reply version, "a.b.c.d" or a number  (from softwareVer)
  build, buildDate, kernelVer, deviceActivated               (1024, 2024-03-15, 3.10.108, 0 = activated)
  ip1, mask1, ip2, mask2   addresses in the search answer    (the listen address; 255.0.0.0 on loopback)
  listen         address the data port listens on            (127.0.0.2, .3, ... per device)
  dataPort       0..65535, 0 = any free port                 (9008)
  httpPort       advertised; the ONVIF device service's port (80; 0 = any free)
  user, password at most 31 bytes each                       (admin, 739164)
  ai             {"struct": T, "face": T, "vehicle": T} or null for none
  greeting: { protocolVersion (3), productType (1), transformMode (0; 65536 = XOR),
              transformKey (0, little-endian key bytes), digestMode (1; 0 plain, 2 scrambled name),
              sessionNumber (below 16777216), encrypted (false) }
  link:     { fragmentSize (0 = whole replies), keepAliveMs (0 = none) }
  behaviour:{ maxSessions (16), pieceDelayMs (20), writeImageMs (2000),
              finish ("report" | "reboot"), configV3Reply (0), configV3Silent (false),
              versionAfterUpgrade (software version once a software image is written:
              "" = last part + 1, "keep" = unchanged, "offline" = never greets again,
              or "a.b.c.d"), replyDelayMs (0: the device's own time before every reply),
              answerSearch (true; false: the device answers only the ONVIF discovery) }
  faults:   { refuseLogin (code, 0 = none), failUpgradeAt (percent, -1 = off), failEveryTime (true),
              dropAt (percent, -1 = off), dropEveryTime (false), failTimes, dropTimes (1: how
              often a fault that is not every time fires), badMagicReply (n-th reply, 0 = off),
              silence ("none" | "no-greeting" | "no-login-reply" | "after-login"),
              httpStatus (0 = normal answers), httpFailFirst (0: the first n requests get 500),
              random: { seed (0), reset, stall, corruptHeader, refuseLogin (chances 0..1 per
                        connection, adding up to at most 1), split, slow (chances 0..1 per reply),
                        slowMaxMs (50), span (102) } }
  onvif:    { enabled (false), endpoint (urn:uuid from the MAC), macScope ("MAC" | "mac" |
              "MacAddress" | "" for no MAC scope), macSeparator ("-"; ":" or ""),
              extraScopes ([]), answerNvt, answerDevice (true: the probe types answered),
              clockOffsetS (0), auth ("token": WS-Security UsernameToken | "digest": HTTP digest
              only), digestAlgorithm ("MD5" | "SHA-256"), answerDelayMs (0), hello, bye (true:
              announce start and stop), probeFault (false: answer probes with a SOAP fault),
              manufacturer (camsim), serialNumber (from the MAC), hardwareId (SIM-HW-1),
              hwAddress (the MAC; GetNetworkInterfaces' text) }
  Random faults: device i draws from a generator seeded from (seed, i), so the
  same seed and the same exchanges give the same faults. Each connection ends
  with at most one of reset (its reply cut at a random byte, then a TCP reset),
  stall (cut, then nothing more answered, the connection left open),
  corruptHeader (the reply's frame magic, or the greeting's first 16 bytes,
  garbled) at one of the first `span` replies (the greeting is reply 0), or
  refuseLogin (its first login refused with 2, 3 or 13). Any reply may go out
  split into pieces of random sizes, or up to slowMaxMs late.
)";
}

}  // namespace sim
