#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace markup {

// Decodes the five named entities (&lt; &amp; &gt; &apos; &quot;) and
// numeric character references (&#65; &#x41;) of XML text. References are
// written as UTF-8. Anything else after an "&" is left as it stands.
std::string DecodeEntities(std::string_view text);

// The text with the five characters XML gives entities (& < > " ') written
// as those entities, for element content and quoted attribute values.
std::string EscapeXml(std::string_view text);

// Appends the UTF-8 form of a code point (1 to 4 bytes).
void AppendUtf8(std::string& out, uint32_t codePoint);

}  // namespace markup
