#include "sim/HttpRequest.h"

#include <cctype>
#include <charconv>

namespace sim {
namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

HttpParse ParseHttpRequest(std::string_view bytes, size_t maxHead, size_t maxBody,
                           HttpRequestHead& head) {
    const size_t end = bytes.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        return bytes.size() > maxHead ? HttpParse::Bad : HttpParse::NeedMore;
    }
    if (end + 4 > maxHead) {
        return HttpParse::Bad;
    }
    head = HttpRequestHead();
    head.headLength = end + 4;
    std::string_view text = bytes.substr(0, end);
    size_t lineEnd = text.find("\r\n");
    const std::string_view requestLine = text.substr(0, lineEnd);
    const size_t s1 = requestLine.find(' ');
    const size_t s2 = s1 == std::string_view::npos ? s1 : requestLine.find(' ', s1 + 1);
    if (s1 == std::string_view::npos || s2 == std::string_view::npos || s1 == 0 || s2 == s1 + 1) {
        return HttpParse::Bad;
    }
    head.method = std::string(requestLine.substr(0, s1));
    head.target = std::string(requestLine.substr(s1 + 1, s2 - s1 - 1));
    const std::string_view version = requestLine.substr(s2 + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        return HttpParse::Bad;
    }
    head.keepAlive = version == "HTTP/1.1";
    while (lineEnd != std::string_view::npos) {
        text.remove_prefix(lineEnd + 2);
        lineEnd = text.find("\r\n");
        const std::string_view line = text.substr(0, lineEnd);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            return HttpParse::Bad;
        }
        head.headers[Lower(Trim(line.substr(0, colon)))] =
            std::string(Trim(line.substr(colon + 1)));
    }
    if (head.headers.count("transfer-encoding") != 0) {
        return HttpParse::Bad;  // clients of the device service send a length
    }
    auto length = head.headers.find("content-length");
    if (length != head.headers.end()) {
        const std::string& v = length->second;
        size_t n = 0;
        const auto parsed = std::from_chars(v.data(), v.data() + v.size(), n);
        if (v.empty() || parsed.ec != std::errc() || parsed.ptr != v.data() + v.size() ||
            n > maxBody) {
            return HttpParse::Bad;
        }
        head.contentLength = n;
    }
    auto connection = head.headers.find("connection");
    if (connection != head.headers.end()) {
        const std::string c = Lower(connection->second);
        head.keepAlive = c.find("close") == std::string::npos &&
                         (head.keepAlive || c.find("keep-alive") != std::string::npos);
    }
    return bytes.size() - head.headLength >= head.contentLength ? HttpParse::Done
                                                                : HttpParse::NeedMore;
}

bool ParseDigestAuthorization(std::string_view value, std::map<std::string, std::string>& fields) {
    fields.clear();
    value = Trim(value);
    if (value.size() < 7 || Lower(value.substr(0, 7)) != "digest ") {
        return false;
    }
    value.remove_prefix(7);
    while (true) {
        while (!value.empty() && (value.front() == ' ' || value.front() == ',')) {
            value.remove_prefix(1);
        }
        if (value.empty()) {
            break;
        }
        const size_t eq = value.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            return false;
        }
        const std::string name = Lower(Trim(value.substr(0, eq)));
        value.remove_prefix(eq + 1);
        std::string v;
        if (!value.empty() && value.front() == '"') {
            size_t i = 1;
            for (; i < value.size() && value[i] != '"'; ++i) {
                if (value[i] == '\\' && i + 1 < value.size()) {
                    ++i;
                }
                v.push_back(value[i]);
            }
            if (i >= value.size()) {
                return false;
            }
            value.remove_prefix(i + 1);
        } else {
            const size_t comma = value.find(',');
            v = std::string(Trim(value.substr(0, comma)));
            value.remove_prefix(comma == std::string_view::npos ? value.size() : comma);
        }
        fields[name] = v;
        if (fields.size() > 32) {
            return false;
        }
    }
    return !fields.empty();
}

}  // namespace sim
