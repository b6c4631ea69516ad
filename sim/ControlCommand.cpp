#include "sim/ControlCommand.h"

#include <sstream>
#include <vector>

#include "sim/Simulator.h"

namespace sim {

namespace {

// The devices a DEVICE word names; empty when it names none.
std::vector<size_t> Select(const Simulator& simulator, const std::string& word) {
    std::vector<size_t> chosen;
    if (word == "all") {
        for (size_t i = 0; i < simulator.DeviceCount(); ++i)
            chosen.push_back(i);
        return chosen;
    }
    for (size_t i = 0; i < simulator.DeviceCount(); ++i) {
        if (simulator.Mac(i) == word)
            return {i};
    }
    if (!word.empty() && word.find_first_not_of("0123456789") == std::string::npos &&
        word.size() < 10) {
        const size_t index = std::stoul(word);
        if (index < simulator.DeviceCount())
            chosen.push_back(index);
    }
    return chosen;
}

}  // namespace

ControlResult RunControlCommand(Simulator& simulator, const std::string& line) {
    ControlResult result;
    std::istringstream in(line);
    std::string verb;
    std::string target;
    in >> verb >> target;
    if (verb.empty()) {
        return result;
    }
    if (verb == "quit") {
        result.quit = true;
        result.reply = "ok quit\n";
    } else if (verb == "flush") {
        simulator.FlushStore();
        result.reply = "ok flush\n";
    } else if (verb == "list") {
        for (size_t i = 0; i < simulator.DeviceCount(); ++i) {
            result.reply += "device " + std::to_string(i) + " " + simulator.Mac(i) + " " +
                            simulator.Address(i) + ":" + std::to_string(simulator.DataPort(i)) +
                            (simulator.Answering(i) ? " answering\n" : " left\n");
        }
    } else if (verb == "leave" || verb == "return") {
        const std::vector<size_t> devices = Select(simulator, target);
        if (devices.empty()) {
            result.reply = "error: no device \"" + target + "\"\n";
            return result;
        }
        for (size_t i : devices) {
            const bool ok = verb == "leave" ? simulator.Leave(i) : simulator.Return(i);
            if (!ok) {
                result.reply = "error: the search is not answered (--no-search)\n";
                return result;
            }
        }
        result.reply = "ok " + verb + " " + std::to_string(devices.size()) + "\n";
    } else {
        result.reply =
            "error: unknown command \"" + verb + "\" (leave, return, list, flush, quit)\n";
    }
    return result;
}

}  // namespace sim
