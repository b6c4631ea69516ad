#include "SoakSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace soak {
namespace {

uint64_t FromEnvironment(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    return end != nullptr && *end == '\0' ? value : fallback;
}

int EntriesIn(const char* directory) {
    DIR* dir = ::opendir(directory);
    if (dir == nullptr) {
        return -1;
    }
    int n = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++n;
        }
    }
    ::closedir(dir);
    return n;
}

uint64_t SteadyMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

SoakSize SizeFromEnvironment() {
    SoakSize size;
    size.firstSeed = FromEnvironment("CAMPREP_SOAK_FIRST_SEED", 1);
    size.seeds = static_cast<uint32_t>(FromEnvironment("CAMPREP_SOAK_SEEDS", CAMPREP_SOAK_DEFAULT_SEEDS));
    size.devices = static_cast<uint32_t>(FromEnvironment("CAMPREP_SOAK_DEVICES", 32));
    size.idleSeconds =
        static_cast<uint32_t>(FromEnvironment("CAMPREP_SOAK_IDLE_SECONDS", CAMPREP_SOAK_DEFAULT_IDLE_SECONDS));
    size.idleConfigSessions = static_cast<uint32_t>(FromEnvironment(
        "CAMPREP_SOAK_IDLE_SESSIONS", uint64_t{CAMPREP_SOAK_DEFAULT_IDLE_SESSIONS} * size.devices / 32));
    size.stallMs = static_cast<uint32_t>(FromEnvironment("CAMPREP_SOAK_STALL_MS", CAMPREP_SOAK_DEFAULT_STALL_MS));
    if (size.devices == 0) {
        size.devices = 1;
    }
    return size;
}

ProcessCounts CountNow() {
    static const bool settled = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)settled;
    ProcessCounts counts;
    counts.threads = EntriesIn("/proc/self/task");
    counts.descriptors = EntriesIn("/proc/self/fd") - 1;  // the listing's own
    return counts;
}

ProcessCounts WaitForCountsBackTo(const ProcessCounts& start, uint32_t limitMs) {
    // Threads of closed links end on their own a moment after the close.
    ProcessCounts now = CountNow();
    for (uint32_t waited = 0; waited < limitMs; waited += 20) {
        if (now.threads <= start.threads && now.descriptors <= start.descriptors) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        now = CountNow();
    }
    return now;
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

FastClock::FastClock(uint32_t factor) : m_factor(factor == 0 ? 1 : factor), m_startMs(SteadyMs()) {}

uint64_t FastClock::TickMs() {
    return 1 + (SteadyMs() - m_startMs) * m_factor;
}

void FastClock::SleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms / m_factor));
}

sim::RandomFaults SoakFaults(uint64_t seed, uint32_t span) {
    sim::RandomFaults faults;
    faults.seed = seed;
    faults.reset = 0.20;
    faults.stall = 0.10;
    faults.corruptHeader = 0.05;
    faults.refuseLogin = 0.03;
    faults.split = 0.10;
    faults.slow = 0.10;
    faults.slowMaxMs = 20;
    faults.span = span;
    return faults;
}

const sim::InjectedFault* FaultOn(const sim::DeviceRecords& records, uint64_t connection) {
    for (const sim::InjectedFault& f : records.injected) {
        if (f.connection == connection) {
            return &f;
        }
    }
    return nullptr;
}

std::string Describe(const sim::InjectedFault& fault) {
    char text[160];
    std::snprintf(text, sizeof text, "connection %llu: %s at reply %u (%s%s%s), cut after %u, refusal %u",
                  static_cast<unsigned long long>(fault.connection), sim::EndingFaultName(fault.kind),
                  fault.exchange, sim::ExchangeKindName(fault.what),
                  fault.what == sim::ExchangeKind::UpgradePiece ? " " : "",
                  fault.what == sim::ExchangeKind::UpgradePiece ? std::to_string(fault.sequence).c_str() : "",
                  fault.cutAfter, fault.refusal);
    return text;
}

void Tally::Count(int code, const sim::DeviceRecords& records, bool markLastPiece) {
    ++devices;
    ++codes[code];
    connections += records.connections;
    splitReplies += records.splitReplies;
    slowReplies += records.slowReplies;
    for (const sim::InjectedFault& f : records.injected) {
        std::string key = std::string(sim::EndingFaultName(f.kind)) + "@" + sim::ExchangeKindName(f.what);
        if (markLastPiece && f.what == sim::ExchangeKind::UpgradePiece && f.sequence >= 100) key += "(last)";
        ++faults[key];
    }
}

void Tally::Print(const char* what, uint32_t seeds, uint32_t perSeed, double seconds) const {
    std::printf("%s soak: %u seeds x %u devices, %llu connections, %.1f s (longest run of a seed %.1f s)\n", what,
                seeds, perSeed, static_cast<unsigned long long>(connections), seconds, longestSeconds);
    std::printf("  results:");
    for (const auto& [code, count] : codes) std::printf(" %d:%d", code, count);
    std::printf("\n  ending faults:");
    for (const auto& [key, count] : faults) std::printf(" %s:%d", key.c_str(), count);
    std::printf("\n  replies split: %llu, late: %llu\n", static_cast<unsigned long long>(splitReplies),
                static_cast<unsigned long long>(slowReplies));
}

void ExpectCountsBack(const ProcessCounts& start, const char* after) {
    const ProcessCounts end = WaitForCountsBackTo(start);
    EXPECT_LE(end.threads, start.threads) << "threads left after " << after;
    EXPECT_LE(end.descriptors, start.descriptors) << "descriptors left after " << after;
}

}  // namespace soak
