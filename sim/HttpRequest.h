#pragma once
// HTTP/1.1 requests as a simulated camera's device service reads them off a
// connection: the head, then a body of Content-Length bytes. A pure
// function over the bytes received so far.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace sim {

struct HttpRequestHead {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers;  // names in lower case
    size_t headLength = 0;                       // bytes of the head, the blank line included
    size_t contentLength = 0;
    bool keepAlive = true;
};

enum class HttpParse { NeedMore, Bad, Done };

// Done when the head and the whole body are in `bytes` (the request is then
// headLength + contentLength bytes long); Bad for what is not a request or
// passes the limits.
HttpParse ParseHttpRequest(std::string_view bytes, size_t maxHead, size_t maxBody,
                           HttpRequestHead& head);

// The fields of an "Authorization: Digest ..." header (names in lower case,
// quotes removed); false when it is not one.
bool ParseDigestAuthorization(std::string_view value, std::map<std::string, std::string>& fields);

}  // namespace sim
