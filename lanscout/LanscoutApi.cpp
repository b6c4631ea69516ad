// The library's C interface over one process-wide Search.

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/platform/NetworkPlatform.h"
#include "lanscout/Lanscout.h"
#include "lanscout/Search.h"

namespace {

constexpr int kMissedRoundsForGone = 3;
constexpr int kMaxIntervalSeconds = 3600;

struct ApiState {
    std::mutex lock;  // never held while a search thread is waited for
    LANSCOUT_Callback callback = nullptr;
    void* context = nullptr;
    int hopLimit = 1;
    std::vector<std::string> interfaces;
    std::unique_ptr<lanscout::Search> search;
    // A search stopped from its own callback: its thread ends by itself and
    // is waited for by the next call from another thread.
    std::unique_ptr<lanscout::Search> retired;
};

ApiState& State() {
    static ApiState state;
    return state;
}

// Stops and destroys a search outside the state lock. From the search's own
// thread it only stops it and parks it.
int StopSearch(std::unique_ptr<lanscout::Search> search) {
    if (!search) {
        return LANSCOUT_OK;
    }
    if (search->OnSearchThread()) {
        search->Stop();
        std::unique_ptr<lanscout::Search> older;
        {
            std::lock_guard<std::mutex> guard(State().lock);
            older = std::exchange(State().retired, std::move(search));
        }
        // A search parked before has finished its callback; waiting for it is brief.
        older.reset();
        return LANSCOUT_ERR_IN_CALLBACK;
    }
    search.reset();  // the destructor stops and joins
    return LANSCOUT_OK;
}

void ReapRetired() {
    std::unique_ptr<lanscout::Search> retired;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        if (State().retired && !State().retired->OnSearchThread()) {
            retired = std::move(State().retired);
        }
    }
    retired.reset();
}

}  // namespace

extern "C" int LANSCOUT_Initial(LANSCOUT_Callback callback, void* context, int hopLimit) {
    if (callback == nullptr) {
        return LANSCOUT_ERR_BAD_ARGUMENT;
    }
    ReapRetired();
    std::unique_ptr<lanscout::Search> previous;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        previous = std::move(State().search);
    }
    StopSearch(std::move(previous));
    std::lock_guard<std::mutex> guard(State().lock);
    State().callback = callback;
    State().context = context;
    State().hopLimit = (hopLimit >= 1 && hopLimit <= 255) ? hopLimit : 1;
    return LANSCOUT_OK;
}

extern "C" int LANSCOUT_StartAuto(int intervalSeconds) {
    ReapRetired();
    std::lock_guard<std::mutex> guard(State().lock);
    ApiState& state = State();
    if (state.callback == nullptr) {
        return LANSCOUT_ERR_NOT_INITIALISED;
    }
    if (state.search) {
        return LANSCOUT_ERR_ALREADY_STARTED;
    }
    const int seconds =
        intervalSeconds < 1
            ? 1
            : (intervalSeconds > kMaxIntervalSeconds ? kMaxIntervalSeconds : intervalSeconds);
    lanscout::SearchOptions options;
    options.probeIntervalMs = static_cast<uint32_t>(seconds) * 1000u;
    options.missedRoundsForGone = kMissedRoundsForGone;
    options.hopLimit = state.hopLimit;
    options.interfaces = state.interfaces;
    // Copies, so that the thread never reads the state under its lock.
    const LANSCOUT_Callback callback = state.callback;
    void* const context = state.context;
    auto search = std::make_unique<lanscout::Search>(
        [callback, context](const char* mac, int kind, const char* xml) {
            callback(mac, kind, xml, context);
        },
        std::move(options));
    const int rc = search->Start();
    if (rc != LANSCOUT_OK) {
        return rc;
    }
    state.search = std::move(search);
    return LANSCOUT_OK;
}

extern "C" int LANSCOUT_Quit(void) {
    std::unique_ptr<lanscout::Search> search;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        search = std::move(State().search);
        State().callback = nullptr;
        State().context = nullptr;
    }
    const int rc = StopSearch(std::move(search));
    if (rc == LANSCOUT_OK) {
        ReapRetired();
    }
    return rc;
}

extern "C" int LANSCOUT_SetInterfaces(const char* const* names, int count) {
    std::vector<std::string> list;
    if (names != nullptr && count > 0) {
        for (int i = 0; i < count; ++i) {
            if (names[i] == nullptr || !platform::IsValidInterfaceName(names[i])) {
                return LANSCOUT_ERR_BAD_ARGUMENT;
            }
            list.emplace_back(names[i]);
        }
    } else if (count < 0) {
        return LANSCOUT_ERR_BAD_ARGUMENT;
    }
    std::lock_guard<std::mutex> guard(State().lock);
    State().interfaces = list;
    if (State().search) {
        State().search->SetInterfaces(std::move(list));
    }
    return LANSCOUT_OK;
}
