#pragma once
// The adapter helper: a small program that holds the two capabilities
// adapter preparation needs (CAP_NET_ADMIN to add an address, CAP_NET_RAW
// for the ARP probes), runs only for root and the members of one group, and
// does one of two things, each checked strictly:
//
//   camprep-adapter-helper probe INTERFACE ADDRESS
//       sends an ARP probe for ADDRESS on INTERFACE and waits up to a second
//       for a station other than the interface itself to answer
//   camprep-adapter-helper add INTERFACE ADDRESS MASK
//       adds ADDRESS/MASK to INTERFACE, when no adapter is in that subnet
//       yet and no station answers a probe for ADDRESS
//
// It says on standard output what it did, on standard error why it did
// not, and ends with one of the HelperExit statuses.
//
// A program that may not change addresses or capture frames itself (a
// user's Fwbatch or camprep) prepares adapters through it: AdapterEnv then
// takes HelperCapture() and HelperNetwork() as its capture and network, so
// that preparation runs its usual steps and only the privileged ones go to
// the helper.

#include <string>

#include "common/platform/NetworkPlatform.h"
#include "common/platform/PacketCapture.h"
#include "fwbatch/adapter/ArpFrame.h"

namespace fwbatch::adapter {

struct PrepareTrace;

// The group whose members may run the helper.
constexpr const char* kAdapterGroup = "camprep";
// The package that installs the helper and makes the group.
constexpr const char* kHelperPackage = "camprep-adapter-helper";
// The helper's path from the folder of the programs that call it.
constexpr const char* kHelperFromBin = "../libexec/camprep/camprep-adapter-helper";

// The helper's exit statuses.
enum HelperExit : int {
    kHelperDone = 0,            // probed (answer or none) or added
    kHelperRefused = 1,         // the system refused, or the address is taken
    kHelperUsage = 2,           // the arguments are not what the helper accepts
    kHelperNotInGroup = 3,      // the caller is neither root nor in kAdapterGroup
    kHelperNoCapabilities = 4,  // the helper was installed without its capabilities
    kHelperAlreadyThere = 5,    // add: the address is on the interface already
};

// The helper's words for its two tasks.
constexpr const char* kHelperProbe = "probe";
constexpr const char* kHelperAdd = "add";

// The helper: $CAMPREP_ADAPTER_HELPER when set, else kHelperFromBin from the
// running program's folder (/usr/bin -> /usr/libexec/camprep/...).
std::string HelperPath();

enum class HelperAccess {
    kUsable,      // present, and this process may run it
    kNotInGroup,  // present, but this process may not run it
    kMissing,     // not installed
};
HelperAccess CheckHelperAccess();

// True when adapter preparation goes through the helper: this process lacks
// the network capabilities itself and the helper is installed. Decided
// once per process.
bool UseHelper();

// The packet capture and the network platform that go through the helper.
// The capture's handles send only ARP probes: the helper runs the probe and
// waits for the answer itself, the answer comes back as the reply frame it
// stands for, and then the capture has nothing more (reads report its end).
// The network forwards everything to platform::Network() except adding an
// address, which the helper does.
platform::PacketCapture& HelperCapture();
platform::NetworkPlatform& HelperNetwork();

// True when preparation ended because this process may not add addresses.
bool RefusedForRights(const PrepareTrace& trace);

// What a person has to do to get the right to prepare adapters, in English,
// for messages; empty when this process has it (itself or by the helper).
std::string RightsAdvice();

// The helper's line for a probe and its reading by the caller.
std::string ProbeAnswerText(const std::string& interfaceName, uint32_t address, bool answered,
                            const MacAddress& answeredBy);
// True when out holds a probe line that names the station that answered.
bool ReadProbeAnswer(const std::string& out, MacAddress& answeredBy);

}  // namespace fwbatch::adapter
