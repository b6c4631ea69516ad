#include "onvif/Identify.h"

#include <algorithm>
#include <chrono>

#include "common/platform/Diagnostics.h"
#include "common/platform/ThreadStart.h"
#include "onvif/Scopes.h"

namespace onvif {
namespace {

int64_t SystemUtcMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

HttpPost Request(const std::string& url, std::string_view operation, const UsernameToken* token,
                 const IdentifySettings& settings) {
    HttpPost post;
    post.url = url;
    post.body = BuildDeviceRequest(operation, token);
    post.action = DeviceAction(operation);
    post.connectTimeoutMs = settings.connectTimeoutMs;
    post.timeoutMs = settings.requestTimeoutMs;
    return post;
}

// What a failed exchange tells, as a code and a text.
int Failure(const HttpReply& reply, const SoapReply& soap, bool soapParsed, std::string& error) {
    if (!reply.delivered) {
        error = reply.error;
        return reply.cancelled ? kIdentifyCancelled : kIdentifyUnreachable;
    }
    if (soapParsed && IsAuthorizationFault(soap)) {
        error = "credentials refused (" + soap.faultSubcode + ")";
        return kIdentifyRefused;
    }
    if (reply.status == 401) {
        error = "credentials refused (HTTP 401)";
        return kIdentifyRefused;
    }
    if (soapParsed && soap.fault) {
        error = "fault " + soap.faultCode +
                (soap.faultSubcode.empty() ? "" : "/" + soap.faultSubcode) +
                (soap.faultReason.empty() ? "" : ": " + soap.faultReason);
        return kIdentifyFault;
    }
    if (reply.status != 200) {
        error = "HTTP status " + std::to_string(reply.status);
        return kIdentifyFault;
    }
    error = "an answer that is not the one asked for";
    return kIdentifyBadReply;
}

}  // namespace

const char* IdentifyCodeText(int code) {
    switch (code) {
        case kIdentifyOk:
            return "identified";
        case kIdentifyUnreachable:
            return "unreachable";
        case kIdentifyRefused:
            return "credentials refused";
        case kIdentifyFault:
            return "refused the request";
        case kIdentifyBadReply:
            return "bad answer";
        case kIdentifyNoAddress:
            return "no device service address";
        case kIdentifyCancelled:
            return "cancelled";
        case kIdentifyNoHttp:
            return "built without HTTP";
        default:
            return "unknown";
    }
}

DeviceIdentity IdentifyDevice(HttpClient& http, const std::string& url, const std::string& user,
                              const std::string& password, const IdentifySettings& settings,
                              const std::atomic<bool>* cancel) {
    DeviceIdentity id;
    id.url = url;
    if (url.empty()) {
        id.code = kIdentifyNoAddress;
        id.error = "the camera named no device service address";
        return id;
    }
    const auto now = settings.utcNowMs ? settings.utcNowMs : std::function<int64_t()>(&SystemUtcMs);

    // The camera's clock, so the token's Created falls in its window.
    {
        const int64_t before = now();
        const HttpReply reply =
            http.Post(Request(url, "GetSystemDateAndTime", nullptr, settings), cancel);
        const int64_t after = now();
        if (!reply.delivered) {
            id.code = reply.cancelled ? kIdentifyCancelled : kIdentifyUnreachable;
            id.error = reply.error;
            return id;
        }
        SoapReply soap;
        int64_t cameraUtc = 0;
        if (ParseSoapReply(reply.body, soap) && ReadSystemDateAndTime(soap, cameraUtc)) {
            id.clockKnown = true;
            // The camera read its clock somewhere in the exchange: its middle.
            id.clockOffsetMs = cameraUtc - (before + (after - before) / 2);
        }
    }

    bool digest = false;
    // One signed call; on HTTP 401 once more with the digest answered.
    auto call = [&](std::string_view operation, SoapReply& soap, HttpReply& reply) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            UsernameToken token;
            if (!MakeUsernameToken(user, password, now() + id.clockOffsetMs, token)) {
                reply = HttpReply();
                reply.error = "no random bytes for the nonce";
                return false;
            }
            HttpPost post = Request(url, operation, &token, settings);
            post.digest = digest;
            post.user = user;
            post.password = password;
            reply = http.Post(post, cancel);
            if (reply.delivered && reply.status == 401 && !digest) {
                digest = true;
                continue;
            }
            break;
        }
        return reply.delivered && ParseSoapReply(reply.body, soap);
    };

    SoapReply info;
    HttpReply reply;
    const bool parsed = call("GetDeviceInformation", info, reply);
    if (!parsed || !ReadDeviceInformation(info, id.information)) {
        id.code = Failure(reply, info, parsed, id.error);
        return id;
    }
    id.authentication = digest ? "HTTP digest" : "UsernameToken";
    id.code = kIdentifyOk;

    SoapReply nics;
    if (call("GetNetworkInterfaces", nics, reply) && ReadNetworkInterfaces(nics, id.macs)) {
        for (const std::string& mac : id.macs) {
            if (!NormaliseMac(mac).empty()) {
                id.mac = mac;
                break;
            }
        }
    } else {
        std::string why;
        Failure(reply, nics, reply.delivered && nics.parsed, why);
        id.error = "no network interfaces: " + why;  // the identity stands without the MAC
    }
    return id;
}

IdentifyJob::IdentifyJob(std::vector<IdentifyTarget> targets, std::string user,
                         std::string password, IdentifyJobOptions options, Report report, Done done)
    : m_targets(std::move(targets)),
      m_user(std::move(user)),
      m_password(std::move(password)),
      m_options(std::move(options)),
      m_report(std::move(report)),
      m_done(std::move(done)) {
    const size_t count =
        std::max<size_t>(1, std::min(std::max<size_t>(m_options.parallel, 1), m_targets.size()));
    // One count more than the workers while they start, so a worker that
    // ends before the others have started is never taken for the last.
    m_running = count + 1;
    const size_t started = platform::StartPool(m_threads, count, [this] { Work(); });
    if (started == 0) {
        // The system gave no thread within the wait: no camera is reached.
        for (size_t i = m_next++; i < m_targets.size(); i = m_next++) {
            DeviceIdentity identity;
            identity.error = "no thread to call the camera from";
            m_report(m_targets[i].key, std::move(identity));
        }
    }
    if (m_running.fetch_sub(count - started + 1) == count - started + 1 && !m_cancel.load()) {
        m_done();
    }
}

IdentifyJob::~IdentifyJob() {
    Cancel();
    for (std::thread& t : m_threads) {
        t.join();
    }
}

void IdentifyJob::Cancel() {
    m_cancel.store(true);
}

void IdentifyJob::Work() {
    std::unique_ptr<HttpClient> http = m_options.http ? m_options.http() : MakeCurlHttpClient();
    for (size_t i = m_next++; i < m_targets.size() && !m_cancel.load(); i = m_next++) {
        DeviceIdentity identity;
        if (!http) {
            identity.code = kIdentifyNoHttp;
            identity.error = "this build has no HTTP client";
        } else {
            identity = IdentifyDevice(*http, m_targets[i].url, m_user, m_password,
                                      m_options.settings, &m_cancel);
        }
        platform::DiagPrintf("onvif identify %s: %s\n", m_targets[i].url.c_str(),
                             IdentifyCodeText(identity.code));
        if (m_cancel.load()) {
            break;
        }
        m_report(m_targets[i].key, std::move(identity));
    }
    if (--m_running == 0 && !m_cancel.load()) {
        m_done();
    }
}

}  // namespace onvif
