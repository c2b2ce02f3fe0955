// Launches on one machine, in every Windows session, share one preparation
// of the registry: what the launcher captures and prepares is machine-wide,
// and launches at the same time choose the same Access.
//
// Who does what. The first launch (no other launch running) captures the
// machine's values and writes them to the machine journal. A launch that
// finds launches running that all prepared the same Access (same program,
// same generation) shares their preparation: it neither waits nor captures,
// takes the saved values from the journal and starts its Access at once. A
// launch for another Access waits, bounded, for the running ones to finish,
// and then goes on with the values they saved. The saved values are put
// back once, by the last launch to finish with them (its window search and
// its wait), whichever process that is; a launch that holds them and sees
// only launches without them left waits, bounded, for those before it puts
// them back, and otherwise leaves them in the journal, where the next
// launch that finds no launch running puts them back. What a launch changes
// for its own user (the 2007 language values, the 2003 macro level) is
// saved by the first launch of that user and put back by its last.
//
// Who runs is kept in named mutexes in Global\, one set per role, of which
// each launch holds one while it takes part: a launch that ends, even by
// force, lets go of them (an abandoned mutex is a free one). Every look at
// the sets is made under one guard mutex. The objects carry a security
// descriptor that lets every interactive user wait on and signal them, so
// that launches of different users, standard or elevated, see each other.
//
// Any such user can also hold them, or create their names first, and a
// held mutex is no proof of a launch. So no wait on them is without bound,
// and a launch that cannot take part goes on alone: objects that cannot be
// opened, the guard not had within its bound, no free slot, or launches
// counted that saved nothing (no journal, no keeper). A lone launch saves
// as a first launch does, from the journals when it may take them (they
// hold the values from before the running launches) or by its own capture,
// which becomes the journal when there is none, so that lone launches that
// overlap put back the values from before the first of them. It puts back
// what it saved and deletes no journal.
//
// Where the saved values live, and why no user can abuse them: in the
// journals (registry/journal.h), files that only their user, SYSTEM and the
// administrators may change, and that a launch takes values from only when
// the file belongs to its own user, the administrators or SYSTEM. A launch
// that cannot take them (another standard user saved them) never puts back
// anything of theirs: it captures what it finds (their preparation, or the
// machine's values when the launches it counts are not real) and puts that
// back at its end; the saving user's launch, which waits for it, keeps the
// values and puts them back last.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/handles.h"
#include "launcher/context.h"
#include "registry/journal.h"
#include "registry/snapshot.h"

// How long a launch for another Access waits for the running launches to
// finish before it goes on with the values they saved, and a launch that
// holds the saved values waits for launches that cannot put them back.
constexpr DWORD kRegistryLockWaitMs = 90000;
// Every take of the guard: a launch holds it only for its looks and its
// capture, well under a second, so that a launch that does not have it
// within this bound is kept from it by something that is no launch's look.
constexpr DWORD kGuardWaitMs = 5000;
// Launches that can take part at the same time, per set.
constexpr int kLaunchSlotCount = 64;

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
class LaunchSlots {
public:
    // Whether every mutex of the set could be created or opened (or was
    // already); the Windows error of the first that could not.
    bool Open(const std::string& prefix, SECURITY_ATTRIBUTES* security, DWORD& error);
    // Slots held by other launches. Only under the guard: a look holds each
    // free slot for a moment.
    int OthersHolding() const;
    // Takes a free slot; false when every one is held.
    bool Take();
    void Release();
    int Own() const { return own_; }
    void SetOwnForLooking(int own) { own_ = own; }  // a look from another thread of the same launch

private:
    std::vector<UniqueHandle> slots_;
    int own_ = -1;
};

// The name part that tells launches of one Access from another: the
// upper-cased program path and the generation, hashed.
std::string AccessIdentity(const std::string& exePath, int generation);

class SharedPreparation {
public:
    SharedPreparation();
    SharedPreparation(const SharedPreparation&) = delete;
    SharedPreparation& operator=(const SharedPreparation&) = delete;
    ~SharedPreparation();

    // Puts back what an unfinished launch left (when no launch runs), makes
    // the settings every generation needs, and captures, shares or waits as
    // above. waitMs bounds the wait for launches of another Access.
    void Join(LauncherContext& ctx, DWORD waitMs);
    // Around a wait for Access without limit: a launch waiting for this one
    // stops waiting.
    void WaitingWithoutLimit(bool waiting);
    // After the window search and the wait: puts back the saved values when
    // this launch is the last to use them, and lets go of everything.
    void Leave(const LauncherContext& ctx);

private:
    bool LockGuard();
    void UnlockGuard();
    // Lets go of every slot this launch holds.
    void LetGo();
    void GoAlone(LauncherContext& ctx, const std::string& why);
    void SaveMachineValues();
    void JoinFirst(LauncherContext& ctx);
    bool ReadRunningValues(std::vector<RegistryEntry>& saved, JournalRead& read);
    void JoinRunning(LauncherContext& ctx, bool sameAccess, std::vector<RegistryEntry> saved, JournalRead read);
    void JoinUser(const LauncherContext& ctx, bool othersRunning);
    LaunchSlots& Opened(LaunchSlots& slots, const std::string& prefix);
    void RestoreMachineValues(const LauncherContext& ctx);
    void RestoreUserValues();

    SharedObjectSecurity security_;
    bool shared_ = false;  // the named objects are there
    DWORD openError_ = 0;  // why they are not
    bool alone_ = false;   // this launch does not take part
    bool guardHeld_ = false;
    bool joined_ = false;
    bool putBackLogged_ = false;
    UniqueHandle guard_;
    LaunchSlots launches_, keepers_, sameAccess_, unlimited_, user_;
    std::string userSid_;
    std::string machineJournal_, userJournal_;
    bool haveMachineValues_ = false;  // this launch keeps the saved machine values (else its own capture)
    bool besideForeignJournal_ = false;  // its own capture, made while another user's journal was there
    std::vector<RegistryEntry> machineValues_;
    std::vector<RegistryEntry> userValues_;
};

// At the end of the Windows session, from the host window: puts back the
// saved values from the journals when no other launch still uses them.
void PutBackAtSessionEnd();
