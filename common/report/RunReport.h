#pragma once
// What a device command did, device by device: written as a report (CSV or
// JSON, by the file's extension) and read back, so a later run can take the
// devices of an earlier one (--rerun-failed) or a saved list (--devices-file).

#include <cstdint>
#include <string>
#include <vector>

namespace report {

struct ReportRow {
    std::string time;  // when the result came, UTC "YYYY-MM-DDTHH:MM:SSZ"
    std::string mac;
    std::string address;
    int32_t port = 0;
    std::string model;
    std::string versionBefore;
    std::string versionAfter;
    int code = 0;
    std::string result;  // the result's text
    bool success = false;
    bool started = true;  // false: the run ended before the device began
    int attempts = 0;
    double seconds = 0;
};

// "HOST:PORT" with a dotted IPv4 address and a port of 1..65535.
bool ParseDevice(const std::string& text, std::string& host, int32_t& port);

// The current time in the report's form.
std::string ReportTime();

// The empty text when `path` names a file a report can be written as
// (".csv" or ".json", any case), else what is wrong.
std::string CheckReportPath(const std::string& path);

// Writes the rows; false with the reason (naming the file).
bool WriteReport(const std::string& path, const std::vector<ReportRow>& rows, std::string& error);

// Reads a report written by WriteReport; false with the reason, naming the
// file and, for a CSV file, the line.
bool ReadReport(const std::string& path, std::vector<ReportRow>& rows, std::string& error);

// Writes a devices file ReadDevicesFile reads back: a comment line, then
// one HOST:PORT a line. False with the reason (naming the file).
bool WriteDevicesFile(const std::string& path, const std::vector<std::string>& devices,
                      std::string& error);

// The devices (HOST:PORT) of a devices file: one HOST:PORT a line, blank
// lines and text from "#" on ignored; or an earlier report (".csv" or
// ".json"), all its devices. False with the reason, naming file and line.
bool ReadDevicesFile(const std::string& path, std::vector<std::string>& devices, std::string& error);

// The devices of a report whose result was not a success (never started
// included).
bool FailedDevicesOf(const std::string& path, std::vector<std::string>& devices, std::string& error);

}  // namespace report
