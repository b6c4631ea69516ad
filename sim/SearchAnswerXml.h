#pragma once
// The device's answer to a search: the "multicastSearchResult" document
// built from its identity and the data port it actually listens on.

#include <cstdint>
#include <string>

#include "sim/DeviceConfig.h"

namespace sim {

// Texts are escaped for XML (& < > " '); the name stays UTF-8.
std::string BuildSearchAnswer(const DeviceIdentity& identity, uint16_t boundDataPort);

// Escapes the five XML special characters.
std::string XmlEscape(const std::string& text);

// Appends <name>escaped text</name>.
void AppendXmlElement(std::string& out, const char* name, const std::string& text);

}  // namespace sim
