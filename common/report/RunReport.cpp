#include "common/report/RunReport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/platform/Files.h"
#include "common/platform/NetworkPlatform.h"

namespace report {

bool ParseDevice(const std::string& text, std::string& host, int32_t& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) {
        return false;
    }
    host = text.substr(0, colon);
    uint32_t address = 0;
    if (!platform::ParseIPv4(host, address)) {
        return false;
    }
    const std::string portText = text.substr(colon + 1);
    if (portText.find_first_not_of("0123456789") != std::string::npos || portText.size() > 5) {
        return false;
    }
    port = std::stoi(portText);
    return port >= 1 && port <= 65535;
}

namespace {

const char* const kColumns[] = {"time",  "mac",    "address", "port",    "model",    "version_before", "version_after",
                                "code",  "result", "success", "started", "attempts", "seconds"};
constexpr size_t kColumnCount = sizeof kColumns / sizeof kColumns[0];

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

enum class Kind { Csv, Json, Other };

Kind KindOf(const std::string& path) {
    const std::string lower = Lower(path);
    const auto endsWith = [&](const char* tail) {
        const std::string t(tail);
        return lower.size() > t.size() && lower.compare(lower.size() - t.size(), t.size(), t) == 0;
    };
    return endsWith(".csv") ? Kind::Csv : endsWith(".json") ? Kind::Json : Kind::Other;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::vector<std::string> Fields(const ReportRow& r) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
    return {r.time,
            r.mac,
            r.address,
            std::to_string(r.port),
            r.model,
            r.versionBefore,
            r.versionAfter,
            std::to_string(r.code),
            r.result,
            r.success ? "true" : "false",
            r.started ? "true" : "false",
            std::to_string(r.attempts),
            seconds};
}

// Splits CSV text into records of fields (quotes may hold commas and line
// ends). `lines` gets the line each record starts on. False with the line
// of an unterminated quote.
bool SplitCsv(const std::string& text, std::vector<std::vector<std::string>>& records, std::vector<int>& lines,
              int& badLine) {
    std::vector<std::string> record;
    std::string field;
    bool quoted = false;
    bool any = false;
    int line = 1;
    int recordLine = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                line += c == '\n' ? 1 : 0;
                field += c;
            }
            continue;
        }
        if (c == '"' && field.empty()) {
            quoted = true;
            any = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
            any = true;
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            if (any || !field.empty()) {
                record.push_back(std::move(field));
                records.push_back(std::move(record));
                lines.push_back(recordLine);
            }
            record.clear();
            field.clear();
            any = false;
            ++line;
            recordLine = line;
        } else {
            field += c;
        }
    }
    if (quoted) {
        badLine = recordLine;
        return false;
    }
    if (any || !field.empty()) {
        record.push_back(std::move(field));
        records.push_back(std::move(record));
        lines.push_back(recordLine);
    }
    return true;
}

bool ReadText(const std::string& path, std::string& text, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

bool ParseInt(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty() || text.size() > 12 || text.find_first_not_of("-0123456789") != std::string::npos) {
        return false;
    }
    try {
        value = std::stoll(text);
    } catch (...) {
        return false;
    }
    return value >= low && value <= high;
}

bool RowFromFields(const std::vector<std::string>& f, ReportRow& r) {
    long long port = 0, code = 0, attempts = 0;
    if (f.size() != kColumnCount || !ParseInt(f[3], 0, 65535, port) ||
        !ParseInt(f[7], INT32_MIN, INT32_MAX, code) || !ParseInt(f[11], 0, 1000000, attempts) ||
        (f[9] != "true" && f[9] != "false") || (f[10] != "true" && f[10] != "false")) {
        return false;
    }
    r.time = f[0];
    r.mac = f[1];
    r.address = f[2];
    r.port = static_cast<int32_t>(port);
    r.model = f[4];
    r.versionBefore = f[5];
    r.versionAfter = f[6];
    r.code = static_cast<int>(code);
    r.result = f[8];
    r.success = f[9] == "true";
    r.started = f[10] == "true";
    r.attempts = static_cast<int>(attempts);
    r.seconds = std::atof(f[12].c_str());
    return true;
}

bool ReadCsvReport(const std::string& path, const std::string& text, std::vector<ReportRow>& rows,
                   std::string& error) {
    std::vector<std::vector<std::string>> records;
    std::vector<int> lines;
    int badLine = 0;
    if (!SplitCsv(text, records, lines, badLine)) {
        error = path + ":" + std::to_string(badLine) + ": a quoted field does not end";
        return false;
    }
    const std::vector<std::string> header(std::begin(kColumns), std::end(kColumns));
    if (records.empty() || records[0] != header) {
        error = path + ":1: not a camprep report (the first line must name the columns " + "time,mac,...,seconds)";
        return false;
    }
    for (size_t i = 1; i < records.size(); ++i) {
        ReportRow r;
        if (!RowFromFields(records[i], r)) {
            error = path + ":" + std::to_string(lines[i]) + ": not a report line (" +
                    std::to_string(kColumnCount) + " fields: port, code and attempts numbers, success and "
                    "started true or false)";
            return false;
        }
        rows.push_back(std::move(r));
    }
    return true;
}

