#pragma once
// Who runs the process and what it may do to the network. Adapter
// preparation asks before it chooses between changing addresses itself and
// asking the privileged adapter helper; the helper asks who called it.

#include <string>

namespace platform {

// True when the process may add addresses and send raw frames itself: its
// effective capabilities hold both CAP_NET_ADMIN and CAP_NET_RAW (root's do).
bool HasNetworkPrivileges();

// True when the process runs as root (real user id 0).
bool RunningAsRoot();

// True when the system has a group of that name.
bool GroupExists(const std::string& group);

// True when the group is among the process's groups (its own or a
// supplementary one). The groups are those of the user's login: a user
// added to a group since has it only after logging in again.
bool ProcessInGroup(const std::string& group);

// The real user's name (their number when the user has no name).
std::string UserName();

// Keeps only the network capabilities asked for in the process's effective
// and permitted sets and drops every other capability, for good. For the
// privileged helper, so that each of its tasks holds only what it needs.
// False when the system refused.
bool KeepNetworkCapabilities(bool netAdmin, bool netRaw);

}  // namespace platform
