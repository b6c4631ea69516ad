#include "common/platform/Diagnostics.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/platform/Files.h"
#include "common/platform/UserDirectories.h"

namespace platform {
namespace {

// Keeps the calling thread's last system error across a print (on Windows
// also the one GetLastError and WSAGetLastError read).
struct ErrnoKeeper {
    int saved = errno;
#ifdef _WIN32
    DWORD savedWindows = ::GetLastError();
    ~ErrnoKeeper() {
        errno = saved;
        ::SetLastError(savedWindows);
    }
#else
    ~ErrnoKeeper() { errno = saved; }
#endif
};

std::mutex g_mutex;
DiagSink g_sink;                       // guarded by g_mutex
std::atomic<bool> g_haveSink{false};

// The environment's choice, read once.
struct EnvTarget {
    bool on = false;
    std::string path;  // empty: standard error
    EnvTarget() {
        const char* v = std::getenv("CAMPREP_DIAG");
        if (v == nullptr || *v == '\0' || std::strcmp(v, "0") == 0) {
            return;
        }
        on = true;
        if (IsAbsolutePath(v)) {
            path = v;
        } else if (std::strcmp(v, "file") == 0) {
            // The user's state folder, never beside the program: a program
            // installed for everyone cannot write there, and should not.
            const std::string folder = UserStateDirectory() + "/camprep";
            if (MakeUserDirectory(folder)) {
                path = folder + "/" + ProgramName() + ".log";
            }
        }
    }
};

const EnvTarget& Env() {
    static const EnvTarget env;
    return env;
}

void WriteToEnv(const std::string& text) {
    const EnvTarget& env = Env();
    if (env.path.empty()) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        return;
    }
    // Readable by the owner only: the channel names devices and addresses.
    (void)AppendToPrivateFile(env.path, text);
}

}  // namespace

bool DiagEnabled() { return g_haveSink.load(std::memory_order_acquire) || Env().on; }

void DiagWrite(const std::string& text) {
    if (!DiagEnabled()) {
        return;
    }
    // Callers print between a failed call and their look at its error.
    const ErrnoKeeper keep;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_sink) {
        g_sink(text);
    } else if (Env().on) {
        WriteToEnv(text);
    }
}

void DiagPrintf(const char* format, ...) {
    if (!DiagEnabled()) {
        return;
    }
    const ErrnoKeeper keep;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed < 0) {
        va_end(args);
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    DiagWrite(std::string(buffer.data(), static_cast<size_t>(needed)));
}

void ErrorPrintf(const char* format, ...) {
    const ErrnoKeeper keep;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

DiagSink SetDiagSink(DiagSink sink) {
    std::lock_guard<std::mutex> lock(g_mutex);
    DiagSink previous = std::move(g_sink);
    g_sink = std::move(sink);
    g_haveSink.store(static_cast<bool>(g_sink), std::memory_order_release);
    return previous;
}

}  // namespace platform
