#include "launcher/registry_lock.h"

#include "launcher/log.h"

namespace {

constexpr const char* kLockName = "Local\\TarnwickRegistryPreparation";
constexpr const char* kTurnName = "Local\\TarnwickRegistryTurn";
constexpr const char* kSavedName = "Local\\TarnwickRegistrySaved";
constexpr const char* kWaitingName = "Local\\TarnwickWaitingWithoutLimit";
// A launch without the lock that finds a new holder that has not saved yet
// steps back for this long and looks again.
constexpr DWORD kStepBackMs = 50;

bool Owned(DWORD result) { return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED; }

}  // namespace

RegistryLock::RegistryLock(DWORD waitMs)
    : lock_(CreateMutexA(nullptr, FALSE, kLockName)),
      turn_(CreateMutexA(nullptr, FALSE, kTurnName)),
      saved_(CreateEventA(nullptr, TRUE, FALSE, kSavedName)),
      waitingFree_(CreateEventA(nullptr, TRUE, FALSE, kWaitingName)) {
    if (!lock_ || !turn_ || !saved_ || !waitingFree_) {
        // Without the named objects nothing can be coordinated: this launch
        // saves and restores as if it were alone.
        Log("Could not create the registry lock: saving and restoring registry keys as usual");
        held_ = true;
        return;
    }
    HANDLE lockOrFree[] = {lock_.get(), waitingFree_.get()};
    DWORD result = WaitForMultipleObjects(2, lockOrFree, FALSE, 0);
    const bool atOnce = result != WAIT_TIMEOUT;
    if (!atOnce) {
        Log("Waiting for another Tarnwick to put the registry back");
        result = WaitForMultipleObjects(2, lockOrFree, FALSE, waitMs);
    }
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0) {
        TakeLock(atOnce || result == WAIT_ABANDONED_0);
        return;
    }
    Log(result == WAIT_OBJECT_0 + 1
            ? "Another Tarnwick waits for its Access without limit: registry keys are neither saved nor restored by "
              "this launch"
            : "Another Tarnwick has not put the registry back in time: registry keys are neither saved nor restored "
              "by this launch");
    for (;;) {
        ownsTurn_ = Owned(WaitForSingleObject(turn_.get(), INFINITE));
        if (!ownsTurn_) {
            Log("Could not wait for the registry lock: going on without saving or restoring registry keys");
            return;
        }
        const DWORD lock = WaitForSingleObject(lock_.get(), 0);
        if (Owned(lock)) {
            // The holder has restored and gone meanwhile: this launch holds
            // the lock after all, and already has its turn.
            Log("The other Tarnwick has put the registry back: saving registry keys after all");
            ownsLock_ = true;
            held_ = true;
            noOtherLaunch_ = lock == WAIT_ABANDONED;
            ResetEvent(saved_.get());
            ResetEvent(waitingFree_.get());
            return;
        }
        // Preparing is safe only while the holder is between its capture and
        // its restore: before its capture it would save this preparation.
        if (WaitForSingleObject(saved_.get(), 0) == WAIT_OBJECT_0) return;
        ReleaseMutex(turn_.get());
        ownsTurn_ = false;
        Sleep(kStepBackMs);
    }
}

void RegistryLock::TakeLock(bool noOtherLaunch) {
    ownsLock_ = true;
    held_ = true;
    noOtherLaunch_ = noOtherLaunch;
    // A launch without the lock may still be between its preparation and
    // its Access's window (its holder ended by force): the capture waits.
    ownsTurn_ = Owned(WaitForSingleObject(turn_.get(), INFINITE));
    // Left set by a holder that ended without clearing them.
    ResetEvent(saved_.get());
    ResetEvent(waitingFree_.get());
}

void RegistryLock::Saved() {
    if (!ownsLock_) return;
    SetEvent(saved_.get());
    if (ownsTurn_) ReleaseMutex(turn_.get());
    ownsTurn_ = false;
}

void RegistryLock::WaitingWithoutLimit(bool waiting) {
    if (!ownsLock_) return;
    waiting ? SetEvent(waitingFree_.get()) : ResetEvent(waitingFree_.get());
}

void RegistryLock::Started() {
    if (held_ || !ownsTurn_) return;
    ReleaseMutex(turn_.get());
    ownsTurn_ = false;
}

void RegistryLock::TakeTurnToRestore() {
    if (!ownsLock_ || ownsTurn_) return;
    DWORD result = WaitForSingleObject(turn_.get(), 0);
    if (result == WAIT_TIMEOUT) {
        Log("Waiting for another Tarnwick to start Access");
        result = WaitForSingleObject(turn_.get(), INFINITE);
    }
    ownsTurn_ = Owned(result);
}

void RegistryLock::Release() {
    if (ownsLock_) {
        ResetEvent(saved_.get());
        ResetEvent(waitingFree_.get());
        ReleaseMutex(lock_.get());
        ownsLock_ = false;
    }
    if (ownsTurn_) ReleaseMutex(turn_.get());
    ownsTurn_ = false;
}
