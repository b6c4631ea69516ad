#pragma once
// What the files of Fwbatch's window share: the blocks its posted messages
// carry and how batch records are matched with rows.

#include <cstddef>
#include <cstring>
#include <string>

#include "discovery/SearchDeviceInfo.h"
#include "fwbatch/app/AdapterJob.h"
#include "fwbatch/app/FwbatchMessages.h"
#include "fwbatch/engine/UpgradeBatch.h"

namespace fwbatch::dlg {

inline void FreeVersionsBlock(uintptr_t /*wParam*/, intptr_t lParam) {
    delete reinterpret_cast<msg::UpgradeVersions*>(lParam);
}

inline void FreePreparationBlock(uintptr_t /*wParam*/, intptr_t lParam) {
    delete reinterpret_cast<PreparationResult*>(lParam);
}

inline std::string FieldString(const char* field, size_t capacity) {
    return std::string(field, strnlen(field, capacity));
}

// A batch record's device key against a row's key: the first 20 bytes,
// byte for byte.
inline bool KeyMatches(const char (&key)[20], const std::string& rowKey) {
    return FieldString(key, sizeof key) == rowKey.substr(0, sizeof key);
}
inline bool KeyMatches(const std::string& key, const std::string& rowKey) {
    return key == rowKey.substr(0, sizeof(_update_Info::deviceKey));
}

}  // namespace fwbatch::dlg
