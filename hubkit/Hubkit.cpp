#include "hubkit/Hubkit.h"

#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace {

struct Registration {
    size_t count = 0;
    void* lastInstance = nullptr;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, Registration, std::less<>> byName;  // guarded by mutex
};

// Never destroyed: objects may still register or be looked up while other
// statics are torn down at exit.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

std::string_view NameOf(const char* typeName) {
    return typeName != nullptr ? std::string_view(typeName) : std::string_view();
}

}  // namespace

extern "C" void HUBKIT_CreateSingleton(void* instance, const char* typeName) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    Registration& entry = registry.byName[std::string(NameOf(typeName))];
    ++entry.count;
    entry.lastInstance = instance;
}

namespace hubkit {

size_t RegistrationCount(const char* typeName) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.byName.find(NameOf(typeName));
    return it == registry.byName.end() ? 0 : it->second.count;
}

void* LastInstance(const char* typeName) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.byName.find(NameOf(typeName));
    return it == registry.byName.end() ? nullptr : it->second.lastInstance;
}

}  // namespace hubkit
