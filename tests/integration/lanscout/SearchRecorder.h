#pragma once
// Test support: collects the reports of a search and waits, with generous
// limits, for conditions on them or on counters.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lanscouttest {

struct Report {
    std::string mac;
    int kind = 0;
    std::string xml;
    std::thread::id thread;
};

class SearchRecorder {
public:
    void Add(const char* mac, int kind, const char* xml) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_reports.push_back(Report{mac, kind, xml, std::this_thread::get_id()});
        m_changed.notify_all();
    }

    std::vector<Report> Snapshot() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_reports;
    }

    size_t Count(const std::string& mac, int kind) const {
        std::lock_guard<std::mutex> lock(m_lock);
        size_t n = 0;
        for (const auto& r : m_reports) {
            n += (r.mac == mac && r.kind == kind) ? 1 : 0;
        }
        return n;
    }

    size_t CountKind(int kind) const {
        std::lock_guard<std::mutex> lock(m_lock);
        size_t n = 0;
        for (const auto& r : m_reports) {
            n += r.kind == kind ? 1 : 0;
        }
        return n;
    }

    // Waits until the predicate over the reports holds; false after the limit.
    bool WaitFor(const std::function<bool(const std::vector<Report>&)>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(20)) const {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, limit, [&] { return done(m_reports); });
    }

    bool WaitForCount(const std::string& mac, int kind, size_t count,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) const {
        return WaitFor(
            [&](const std::vector<Report>& reports) {
                size_t n = 0;
                for (const auto& r : reports) {
                    n += (r.mac == mac && r.kind == kind) ? 1 : 0;
                }
                return n >= count;
            },
            limit);
    }

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<Report> m_reports;
};

// Waits until condition() holds, looking every 10 ms; false after the limit.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A device answer as the programs expect it.
inline std::string DeviceAnswer(int n, const std::string& version = "3.4.2") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><multicastSearchResult><productInfo>"
           "<devName>cam" +
           std::to_string(n) +
           "</devName><productModel>IPC-T1</productModel><productSeries>KMX_IPC</productSeries>"
           "<softwareVer>" +
           version +
           "</softwareVer><build>1234</build></productInfo><tcpIp><ipAddr><item><ip>192.168.1." +
           std::to_string(n) +
           "</ip><mask>255.255.255.0</mask></item></ipAddr></tcpIp><port><dataPort>9008</dataPort>"
           "<httpPort>80</httpPort></port></multicastSearchResult>";
}

inline std::string DeviceMac(int n) {
    char text[24];
    std::snprintf(text, sizeof text, "00:1A:2B:3C:%02X:%02X", (n >> 8) & 0xFF, n & 0xFF);
    return text;
}

}  // namespace lanscouttest
