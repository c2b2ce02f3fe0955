// The named objects through which launches on one machine, in every
// Windows session, see each other: a guard mutex, under which every look is
// made, and sets of named mutexes in Global\, one set per role, of which
// each launch holds one while it takes part. A launch that ends, even by
// force, lets go of them (an abandoned mutex is a free one). The objects
// carry a security descriptor that lets every interactive user wait on and
// signal them, so that launches of different users, standard or elevated,
// see each other. Any such user can also hold them, or create their names
// first: a held mutex is no proof of a launch, and no wait on them is
// without bound.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/handles.h"

inline constexpr const char* kGuardName = "Global\\TarnwickRegistryGuard";
inline constexpr const char* kLaunchPrefix = "Global\\TarnwickLaunch.";        // every launch that takes part
inline constexpr const char* kKeeperPrefix = "Global\\TarnwickKeeper.";        // launches that hold the saved values
inline constexpr const char* kUnlimitedPrefix = "Global\\TarnwickUnlimited.";  // launches waiting for Access without limit
inline const std::string kSameAccessPrefix = "Global\\TarnwickFor.";           // + identity + "."
inline const std::string kUserPrefix = "Global\\TarnwickUser.";                // + SID + "."

// Whether a wait got the mutex (an abandoned one is got too).
inline bool Owned(DWORD result) { return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED; }

// The security of the shared named objects: every interactive user, SYSTEM
// and the administrators may wait on and signal them.
class SharedObjectSecurity {
public:
    SharedObjectSecurity();
    SECURITY_ATTRIBUTES* get() { return descriptor_ ? &attributes_ : nullptr; }

private:
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor_;
    SECURITY_ATTRIBUTES attributes_ = {};
};

// One set of named mutexes "<prefix><n>": a launch that takes part holds one.
// Each mutex is created or opened when first needed: a launch alone on the
// machine needs only the first of each set.
class LaunchSlots {
public:
    // Names the set; with all, opens every mutex of it now and says whether
    // each could be created or opened (or was already); OpenError names the
    // Windows error of the first that could not.
    bool Open(const std::string& prefix, SECURITY_ATTRIBUTES* security, bool all = true);
    // Slots held by other launches, looked at up to the first slot that no
    // process had open. Only under the guard: a look holds each free slot
    // for a moment.
    int OthersHolding();
    // Takes the first free slot; false when every one is held, or a slot
    // before a free one could not be opened (OpenError).
    bool Take();
    void Release();
    int Own() const { return own_; }
    void SetOwnForLooking(int own) { own_ = own; }  // a look from another thread of the same launch
    DWORD OpenError() const { return error_; }

private:
    // Opens the slot when first needed; created says whether this made it.
    HANDLE Slot(int n, bool* created = nullptr);

    std::string prefix_;
    SECURITY_ATTRIBUTES* security_ = nullptr;
    std::vector<UniqueHandle> slots_;
    DWORD error_ = 0;
    int own_ = -1;
};

// The name part that tells launches of one Access from another: the
// upper-cased program path and the generation, hashed.
std::string AccessIdentity(const std::string& exePath, int generation);

