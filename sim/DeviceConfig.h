#pragma once
// What one simulated device is and how it behaves: its identity (what the
// search answer and the login reply tell about it), its greeting, its link
// and upgrade behaviour, and the faults it shows on purpose.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// The versions of the three analysis components ("GetDeviceInfo").
struct AiVersions {
    std::string structure = "1.2.0";
    std::string face = "2.0.1";
    std::string vehicle = "1.0.5";
};

struct DeviceIdentity {
    std::string mac;  // MAC text, the device's identity in the search (1..19 printable characters)
    std::string devName;
    std::string productModel = "IPC-SIM-4";
    std::string productSeries = "KMX_IPC";
    std::string softwareVer = "4.1.2.3";
    // The 32-bit version of the login reply (four parts, the first in the
    // top byte). Unset: made from softwareVer when that is a dotted quad.
    std::optional<uint32_t> versionWord;
    int32_t build = 1024;
    std::string buildDate = "2024-03-15";
    std::string kernelVer = "3.10.108";
    int32_t deviceActivated = 0;  // 0 activated, 1 not activated
    // The two address/mask pairs the search answer carries. Empty: the
    // listen address (the second follows the first), with mask 255.0.0.0 on
    // loopback and 255.255.255.0 elsewhere.
    std::string ip[2];
    std::string mask[2];
    std::string listenAddress;  // where the data port listens
    uint16_t dataPort = 9008;   // 0: any free port (the search answer carries the one bound)
    uint16_t httpPort = 80;     // only advertised
    std::string user = "admin";
    std::string password = "739164";
    std::optional<AiVersions> ai = AiVersions{};  // none: "GetDeviceInfo" answers without versions
};

// The greeting the device sends when a connection comes up.
struct GreetingSettings {
    uint32_t protocolVersion = 3;
    uint32_t productType = 1;
    uint32_t transformMode = 0;  // 0 none, else the cipher that disguises the login (0x10000 XOR)
    uint32_t transformKey = 0;   // its 4 key bytes, little-endian (byte 0 first)
    uint8_t digestMode = 1;      // 0 plain, 1 digest, 2 digest with the user name scrambled
    uint32_t sessionNumber = 0;  // below 2^24
    bool encrypted = false;      // HTTP payloads AES-encrypted under the session key
};

struct LinkSettings {
    // Replies longer than this (header included) go out in fragments of
    // this size, alternating reassembly slots 0 and 1; 0 sends them whole.
    uint32_t fragmentSize = 0;
    // An empty frame every so many milliseconds; 0 sends none.
    uint32_t keepAliveMs = 0;
};

enum class UpgradeFinish {
    Report,  // after the last piece, write the image, then report 100
    Reboot,  // after the last piece, write the image, then close the connection
};

struct Behaviour {
    uint32_t maxSessions = 16;     // logged-in sessions at once; more are refused with code 3
    uint32_t pieceDelayMs = 20;    // before each upgrade progress reply
    uint32_t writeImageMs = 2000;  // after the last piece
    UpgradeFinish finish = UpgradeFinish::Report;
    uint32_t configV3Reply = 0;   // first body word of the answer to 0x0D01
    bool configV3Silent = false;  // 0x0D01 gets no answer
    // The software version after a software image is written: empty, the
    // version with its last part one higher; "keep", unchanged (an upgrade
    // that does not take); "offline", the device greets no one any more
    // (it never comes back); else this dotted quad.
    std::string versionAfterUpgrade;
    // The device's own time for every request: each reply (not the
    // greeting) goes out this long after the request; 0 answers at once.
    uint32_t replyDelayMs = 0;
    // Answers the device search (a camera that speaks only ONVIF does not).
    bool answerSearch = true;
};

// A fault tied to the upgrade's percentage (the program's percentage, the
// device's progress value minus one).
struct UpgradeFault {
    int atPercent = -1;     // -1: off; 0..99
    bool everyTime = true;  // false: `times` times, then the device behaves
    uint32_t times = 1;
};

enum class Silence {
    None,
    NoGreeting,    // accepts connections and sends nothing at all
    NoLoginReply,  // sends the greeting, answers nothing
    AfterLogin,    // answers the login, then nothing
};

// Faults drawn at random from a seed (FaultPlan.h). Rates are chances from
// 0 to 1. The ending faults (reset, stall, corruptHeader, refuseLogin) are
// per connection and their rates add up to at most 1; split and slow are
// per reply and change nothing a correct program can see.
// The random fault a connection ends with, if any.
enum class EndingFault { None, Reset, Stall, CorruptHeader, RefuseLogin };
const char* EndingFaultName(EndingFault fault);

