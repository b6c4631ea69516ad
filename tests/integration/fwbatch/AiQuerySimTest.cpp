// The AI version query against simulated devices.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FwbatchSimSupport.h"
#include "fwbatch/engine/AiQuery.h"
#include "sim/Simulator.h"
#include "tests/integration/sim/SimTestSupport.h"

namespace {

using namespace fwbatch;

TEST(AiQuerySim, Outcomes) {
    struct Row {
        const char* what;
        std::function<void(sim::DeviceConfig&)> device;
        std::function<void(DEVICE_PARAM&)> entry;
        uint32_t text;
        AiVersionTexts versions;
        size_t httpRequests;
    };
    const std::vector<Row> rows = {
        {"versions", {}, {}, 1057, {"1.2.0", "2.0.1", "1.0.5"}, 1},
        {"no versions", [](sim::DeviceConfig& d) { d.identity.ai.reset(); }, {}, 1059, {}, 1},
        {"only the first address answers", {}, [](DEVICE_PARAM& e) { e.secondAddress = "127.0.0.1"; }, 1057,
         {"1.2.0", "2.0.1", "1.0.5"}, 1},
        {"login refused", [](sim::DeviceConfig& d) { d.identity.password = "other"; }, {}, 1058, {}, 0},
        {"request fails once", [](sim::DeviceConfig& d) { d.faults.httpFailFirst = 1; }, {}, 1057,
         {"1.2.0", "2.0.1", "1.0.5"}, 2},
        {"request fails twice", [](sim::DeviceConfig& d) { d.faults.httpFailFirst = 2; }, {}, 1058, {}, 2},
        // A long text gives a version of its field's size; a reply above
        // the session's limit for replies breaks the link (asked twice).
        {"a version of 1 MiB", [](sim::DeviceConfig& d) { d.identity.ai->structure = std::string(1u << 20, 'v'); },
         {}, 1057, {std::string(kAiVersionTextMax, 'v'), "2.0.1", "1.0.5"}, 1},
        {"a reply above the limit", [](sim::DeviceConfig& d) { d.identity.ai->structure = std::string(5u << 20, 'v'); },
         {}, 1058, {}, 2},
        {"credentials too long for their field", {},
         [](DEVICE_PARAM& e) { e.password = std::string(40, 'p'); }, 1058, {}, 0},
    };
    std::vector<sim::DeviceConfig> fleet = simtest::QuickFleet(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].device) rows[i].device(fleet[i]);
    }
    auto simulator = simtest::StartSimulator(fleet);
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        DEVICE_PARAM entry;
        entry.deviceKey = simulator->Mac(i);
        entry.firstAddress = entry.secondAddress = simulator->Address(i);
        entry.commandPort = simulator->DataPort(i);
        entry.userName = "admin";
        entry.password = "739164";
        if (rows[i].entry) rows[i].entry(entry);
        const AiQueryResult result = RunAiQuery(entry, fwtest::QuickAiOptions());
        EXPECT_EQ(result.deviceKey, simulator->Mac(i));
        EXPECT_EQ(AiResultStringId(result), rows[i].text);
        EXPECT_EQ(result.versions.structure, rows[i].versions.structure);
        EXPECT_EQ(result.versions.face, rows[i].versions.face);
        EXPECT_EQ(result.versions.vehicle, rows[i].versions.vehicle);
        EXPECT_EQ(simulator->Records(i).http.size(), rows[i].httpRequests);
    }
}

}  // namespace
