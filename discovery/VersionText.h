#pragma once

#include <cstdint>
#include <string>

namespace discovery {

// The version shown in the device list: the software version with the
// build number, "(build)" appended or put before every "beta", and for
// versions beginning "3.4.2" the hardware number that the device reports
// in the first part of its second mask, as "3.4.2.N".
std::string FormatVersionText(const char* softwareVer, int32_t build, const char* secondMask);

// A software version as a device's login tells it (four parts, the first in
// the top byte) as text: "a.b.c.d".
std::string SoftwareVersionText(uint32_t version);

}  // namespace discovery
