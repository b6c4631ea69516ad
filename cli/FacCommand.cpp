// `camprep fac inspect` and `camprep fac pack`: look into a factory
// configuration package the way Cfgpush reads it, and make one.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cfgpush/engine/CfgpushStringIds.h"
#include "cfgpush/engine/CustomerPictures.h"
#include "cfgpush/engine/FacFormat.h"
#include "cfgpush/engine/FacPackage.h"
#include "cfgpush/engine/FacWriter.h"
#include "cfgpush/engine/FactoryItems.h"
#include "cli/CommandRegistry.h"
#include "common/platform/Files.h"
#include "strings/EmbeddedStrings.h"

namespace {

using cfgpush::FacPackage;

struct InspectOptions {
    std::string file;
    std::string productType;
    bool json = false;
};

struct PackOptions {
    std::string customer;
    std::string common;
    std::vector<std::string> products;
    std::vector<std::string> pictures;
    std::string output;
};

// Operator messages come from Cfgpush's string table, in its language.
void PrintTableMessage(uint32_t id) {
    std::fprintf(stderr, "%s\n", strings::CfgpushStrings().Load(id).c_str());
}

// Package texts are 8-bit bytes: show control characters escaped so that
// blanks, CR and LF inside a line stay visible.
std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

struct PictureView {
    cfgpush::PictureKind kind;
    const cfgpush::FAC_BLOCK_INFO* slot;
    std::optional<size_t> imageLength;  // none when it does not decipher
};

std::vector<PictureView> PresentPictures(const FacPackage& package) {
    std::vector<PictureView> pictures;
    for (const cfgpush::PictureKind kind : cfgpush::kPictureSectionOrder) {
        const cfgpush::FAC_BLOCK_INFO& slot = package.PictureSlot(kind);
        if (slot.length <= 0) {
            continue;
        }
        const std::vector<uint8_t> image = package.DecipherBlock(slot);
        pictures.push_back(
            {kind, &slot, image.empty() ? std::nullopt : std::optional<size_t>(image.size())});
    }
    return pictures;
}

void PrintText(const std::string& file, const FacPackage& package,
               const std::vector<cfgpush::ProductTypeEntry>& types,
               const cfgpush::ProductTypeEntry* chosen, const cfgpush::FactoryItemLists& lists) {
    std::printf("Package:        %s\n", file.c_str());
    std::printf("Customer code:  %s\n", Quoted(package.CustomerCode()).c_str());

    const auto pictures = PresentPictures(package);
    std::printf("Pictures:       %zu%s\n", pictures.size(),
                package.PicturesPresent() == 1 && pictures.empty()
                    ? " (the package lists pictures, none of a known kind)"
                    : "");
    for (const PictureView& p : pictures) {
        std::printf("  %-14s %-32s %10d bytes%s\n",
                    std::string(cfgpush::PictureKindLabel(p.kind)).c_str(),
                    Quoted(cfgpush::BlockName(*p.slot)).c_str(), p.slot->length,
                    p.imageLength ? "" : "  (does not decipher)");
    }

    std::printf("Product types:  %zu\n", types.size());
    for (const cfgpush::ProductTypeEntry& type : types) {
        std::printf("  %5d  %s\n", type.entryNumber, Quoted(type.name).c_str());
    }
    if (chosen == nullptr) {
        std::printf("Items:          none (no product type: a push would be refused)\n");
        return;
    }
    std::printf("Items for %s (entry %d): %zu\n", Quoted(chosen->name).c_str(), chosen->entryNumber,
                lists.m_itemList.size());
    for (size_t i = 0; i < lists.m_itemList.size(); ++i) {
        const auto& item = lists.m_itemList[i];
        std::printf("  %4zu  line %-50s key %-34s value %s\n", i + 1,
                    Quoted(cfgpush::FieldText(lists.m_V4cfgItemList[i].line)).c_str(),
                    Quoted(cfgpush::FieldText(item.key)).c_str(),
                    Quoted(cfgpush::FieldText(item.value)).c_str());
    }
}

void PrintJson(const std::string& file, const FacPackage& package,
               const std::vector<cfgpush::ProductTypeEntry>& types,
               const cfgpush::ProductTypeEntry* chosen, const cfgpush::FactoryItemLists& lists) {
    using json = nlohmann::ordered_json;
    json out;
    out["file"] = file;
    out["customer_code"] = std::string(package.CustomerCode());
    out["pictures_present"] = package.PicturesPresent() == 1;
    out["pictures"] = json::array();
    for (const PictureView& p : PresentPictures(package)) {
        out["pictures"].push_back(
            {{"kind", std::string(cfgpush::PictureKindLabel(p.kind))},
             {"section", std::string(cfgpush::PictureSectionName(p.kind))},
             {"name", std::string(cfgpush::BlockName(*p.slot))},
             {"length", p.slot->length},
             {"image_length", p.imageLength ? json(*p.imageLength) : json(nullptr)}});
    }
    out["product_types"] = json::array();
    for (const cfgpush::ProductTypeEntry& type : types) {
        out["product_types"].push_back({{"name", type.name}, {"entry", type.entryNumber}});
    }
    out["product_type"] = chosen == nullptr
                              ? json(nullptr)
                              : json{{"name", chosen->name}, {"entry", chosen->entryNumber}};
    out["items"] = json::array();
    for (size_t i = 0; i < lists.m_itemList.size(); ++i) {
        out["items"].push_back(
            {{"line", std::string(cfgpush::FieldText(lists.m_V4cfgItemList[i].line))},
             {"key", std::string(cfgpush::FieldText(lists.m_itemList[i].key))},
             {"value", std::string(cfgpush::FieldText(lists.m_itemList[i].value))}});
    }
    // Package texts are in the making system's 8-bit code page: bytes that
    // are not UTF-8 are shown as U+FFFD.
    std::printf("%s\n", out.dump(2, ' ', false, json::error_handler_t::replace).c_str());
}

int RunInspect(const InspectOptions& options) {
    FacPackage package;
    int openErrno = 0;
    switch (package.Load(options.file, &openErrno)) {
        case cfgpush::FacLoadResult::kLoaded:
            break;
        case cfgpush::FacLoadResult::kCannotOpen:
            std::fprintf(stderr, "camprep fac inspect: cannot open %s: %s\n", options.file.c_str(),
                         std::strerror(openErrno));
            return cli::kExitUsage;
        case cfgpush::FacLoadResult::kBadFormat:
            PrintTableMessage(cfgpush::ids::kMsgBadFileFormat);
            return cli::kExitUsage;
    }

    const std::vector<cfgpush::ProductTypeEntry> types = package.ProductTypesInBoxOrder();
    const cfgpush::ProductTypeEntry* chosen = types.empty() ? nullptr : &types.front();
    if (!options.productType.empty()) {
        chosen = nullptr;
        for (const cfgpush::ProductTypeEntry& type : types) {
            if (type.name == options.productType) {
                chosen = &type;
                break;
            }
        }
        if (chosen == nullptr) {
            std::string known;
            for (const cfgpush::ProductTypeEntry& type : types) {
                known += (known.empty() ? "" : ", ") + Quoted(type.name);
            }
            std::fprintf(stderr, "camprep fac inspect: %s has no product type %s (it has: %s)\n",
                         options.file.c_str(), Quoted(options.productType).c_str(),
                         known.empty() ? "none" : known.c_str());
            return cli::kExitUsage;
        }
    }

    cfgpush::FactoryItemLists lists;
    if (chosen != nullptr && !cfgpush::BuildItemLists(package, chosen->entryNumber, lists)) {
        PrintTableMessage(cfgpush::ids::kMsgFileIncorrect);
        return cli::kExitUsage;
    }
    if (options.json) {
        PrintJson(options.file, package, types, chosen, lists);
    } else {
        PrintText(options.file, package, types, chosen, lists);
    }
    return cli::kExitOk;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// NAME=FILE, split at the first "=".
bool ReadEntry(const char* option, const std::string& argument, cfgpush::FacEntrySource& entry) {
    const size_t equals = argument.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == argument.size()) {
        std::fprintf(stderr, "camprep fac pack: %s wants NAME=FILE, not \"%s\"\n", option,
                     argument.c_str());
        return false;
    }
    entry.name = argument.substr(0, equals);
    const std::string path = argument.substr(equals + 1);
    if (!ReadWholeFile(path, entry.plain)) {
        std::fprintf(stderr, "camprep fac pack: cannot read %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

void WarnWithoutHeader(const std::string& what, const std::vector<uint8_t>& text) {
    if (!cfgpush::HasConfigHeader(cfgpush::ConfigText(text))) {
        std::fprintf(stderr,
                     "camprep fac pack: warning: %s has no \"%s\" line: a push of this package "
                     "will be refused\n",
                     what.c_str(), std::string(cfgpush::kConfigHeader).c_str());
    }
}

// Writes next to the target and puts it in its place, so a failed write
// never leaves a half package under the output name.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    int error = 0;
    if (!platform::WriteFileReplacing(
            path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
            error)) {
        errno = error;
        return false;
    }
    return true;
}

int RunPack(const PackOptions& options) {
    cfgpush::FacPackageSource source;
    source.customerCode = options.customer;
    if (!ReadWholeFile(options.common, source.commonText)) {
        std::fprintf(stderr, "camprep fac pack: cannot read %s: %s\n", options.common.c_str(),
                     std::strerror(errno));
        return cli::kExitUsage;
    }
    WarnWithoutHeader("the common block " + options.common, source.commonText);
    for (const std::string& argument : options.pictures) {
        cfgpush::FacEntrySource entry;
        if (!ReadEntry("--picture", argument, entry)) {
            return cli::kExitUsage;
        }
        if (!cfgpush::PictureKindOfName(entry.name)) {
            std::fprintf(stderr,
                         "camprep fac pack: warning: picture name \"%s\" is of no known kind "
                         "(its name contains none of icon, TabletLogo, start, wallpaper): "
                         "Cfgpush will skip it\n",
                         entry.name.c_str());
        }
        source.pictures.push_back(std::move(entry));
    }
    for (const std::string& argument : options.products) {
        cfgpush::FacEntrySource entry;
        if (!ReadEntry("--product", argument, entry)) {
            return cli::kExitUsage;
        }
        WarnWithoutHeader("product type \"" + entry.name + "\"", entry.plain);
        source.products.push_back(std::move(entry));
    }

    std::vector<uint8_t> file;
    std::string problem;
    if (!cfgpush::BuildFacPackage(source, file, problem)) {
        std::fprintf(stderr, "camprep fac pack: %s\n", problem.c_str());
        return cli::kExitUsage;
    }
    if (!WriteFileAtomically(options.output, file)) {
        std::fprintf(stderr, "camprep fac pack: cannot write %s: %s\n", options.output.c_str(),
                     std::strerror(errno));
        return cli::kExitFailed;
    }
    std::printf("%s: %zu bytes, customer code \"%s\", %zu picture(s), %zu product type(s)\n",
                options.output.c_str(), file.size(), options.customer.c_str(),
                source.pictures.size(), source.products.size());
    return cli::kExitOk;
}

const cli::CommandRegistrar kFac("fac", [](CLI::App& app) {
    CLI::App* fac = app.add_subcommand("fac", "Inspect or make factory configuration packages");
    fac->require_subcommand(1);

    auto inspectOptions = std::make_shared<InspectOptions>();
    CLI::App* inspect =
        fac->add_subcommand("inspect", "Show a package's contents and the items a push sends");
    inspect->add_option("FILE", inspectOptions->file, "The .fac package")
        ->required()
        ->type_name("FILE");
    inspect->add_option("--product-type", inspectOptions->productType,
                        "The product type whose items to show (default: the first in the "
                        "window's sorted order)");
    inspect->add_flag("--json", inspectOptions->json, "Print one JSON object");

    auto packOptions = std::make_shared<PackOptions>();
    CLI::App* pack = fac->add_subcommand("pack", "Make a package that Cfgpush loads");
    pack->add_option("--customer", packOptions->customer, "Customer code (at most 63 bytes)")
        ->required();
    pack->add_option("--common", packOptions->common, "The common configuration text")
        ->required()
        ->type_name("FILE");
    pack->add_option("--product", packOptions->products,
                     "NAME=FILE: a product type and its configuration text (repeatable, kept in "
                     "order)")
        ->allow_extra_args(false)
        ->type_name("NAME=FILE");
    pack->add_option("--picture", packOptions->pictures,
                     "NAME=FILE: a customer picture by its entry name (repeatable, kept in "
                     "order)")
        ->allow_extra_args(false)
        ->type_name("NAME=FILE");
    pack->add_option("--output", packOptions->output, "The package to write")
        ->required()
        ->type_name("FILE");

    return [inspect, pack, inspectOptions, packOptions]() {
        if (inspect->parsed()) {
            return RunInspect(*inspectOptions);
        }
        if (pack->parsed()) {
            return RunPack(*packOptions);
        }
        return cli::kExitUsage;
    };
});

}  // namespace
