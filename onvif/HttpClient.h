#pragma once
// The HTTP client the device calls go through, behind an interface so that
// tests can stand in for it and a build without an HTTP library still links.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace onvif {

struct HttpPost {
    std::string url;
    std::string body;
    std::string action;  // the SOAP 1.2 action, sent in the content type
    // Answer an HTTP digest challenge (MD5 or SHA-256) with these.
    bool digest = false;
    std::string user;
    std::string password;
    uint32_t connectTimeoutMs = 3000;
    uint32_t timeoutMs = 6000;  // the whole exchange, the challenge's round included
    size_t maxReplyBytes = 256 * 1024;
};

struct HttpReply {
    bool delivered = false;  // a response came (any status)
    int status = 0;
    std::string body;
    std::string error;  // why not delivered
    bool timedOut = false;
    bool cancelled = false;
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    // One POST, with connection reuse between calls of the same client. A
    // set `cancel` ends the exchange early. One thread at a time.
    virtual HttpReply Post(const HttpPost& request, const std::atomic<bool>* cancel) = 0;
};

using HttpClientFactory = std::function<std::unique_ptr<HttpClient>()>;

// The client on libcurl; null when the program was built without it.
std::unique_ptr<HttpClient> MakeCurlHttpClient();
// True when MakeCurlHttpClient gives a client.
bool HaveHttpClient();

}  // namespace onvif
