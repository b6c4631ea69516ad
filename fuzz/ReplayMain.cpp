// Runs a fuzz target once over each input named on the command line: files,
// or folders whose files are run in name order. Without libFuzzer this is
// how the seed corpora and the committed crash reproducers stay regression
// tests. Fails when no input was found, so a missing corpus cannot pass.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    // A buffer of exactly the input's size, so the sanitizers see a read
    // one byte past the end.
    const size_t size = bytes.size();
    std::unique_ptr<uint8_t[]> data(new uint8_t[size == 0 ? 1 : size]);
    std::copy(bytes.begin(), bytes.end(), data.get());
    std::printf("%s (%zu bytes)\n", path.string().c_str(), size);
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(data.get(), size);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    size_t inputs = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
            for (const auto& file : files) {
                ok = RunFile(file) && ok;
                ++inputs;
            }
        } else {
            ok = RunFile(arg) && ok;
            ++inputs;
        }
    }
    if (inputs == 0) {
        std::fprintf(stderr, "no inputs: give files or folders of inputs\n");
        return 1;
    }
    std::printf("%zu inputs ran\n", inputs);
    return ok ? 0 : 1;
}
