#pragma once
// What several of camprep's device commands share: device arguments, the
// --discover options and search, and a queue that brings results from the
// workers' threads to the command's thread.

#include <CLI/CLI.hpp>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "common/report/RunReport.h"
#include "discovery/SearchDeviceInfo.h"

namespace cli {

// "HOST:PORT" with a dotted IPv4 address and a port of 1..65535.
using report::ParseDevice;

// The devices of a command: --device HOST:PORT (repeatable), a devices file
// or the failed devices of an earlier report (any of these together), or
// --discover.
struct DeviceArgs {
    std::vector<std::string> devices;
    std::string devicesFile;
    std::string rerunFailed;
    bool discover = false;
    double timeoutSeconds = 3.0;
    std::vector<std::string> interfaces;
    std::string match;
    // "ours", "onvif" or "all". Ours unless asked: a camera of another make
    // that only ONVIF finds would fail a push or an upgrade that succeeded
    // before.
    std::string source = "ours";
    int32_t dataPort = 9008;  // of devices only ONVIF found
};

// The device password: --password TEXT, --password-file FILE (its first
// line) or the environment's CAMPREP_PASSWORD, in that order, else the
// programs' default. The file and the environment keep it off the command
// line, where every user of the machine can read it.
struct PasswordArgs {
    std::string text;
    std::string file;
    CLI::Option* textOption = nullptr;
};
void AddPasswordOptions(CLI::App* sub, PasswordArgs& args);
// The password to use; false with the reason on bad usage or an unreadable file.
bool ResolvePassword(const PasswordArgs& args, std::string& password, std::string& error);

// Adds --device, --devices-file, --rerun-failed, --discover, --timeout,
// --interface, --match, --source and --data-port; `discoverHelp` is --discover's help text ("Push
// to the devices the search finds").
void AddDeviceOptions(CLI::App* sub, DeviceArgs& args, const std::string& discoverHelp);

// The empty text when the device options go together (and every --interface
// names an interface of the machine), else what is wrong.
std::string CheckDeviceOptions(const DeviceArgs& args);
// The empty text when every name is an interface of the machine, else which
// is not (with the interfaces there are).
std::string CheckInterfaces(const std::vector<std::string>& names);

// --source ours|onvif|all and --data-port: which searches run, and the data
// port of a device only the ONVIF search found.
// `source` holds the default.
void AddSourceOptions(CLI::App* sub, std::string& source, int32_t& dataPort);

// Both checks of a device command: the device options, then the password
// (resolved into `password`). `targets` gets the devices given by address
// (--device, then the devices file, then the failed devices of the report;
// each once). False with the reason on bad usage.
bool CheckDevicesAndPassword(const DeviceArgs& devices, const PasswordArgs& passwordArgs,
                             std::vector<std::string>& targets, std::string& password, std::string& error);

// True (after saying so) when --rerun-failed left no device to reach: the
// command then ends successfully without doing anything.
bool NothingToRerun(const char* command, const DeviceArgs& devices, const std::vector<std::string>& targets);

// --report FILE (.csv or .json): what every device ended with.
void AddReportOption(CLI::App* sub, std::string& path);

// The longest user name or password a device's login carries: its 32-byte
// field holds the text and the terminating zero.
constexpr size_t kCredentialTextMax = 31;

// The empty text when the user name and the password, in the form the
// command sends them, fit their fields; else what does not fit (the
// password itself is never part of the text). Checked before any device
// is connected to: no login could carry them.
std::string CheckCredentialFields(const std::string& userName, const std::string& password);

// Searches for the devices of `series` as --discover asks and keeps those
// that --match names. False (with the reason) when the search could not run.
bool DiscoverDevices(const std::string& series, const DeviceArgs& args,
                     std::vector<SEARCH_DEVICE_INFO>& devices, std::string& error);

// Before Fwbatch's commands talk to found devices: a device in a subnet
// that no local adapter reaches gets a free address of its subnet added to
// the adapter that reaches it (and the added address is awaited). What was
// added, to which interface, goes to standard error after `command: `.
void PrepareAdapters(const char* command, const std::vector<SEARCH_DEVICE_INFO>& devices);

// Text of a record's zero-terminated field.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// Results arrive on the workers' threads; the command's thread takes them.
template <typename T>
class ResultQueue {
public:
    void Push(T value) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_items.push_back(std::move(value));
        }
        m_cv.notify_one();
    }
    // Waits for the next result (every worker reports once, within its own
    // limits, so the wait ends).
    T Pop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_items.empty(); });
        T value = std::move(m_items.front());
        m_items.pop_front();
        return value;
    }
    // As Pop, but gives up after waitMs; false then.
    template <typename Duration>
    bool PopFor(T& value, Duration wait) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_cv.wait_for(lock, wait, [this] { return !m_items.empty(); })) {
            return false;
        }
        value = std::move(m_items.front());
        m_items.pop_front();
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<T> m_items;
};

}  // namespace cli
