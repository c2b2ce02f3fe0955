// Launches of one Windows session take turns with the registry. One launch
// at a time holds the lock from before its capture to after its restore, so
// that no launch saves another one's preparation as the machine's values.
// A launch that cannot have the lock in time (the holder waits for its
// Access without limit, or has not put the registry back within the wait)
// goes on without saving or restoring: the holder puts back every value
// from before both launches. Such a launch prepares and starts Access only
// while the holder is between its capture and its restore, and the holder
// restores only once that Access has been started and watched for its main
// window.
#pragma once

#include <windows.h>

#include "common/handles.h"

// How long a launch waits for the lock before it goes on without it.
constexpr DWORD kRegistryLockWaitMs = 90000;

class RegistryLock {
public:
    // Takes the lock, waiting at most waitMs, and less when the holder says
    // that it waits for its Access without limit; without the lock, waits for
    // its turn to prepare. Logs what it waits for and what it decided.
    explicit RegistryLock(DWORD waitMs);
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
    ~RegistryLock() { Release(); }

    // Whether this launch saves and restores the registry.
    bool Held() const { return held_; }
    // Whether the lock came at once or from a holder that ended without
    // giving it back: no live launch owns a journal found on disk.
    bool NoOtherLaunchRunning() const { return noOtherLaunch_; }

    // Holder, after the capture and its journal: launches without the lock
    // may prepare from now on.
    void Saved();
    // Holder, around a wait for its Access without limit: a launch waiting
    // for the lock stops waiting.
    void WaitingWithoutLimit(bool waiting);
    // Without the lock, once Access has been started and watched for its
    // main window: the holder may restore.
    void Started();
    // Holder, before its restore: waits until no launch without the lock is
    // between its preparation and its Access's main window.
    void TakeTurnToRestore();
    // Gives back everything held; the holder first says it has restored.
    void Release();

private:
    void TakeLock(bool noOtherLaunch);

    UniqueHandle lock_;        // held from before the capture to after the restore
    UniqueHandle turn_;        // held while the registry is saved, prepared without the lock, or restored
    UniqueHandle saved_;       // set while the holder is between its capture and its restore
    UniqueHandle waitingFree_; // set while the holder waits for its Access without limit
    bool held_ = false;
    bool ownsLock_ = false;
    bool ownsTurn_ = false;
    bool noOtherLaunch_ = false;
};
