#pragma once
// The programs' private window messages. Workers and the search callback
// post them to the main window's thread; none is ever sent synchronously.

#include <cstdint>

namespace winmsg {

constexpr uint32_t WM_USER = 0x0400;

// wParam 0: lParam is a new SEARCH_DEVICE_INFO, owned by the receiver.
// wParam 1: lParam is a 20-byte MAC block of a device that is gone, owned
// (and freed as an array) by the receiver.
constexpr uint32_t WM_DEVICE_SEARCH = WM_USER + 1002;
constexpr uintptr_t kDeviceAnswer = 0;
constexpr uintptr_t kDeviceGone = 1;

// Per-device result of a push (Cfgpush) or of an upgrade (Fwbatch).
constexpr uint32_t WM_PUSH_RESULT = WM_USER + 1003;
constexpr uint32_t WM_UPGRADE_RESULT = WM_USER + 1003;
constexpr uint32_t WM_UPGRADE_PROGRESS = WM_USER + 1004;
constexpr uint32_t WM_AI_VERSION_RESULT = WM_USER + 1005;

}  // namespace winmsg
