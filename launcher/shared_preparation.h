// Launches on one machine, in every Windows session, share one preparation
// of the registry: what the launcher captures and prepares is machine-wide,
// and launches at the same time choose the same Access.
//
// Who does what is the launch's role (launch_role.h): a first launch (no
// other launch running) captures the machine's values and writes them to
// the machine journal; a sharer (launches of the same Access run) takes the
// saved values from the journal and starts its Access at once; a launch for
// another Access waits, bounded, for the running ones to finish, and then
// goes on as one of these. The saved values are put back once, by the last
// launch to finish with them (its window search and its wait), whichever
// process that is; a launch that keeps them and sees only launches without
// them left waits, bounded, for those before it puts them back, and
// otherwise leaves them in the journal, where the next launch that finds no
// launch running puts them back. What a launch changes for its own user
// (the 2007 language values, the 2003 macro level, what a launch of 2013 or
// later writes) is saved by the first launch of that user and put back by
// its last. Who runs is seen through named objects (shared_objects.h).
//
// A launch that cannot take part goes on alone: objects that cannot be
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
// that cannot take them (another standard user saved them), a guest, never
// puts back anything of theirs: it captures what it finds (their preparation, or the
// machine's values when the launches it counts are not real) and puts that
// back at its end; the saving user's launch, which waits for it, keeps the
// values and puts them back last.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "launcher/context.h"
#include "launcher/launch_role.h"
#include "launcher/shared_objects.h"
#include "registry/journal.h"
#include "registry/snapshot.h"

class SharedPreparation {
public:
    SharedPreparation();
    SharedPreparation(const SharedPreparation&) = delete;
    SharedPreparation& operator=(const SharedPreparation&) = delete;
    ~SharedPreparation();

    // Looks under the guard until its role is decided (launch_role.h), puts
    // back what an unfinished launch left when it is the first, makes the
    // settings every generation needs, and saves what its role saves.
    // waitMs bounds the wait for launches of another Access.
    void Join(LauncherContext& ctx, DWORD waitMs);
    // Around a wait for Access without limit: a launch waiting for this one
    // stops waiting.
    void WaitingWithoutLimit(bool waiting);
    // After the window search and the wait: puts back what its role puts
    // back, and lets go of everything.
    void Leave(const LauncherContext& ctx);

private:
    // Values a launch saved and puts back, the machine's or its user's: the
    // journal and the values.
    struct SavedScope {
        std::string journal;
        // The machine's: the object library's registration may stay, and
        // the put-back is logged.
        bool machine = false;
        // Other launches add their values to the journal, which the last
        // one puts back (the user's); else the values in memory go back.
        bool gatheredInJournal = false;
        std::vector<RegistryEntry> values;
        // Its own capture, made beside another user's journal.
        bool besideForeignJournal = false;
    };

    bool LockGuard();
    void UnlockGuard();
    // Lets go of every slot this launch holds.
    void LetGo();
    LaunchSlots& Opened(LaunchSlots& slots, const std::string& prefix);
    JoinSight Look(bool waiting, bool boundPassed);
    RunningValues ReadRunningValues();
    bool TakeSlots();
    void Save(LauncherContext& ctx);
    void SaveUserValues(const LauncherContext& ctx);
    void PutBackLeftovers(const SavedScope& scope);
    LeaveSight LookAtLeave(bool waiting, bool boundPassed);
    void PutBack(const SavedScope& scope, const LauncherContext& ctx);

    SharedObjectSecurity security_;
    bool shared_ = false;  // the named objects are there
    DWORD openError_ = 0;  // why they are not
    Role role_ = Role::Lone;
    bool joined_ = false;
    bool guardHeld_ = false;
    bool putBackLogged_ = false;
    UniqueHandle guard_;
    LaunchSlots launches_, keepers_, sameAccess_, unlimited_, user_;
    std::string userSid_;
    SavedScope machineScope_, userScope_;
    std::vector<RegistryEntry> running_;  // what the running launches saved, as last read
};

// At the end of the Windows session, from the host window: puts back the
// saved values from the journals when no other launch still uses them.
void PutBackAtSessionEnd();
