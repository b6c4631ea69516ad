// A build without libcurl: the device calls are not available.
#include "onvif/HttpClient.h"

namespace onvif {

std::unique_ptr<HttpClient> MakeCurlHttpClient() {
    return nullptr;
}

bool HaveHttpClient() {
    return false;
}

}  // namespace onvif
