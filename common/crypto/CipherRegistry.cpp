#include "common/crypto/CipherRegistry.h"

#include <map>
#include <mutex>
#include <shared_mutex>

#include "common/crypto/CEncryptXOR.h"

namespace {

struct Registry {
    std::shared_mutex mutex;
    std::map<uint32_t, CipherCreator> creators;  // guarded by mutex

    // The built-in entries are added here, by the registry itself, so that
    // linking from a static library can never drop them.
    Registry() { creators.emplace(kCipherIdXor, &CreateEncryptXOR); }
};

// Never destroyed: worker threads may still look ciphers up at exit.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

// Fills the registry before main runs.
[[maybe_unused]] const bool g_filled = (TheRegistry(), true);

}  // namespace

namespace crypto {

bool RegisterCipher(uint32_t cipherId, CipherCreator creator) {
    if (creator == nullptr) {
        return false;
    }
    Registry& registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    return registry.creators.emplace(cipherId, creator).second;
}

std::unique_ptr<CEncrypt> CreateCipher(uint32_t cipherId) {
    CipherCreator creator = nullptr;
    {
        Registry& registry = TheRegistry();
        std::shared_lock lock(registry.mutex);
        auto it = registry.creators.find(cipherId);
        if (it != registry.creators.end()) {
            creator = it->second;
        }
    }
    return creator != nullptr ? creator() : nullptr;
}

}  // namespace crypto

void EncryptWithCipher(std::span<uint8_t> data, std::span<const uint8_t> key, uint32_t cipherId) {
    std::unique_ptr<CEncrypt> cipher = crypto::CreateCipher(cipherId);
    if (!cipher) {
        cipher = std::make_unique<CEncrypt>();
    }
    cipher->Encrypt(data, key);
}
