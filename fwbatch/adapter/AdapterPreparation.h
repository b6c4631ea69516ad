#pragma once
// Adapter preparation: a device found by the multicast search may sit in a
// subnet that no local adapter belongs to, so unicast cannot reach it.
// PrepareAdapter then adds a free address of the device's subnet to the
// adapter that reaches the device, found and checked with ARP probes.
// Link-local devices are left to the link-local route.
//
// Addresses and masks are uint32_t in network byte order. Every call reads
// the adapter list afresh and opens and closes its own captures; added
// addresses stay on the adapter.
//
// A caller (the upgrade, the web-page double-click, camprep):
//
//   uint32_t use = 0, added = 0;
//   if (PrepareAdapter(device, use, added, firstAddressMode)) {
//       WaitForHostAddress(added);  // the new address takes a moment to show
//   }
//   ... connect to FormatIPv4(use) ...

#include <cstdint>
#include <string>
#include <vector>

#include "common/platform/NetworkPlatform.h"
#include "discovery/SearchDeviceInfo.h"
#include "fwbatch/adapter/AdapterEnv.h"
#include "fwbatch/adapter/ArpFrame.h"

namespace fwbatch::adapter {

// At most this many candidate addresses are tested (each test may take the
// address-test window), so a large subnet cannot hold the caller for hours.
constexpr int kMaxCandidateTests = 32;

// The wait for an added address: tested up to 80 times, 100 ms apart.
constexpr int kAddressWaitTests = 80;
constexpr uint32_t kAddressWaitIntervalMs = 100;

// True when a hardware device stands behind the adapter (the platform's test).
bool IsPhysicalAdapter(const platform::AdapterInfo& adapter, const AdapterEnv& env = {});

// True when address is one of the host's own, as the platform lists them now.
bool HostHasAddress(uint32_t address, const AdapterEnv& env = {});

// True when some address of an adapter that is up lies in address/mask's
// subnet (local address AND local mask = address AND mask). 0.0.0.0 and
// addresses from 248.0.0.0 up are never on a local subnet.
bool IsOnLocalSubnet(uint32_t address, uint32_t mask, const AdapterEnv& env = {});

// How the adapter was chosen.
enum class AdapterChoice {
    kNone,
    kProbe,          // the device answered an ARP probe on it
    kFirstPhysical,  // not found by probe: the first physical adapter that is up
    kFirstInList,    // not found by probe, none physical: the first adapter that is up
};

// The adapter taken when no probe finds one: the first physical adapter of
// the list that is up, else the first that is up (choice tells which);
// null when none is up.
const platform::AdapterInfo* FallbackAdapter(const std::vector<platform::AdapterInfo>& adapters,
                                             AdapterChoice& choice, const AdapterEnv& env = {});

// The adapter of the list (up, physical) on which the device answers an ARP
// probe for deviceAddress from deviceMac; null when none does.
const platform::AdapterInfo* FindAdapterForDevice(
    const std::vector<platform::AdapterInfo>& adapters, uint32_t deviceAddress,
    const MacAddress& deviceMac, const AdapterEnv& env = {});

// What an ARP probe for an address met.
enum class ProbeResult {
    kAnswered,   // a station other than the adapter itself answers for the address
    kNoAnswer,   // none did within the address-test window
    kNotProbed,  // the capture could not be opened or the probe not sent (env's report says why)
};

// Sends an ARP probe for address on the adapter and waits the address-test
// window for an answer from another station; answeredBy (when given) gets
// that station's hardware address. The capture device is `device`, or the
// adapter's name when empty (they differ on Windows).
ProbeResult ProbeForOtherStation(uint32_t address, const platform::AdapterInfo& adapter,
                                 MacAddress* answeredBy, const AdapterEnv& env = {},
                                 const std::string& device = {});

// True when address is one of the host's own (when checkLocal) or when some
// other station answers an ARP probe for it on the adapter. Without an
// adapter: the first physical adapter that is up, else the first that is up.
// False when the probe cannot be made.
bool IsAddressInUse(uint32_t address, bool checkLocal, const platform::AdapterInfo* adapter,
                    const AdapterEnv& env = {});

// An address of deviceAddress/mask's subnet that nobody answers for, on a
// bounded walk from a random start; never the network or broadcast address
// nor one of the host's own. 0 when none was found, for /31, /32, /0 and
// masks that are not contiguous.
uint32_t ChooseFreeAddress(uint32_t deviceAddress, uint32_t mask,
                           const platform::AdapterInfo* adapter, const AdapterEnv& env = {});

// Waits until address is among the host's addresses: tests up to
// kAddressWaitTests times, kAddressWaitIntervalMs apart, on env's clock.
bool WaitForHostAddress(uint32_t address, const AdapterEnv& env = {});

// What PrepareAdapter decided.
enum class PrepareOutcome {
    kBadRecord,          // an address or mask text of the record is not an IPv4 address
    kFirstAddressLocal,  // first-address mode: the first address is on a local subnet
    kLinkLocal,          // 169.254.0.0/16: the link-local route reaches it
    kLoopback,           // 127.0.0.0/8: the host itself (simulated devices)
    kAlreadyLocal,       // the second address is on a local subnet
    kNoAdapterList,      // the adapter list could not be read (netResult)
    kNoAdapter,          // no adapter is up
    kNoFreeAddress,      // every tested candidate was taken, or the mask leaves none
    kAddRefused,         // AddIPAddress failed (netResult)
    kAdded,
};

struct PrepareTrace {
    PrepareOutcome outcome = PrepareOutcome::kBadRecord;
    uint32_t deviceAddress = 0;  // the address prepared for (second address)
    uint32_t deviceMask = 0;
    bool macKnown = false;  // the record's MAC text gave six bytes, so the adapter was probed for
    AdapterChoice choice = AdapterChoice::kNone;
    platform::AdapterInfo adapter;     // the adapter chosen (when choice is not kNone)
    uint32_t chosenAddress = 0;        // the free address found (0: none)
    int netResult = platform::kNetOk;  // of the adapter list or of AddIPAddress
    ProbeReport probes;
};

// Prepares an adapter for device. addressToUse: the address to reach the
// device at (the first address in first-address mode when that is on a
// local subnet, else the second). addressAdded: the address added, 0 when
// none. True when an address was added to an adapter. Every failure gives
// false; trace (when given) tells what happened.
bool PrepareAdapter(const SEARCH_DEVICE_INFO& device, uint32_t& addressToUse,
                    uint32_t& addressAdded, bool firstAddressMode, PrepareTrace* trace = nullptr,
                    const AdapterEnv& env = {});

// Short English texts for people reading a trace.
const char* PrepareOutcomeText(PrepareOutcome outcome);
const char* AdapterChoiceText(AdapterChoice choice);

}  // namespace fwbatch::adapter
