// camprep-docgen: writes camprep(1) and camprep's bash completion from the
// command table camprep itself parses with. Run by the build.
//   camprep-docgen man TEMPLATE OUTPUT
//   camprep-docgen bash-completion OUTPUT
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/CommandRegistry.h"
#include "cli/docgen/BashCompletion.h"
#include "cli/docgen/CommandTree.h"
#include "cli/docgen/ManPage.h"

namespace {

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app;
    app.name("camprep");
    cli::SetUpCommands(app);
    const cli::docgen::CommandDoc root = cli::docgen::ReadCommandTree(app);
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "man" && argc == 4) {
        std::ifstream in(argv[2], std::ios::binary);
        std::stringstream templateText;
        templateText << in.rdbuf();
        if (!in || !WriteFile(argv[3], cli::docgen::WriteManPage(root, templateText.str(),
                                                                 CAMPREP_VERSION))) {
            std::fprintf(stderr, "camprep-docgen: cannot read %s or write %s\n", argv[2], argv[3]);
            return 1;
        }
        return 0;
    }
    if (what == "bash-completion" && argc == 3) {
        if (!WriteFile(argv[2], cli::docgen::WriteBashCompletion(root))) {
            std::fprintf(stderr, "camprep-docgen: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr,
                 "usage: camprep-docgen man TEMPLATE OUTPUT\n"
                 "       camprep-docgen bash-completion OUTPUT\n");
    return 2;
}