struct RandomFaults {
    uint64_t seed = 0;
    double reset = 0;          // the reply is cut at a random byte and the connection reset
    double stall = 0;          // the reply is cut at a random byte, then nothing more is answered
    double corruptHeader = 0;  // the reply's frame magic (the greeting's header words) is garbled
    double refuseLogin = 0;    // the login is refused with 2, 3 or 13
    double split = 0;          // the reply goes out in pieces of random sizes
    double slow = 0;           // the reply goes out up to slowMaxMs late
    uint32_t slowMaxMs = 50;
    // An ending fault fires at one of the first `span` replies (the greeting
    // is reply 0); beyond the replies a connection has, it never fires.
    uint32_t span = 102;  // the greeting, the login and 100 upgrade pieces

    double EndingRate() const { return reset + stall + corruptHeader + refuseLogin; }
    bool Any() const { return EndingRate() > 0 || split > 0 || slow > 0; }
};

struct DeviceFaults {
    uint32_t refuseLogin = 0;                // non-zero: every login is refused with this code
    UpgradeFault failUpgrade;                // sends progress 0 instead of this percentage
    UpgradeFault dropConnection{-1, false};  // closes the connection instead of reporting it
    uint32_t badMagicReply =
        0;  // the n-th reply on a connection (1 = the login's) has magic "2222"
    Silence silence = Silence::None;
    int httpStatus = 0;  // non-zero: every HTTP request is answered with this status
    uint32_t httpFailFirst = 0;  // the first this many HTTP requests are answered 500
    RandomFaults random;
};

// The device's ONVIF side: the open discovery and the device service's
// identity calls. Off unless a fleet turns it on.
struct OnvifSettings {
    bool enabled = false;
    std::string endpoint;  // the endpoint reference; empty: a urn:uuid made from the MAC
    // The MAC scope's category ("MAC", "mac", "MacAddress"), empty for none,
    // and the separator of its value (":", "-" or "").
    std::string macScope = "MAC";
    std::string macSeparator = "-";
    std::vector<std::string> extraScopes;
    bool answerNvt = true;     // answers probes typed dn:NetworkVideoTransmitter
    bool answerDevice = true;  // answers probes typed tds:Device
    int32_t clockOffsetS = 0;  // the device's clock against the host's
    // "token": WS-Security UsernameToken; "digest": HTTP digest only (401 to the rest).
    std::string auth = "token";
    std::string digestAlgorithm = "MD5";  // or "SHA-256"
    uint32_t answerDelayMs = 0;           // before each ProbeMatch, beside the usual 0..500 ms
    bool hello = true;                    // a Hello when it starts (or returns)
    bool bye = true;                      // a Bye when it stops (or leaves)
    bool probeFault = false;              // answers probes with a SOAP fault instead
    std::string manufacturer = "camsim";
    std::string serialNumber;  // empty: made from the MAC
    std::string hardwareId = "SIM-HW-1";
    std::string hwAddress;  // GetNetworkInterfaces' text; empty: the MAC
};

struct DeviceConfig {
    DeviceIdentity identity;
    OnvifSettings onvif;
    GreetingSettings greeting;
    LinkSettings link;
    Behaviour behaviour;
    DeviceFaults faults;
};

// Device index (from 0) -> its default loopback address: 127.0.0.2 up to
// 127.0.0.254, then 127.0.1.1 and so on (host byte 0 and 255 are skipped),
// so 127.0.0.1 stays free for the programs.
std::string DefaultAddress(size_t index);
// A locally administered MAC text unique per index: "02:53:49:4D:hh:ll".
std::string DefaultMac(size_t index);
// Every setting at its default for the device with this index.
DeviceConfig DefaultDevice(size_t index);

// "a.b.c.d" (each 0..255) -> the four parts, a in the top byte.
bool ParseVersionWord(const std::string& text, uint32_t& word);

// Fills what follows from other settings (addresses, masks, version word).
void CompleteConfig(DeviceConfig& config);
// The empty text when the settings are usable, else what is wrong.
std::string CheckConfig(const DeviceConfig& config);

// The version word the login reply carries.
uint32_t VersionWordOf(const DeviceConfig& config);

const char* SilenceName(Silence silence);
bool ParseSilence(const std::string& text, Silence& silence);

}  // namespace sim
