// Parsing search answers: the markup parser (CMarkupSTL, which reads every
// answer the search delivers) against pugixml parsing the same bytes in the
// same binary. Answers: the recorded ones under tests/data/search-answers
// and the simulator's own. Reports each parser's throughput and the ratio;
// also the whole answer handling (ParseSearchAnswer) for reference.
//
//   markup_vs_pugixml [seconds per measurement]   (default 1)

#include <pugixml.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ChildRun.h"
#include "common/markup/CMarkupSTL.h"
#include "discovery/SearchAnswer.h"
#include "sim/DeviceConfig.h"
#include "sim/SearchAnswerXml.h"

namespace {

std::vector<std::string> Answers() {
    std::vector<std::string> answers;
    for (const char* name : {"ipc-v4-full.xml", "nvr-reordered.xml", "other-maker.xml"}) {
        std::ifstream in(std::string(CAMPREP_SOURCE_DIR "/tests/data/search-answers/") + name, std::ios::binary);
        answers.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    for (size_t i = 0; i < 4; ++i) {
        answers.push_back(sim::BuildSearchAnswer(sim::DefaultDevice(i).identity, 9008));
    }
    return answers;
}

// Runs `parse` over every answer, round after round, for about `seconds`;
// MB/s of answer text.
template <typename Parse>
double Throughput(const std::vector<std::string>& answers, double seconds, Parse parse) {
    size_t bytes = 0;
    size_t sink = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    do {
        for (int round = 0; round < 100; ++round) {
            for (const std::string& a : answers) {
                sink += parse(a);
                bytes += a.size();
            }
        }
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < seconds);
    if (sink == 42) std::printf(" ");  // keeps the work from being optimised away
    return static_cast<double>(bytes) / elapsed / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    const std::vector<std::string> answers = Answers();
    for (const std::string& a : answers) {
        if (a.empty() || !CMarkupSTL(a).IsWellFormed()) {
            std::fprintf(stderr, "an answer is missing or ill-formed\n");
            return 1;
        }
    }
    // Both parse into their own copy of the text, as the search hands it over.
    const double markup = Throughput(answers, seconds, [](const std::string& a) {
        CMarkupSTL doc(a);
        return static_cast<size_t>(doc.IsWellFormed());
    });
    const double pugi = Throughput(answers, seconds, [](const std::string& a) {
        pugi::xml_document doc;
        return static_cast<size_t>(static_cast<bool>(doc.load_buffer(a.data(), a.size())));
    });
    const double whole = Throughput(answers, seconds, [](const std::string& a) {
        const auto report = discovery::ParseSearchAnswer("02:53:49:4D:00:00", discovery::kReportAnswer, a.c_str(),
                                                         discovery::kFwbatchRules);
        return static_cast<size_t>(report.type);
    });
    std::printf("%zu answers, %zu to %zu bytes\n", answers.size(), answers[2].size(), answers[0].size());
    std::printf("CMarkupSTL   %8.1f MB/s\npugixml      %8.1f MB/s\nratio        %8.2f\n", markup, pugi,
                markup / pugi);
    std::printf("whole answer handling (parse and read every field): %.1f MB/s\n", whole);
    bench::PrintResult("Search-answer XML parse (CMarkupSTL)",
                       bench::Format("%.1f MB/s (%.2fx pugixml)", markup, markup / pugi),
                       bench::Format("pugixml on the same bytes: %.1f MB/s", pugi), ">= 0.3x pugixml",
                       markup / pugi >= 0.3);
    return 0;
}
