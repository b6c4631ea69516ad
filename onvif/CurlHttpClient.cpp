// The HTTP client on libcurl: digest authentication (MD5 and SHA-256),
// time-outs, a cap on the reply's size, cancellation and connection reuse.
#include <curl/curl.h>

#include <mutex>

#include "onvif/HttpClient.h"

namespace onvif {
namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    std::string* body;
    size_t limit;
    bool tooLong = false;
    const std::atomic<bool>* cancel;
};

size_t Write(char* data, size_t size, size_t count, void* context) {
    auto* t = static_cast<Transfer*>(context);
    const size_t n = size * count;
    if (t->body->size() + n > t->limit) {
        t->tooLong = true;
        return 0;  // ends the transfer
    }
    t->body->append(data, n);
    return n;
}

int Progress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* t = static_cast<const Transfer*>(context);
    return (t->cancel != nullptr && t->cancel->load()) ? 1 : 0;
}

class CurlHttpClient : public HttpClient {
public:
    CurlHttpClient() : m_curl(curl_easy_init()) {}
    ~CurlHttpClient() override {
        if (m_curl != nullptr) {
            curl_easy_cleanup(m_curl);
        }
    }
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    HttpReply Post(const HttpPost& request, const std::atomic<bool>* cancel) override {
        HttpReply reply;
        if (m_curl == nullptr) {
            reply.error = "no HTTP client";
            return reply;
        }
        CURL* c = m_curl;
        curl_easy_reset(c);  // keeps the connections
        Transfer transfer{&reply.body, request.maxReplyBytes, false, cancel};
        const std::string contentType =
            "Content-Type: application/soap+xml; charset=utf-8; action=\"" + request.action + "\"";
        curl_slist* headers = curl_slist_append(nullptr, contentType.c_str());
        headers = curl_slist_append(headers, "Expect:");
        curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_NOPROXY, "*");  // cameras are on the local network
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeoutMs));
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutMs));
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Write);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Progress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        if (request.digest) {
            curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
            curl_easy_setopt(c, CURLOPT_USERNAME, request.user.c_str());
            curl_easy_setopt(c, CURLOPT_PASSWORD, request.password.c_str());
        }
        const CURLcode rc = curl_easy_perform(c);
        curl_slist_free_all(headers);
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        reply.status = static_cast<int>(status);
        if (rc == CURLE_OK) {
            reply.delivered = true;
        } else if (transfer.tooLong) {
            reply.error =
                "the reply is longer than " + std::to_string(request.maxReplyBytes) + " bytes";
        } else {
            reply.cancelled = rc == CURLE_ABORTED_BY_CALLBACK;
            reply.timedOut = rc == CURLE_OPERATION_TIMEDOUT;
            reply.error = curl_easy_strerror(rc);
        }
        return reply;
    }

private:
    CURL* m_curl;
};

}  // namespace

std::unique_ptr<HttpClient> MakeCurlHttpClient() {
    GlobalInit();
    return std::make_unique<CurlHttpClient>();
}

bool HaveHttpClient() {
    return true;
}

}  // namespace onvif
