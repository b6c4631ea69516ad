#include "strings/EmbeddedStrings.h"

#include "common/platform/Language.h"
#include "strings/EmbeddedStringData.h"

namespace strings {
namespace {

struct LoadedTable {
    TableInfo info;
    StringTable table;
};

const std::vector<LoadedTable>& Loaded() {
    static const std::vector<LoadedTable> tables = [] {
        std::vector<LoadedTable> out;
        for (const embedded::EmbeddedFile* file = embedded::kFiles; file->program != nullptr;
             ++file) {
            LoadedTable loaded;
            loaded.info.program = file->program;
            loaded.info.languageId = file->languageId;
            loaded.table = StringTable::Parse(
                std::string_view(reinterpret_cast<const char*>(file->data), file->size),
                &loaded.info.errors);
            out.push_back(std::move(loaded));
        }
        return out;
    }();
    return tables;
}

}  // namespace

const StringTable* FindTable(std::string_view program, uint16_t languageId) {
    for (const LoadedTable& loaded : Loaded()) {
        if (loaded.info.program == program && loaded.info.languageId == languageId) {
            return &loaded.table;
        }
    }
    return nullptr;
}

std::vector<TableInfo> Tables() {
    std::vector<TableInfo> infos;
    for (const LoadedTable& loaded : Loaded()) {
        infos.push_back(loaded.info);
    }
    return infos;
}

namespace {

const StringTable& TableOrEmpty(std::string_view program, uint16_t languageId) {
    static const StringTable empty;
    const StringTable* table = FindTable(program, languageId);
    return table != nullptr ? *table : empty;
}

}  // namespace

const StringTable& CfgpushStrings() {
    return TableOrEmpty(
        "cfgpush", platform::CfgpushInterfaceLanguage(platform::SystemDefaultLanguageId()));
}

const StringTable& FwbatchStrings() {
    return TableOrEmpty(
        "fwbatch", platform::FwbatchInterfaceLanguage(platform::SystemDefaultLanguageId()));
}

}  // namespace strings