bool ReadJsonReport(const std::string& path, const std::string& text, std::vector<ReportRow>& rows,
                    std::string& error) {
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    if (!doc.is_array()) {
        error = path + ": not a camprep report (a JSON array of device objects)";
        return false;
    }
    for (size_t i = 0; i < doc.size(); ++i) {
        const nlohmann::json& o = doc[i];
        std::vector<std::string> f;
        bool ok = o.is_object();
        for (size_t c = 0; ok && c < kColumnCount; ++c) {
            const auto it = o.find(kColumns[c]);
            if (it == o.end()) {
                ok = false;
            } else if (it->is_string()) {
                f.push_back(it->get<std::string>());
            } else if (it->is_boolean()) {
                f.push_back(it->get<bool>() ? "true" : "false");
            } else if (it->is_number_integer()) {
                f.push_back(std::to_string(it->get<long long>()));
            } else if (it->is_number()) {
                f.push_back(std::to_string(it->get<double>()));
            } else {
                ok = false;
            }
        }
        ReportRow r;
        if (!ok || !RowFromFields(f, r)) {
            error = path + ": entry " + std::to_string(i + 1) + " is not a device of a report";
            return false;
        }
        rows.push_back(std::move(r));
    }
    return true;
}

std::string DeviceOf(const ReportRow& r) { return r.address + ":" + std::to_string(r.port); }

}  // namespace

std::string ReportTime() {
    // The calendar of the system clock (UTC), without the C library's
    // thread-unsafe or system-specific time conversions.
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss<seconds> dayTime(now - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(dayTime.hours().count()),
                  static_cast<int>(dayTime.minutes().count()),
                  static_cast<int>(dayTime.seconds().count()));
    return text;
}

std::string CheckReportPath(const std::string& path) {
    if (KindOf(path) == Kind::Other) {
        return "the report " + path + " must end in .csv or .json";
    }
    return {};
}

namespace {

// Written beside the target and put in its place: a reader never sees half
// a file, and an earlier one survives a failed write.
bool WriteReplacing(const std::string& path, const std::string& text, const char* what,
                    std::string& error) {
    int systemError = 0;
    if (!platform::WriteFileReplacing(path, text, systemError)) {
        error = std::string("cannot write the ") + what + " " + path;
        return false;
    }
    return true;
}

}  // namespace

bool WriteReport(const std::string& path, const std::vector<ReportRow>& rows, std::string& error) {
    std::string text;
    if (KindOf(path) == Kind::Json) {
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const ReportRow& r : rows) {
            out.push_back({{"time", r.time},
                           {"mac", r.mac},
                           {"address", r.address},
                           {"port", r.port},
                           {"model", r.model},
                           {"version_before", r.versionBefore},
                           {"version_after", r.versionAfter},
                           {"code", r.code},
                           {"result", r.result},
                           {"success", r.success},
                           {"started", r.started},
                           {"attempts", r.attempts},
                           {"seconds", r.seconds}});
        }
        text = out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    } else if (KindOf(path) == Kind::Csv) {
        for (size_t c = 0; c < kColumnCount; ++c) {
            text += std::string(c > 0 ? "," : "") + kColumns[c];
        }
        text += "\r\n";
        for (const ReportRow& r : rows) {
            const std::vector<std::string> f = Fields(r);
            for (size_t c = 0; c < f.size(); ++c) {
                text += (c > 0 ? "," : "") + CsvField(f[c]);
            }
            text += "\r\n";
        }
    } else {
        error = CheckReportPath(path);
        return false;
    }
    return WriteReplacing(path, text, "report", error);
}

bool WriteDevicesFile(const std::string& path, const std::vector<std::string>& devices,
                      std::string& error) {
    std::string text = "# devices, one IPv4-ADDRESS:PORT a line\n";
    for (const std::string& d : devices) {
        text += d + "\n";
    }
    return WriteReplacing(path, text, "device list", error);
}

bool ReadReport(const std::string& path, std::vector<ReportRow>& rows, std::string& error) {
    rows.clear();
    std::string text;
    if (!ReadText(path, text, error)) {
        return false;
    }
    switch (KindOf(path)) {
        case Kind::Csv:
            return ReadCsvReport(path, text, rows, error);
        case Kind::Json:
            return ReadJsonReport(path, text, rows, error);
        case Kind::Other:
            break;
    }
    error = CheckReportPath(path);
    return false;
}

bool ReadDevicesFile(const std::string& path, std::vector<std::string>& devices, std::string& error) {
    if (KindOf(path) != Kind::Other) {
        std::vector<ReportRow> rows;
        if (!ReadReport(path, rows, error)) {
            return false;
        }
        for (const ReportRow& r : rows) {
            devices.push_back(DeviceOf(r));
        }
        return true;
    }
    std::string text;
    if (!ReadText(path, text, error)) {
        return false;
    }
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) {
            continue;
        }
        const size_t last = line.find_last_not_of(" \t\r");
        const std::string device = line.substr(first, last - first + 1);
        std::string host;
        int32_t port = 0;
        if (!ParseDevice(device, host, port)) {
            error = path + ":" + std::to_string(number) + ": \"" + device.substr(0, 80) +
                    "\" is not IPv4-ADDRESS:PORT";
            return false;
        }
        devices.push_back(device);
    }
    return true;
}

bool FailedDevicesOf(const std::string& path, std::vector<std::string>& devices, std::string& error) {
    std::vector<ReportRow> rows;
    if (!ReadReport(path, rows, error)) {
        return false;
    }
    for (const ReportRow& r : rows) {
        if (!r.success) {
            devices.push_back(DeviceOf(r));
        }
    }
    return true;
}

}  // namespace report
