// The part a launch takes in the shared preparation of the registry, and
// what it does when it leaves: decided from what the launch saw under the
// guard, with no Windows API, so that every case is a row of a table.
//
// Roles:
//   Lone    takes no part (the reason is logged): saves what it will change
//           as a first launch does, puts back what it saved, deletes no
//           journal;
//   First   no other launch runs: puts back what an unfinished launch left,
//           saves the machine's values to the journal and keeps them;
//   Sharer  launches run whose saved values it may take: keeps them too,
//           and the last launch to finish puts them back;
//   Guest   launches run whose values another user's launch keeps: it puts
//           back what it captured itself, at its own end.
// A launch for another Access than the running ones first waits, bounded,
// for them to finish, and then ends as one of these.
#pragma once

#include <string>
#include <vector>

// How long a launch for another Access waits for the running launches to
// finish before it goes on with the values they saved, and a launch that
// keeps the saved values waits for launches that cannot put them back.
constexpr unsigned long kRegistryLockWaitMs = 90000;
// Every take of the guard: a launch holds it only for its looks and its
// capture, well under a second, so that a launch that does not have it
// within this bound is kept from it by something that is no launch's look.
constexpr unsigned long kGuardWaitMs = 5000;
// Launches that can take part at the same time, per set.
constexpr int kLaunchSlotCount = 64;

enum class Role { Lone, First, Sharer, Guest };
// Whether a launch of the role keeps the saved machine values with the
// others that keep them (and holds a keeper slot to say so).
inline bool KeepsSavedValues(Role role) { return role == Role::First || role == Role::Sharer; }
// Why a launch takes no part.
enum class LoneReason { None, ObjectsNotOpened, GuardNotHad, NoFreeSlot, NoSavedValues };

// The values that the running launches saved, as this launch finds them.
enum class RunningValues {
    None,             // no journal it may take, nor a launch of another user keeping one
    Journal,          // a journal it may take values from
    AnotherUsers      // another user's journal, which a launch of that user keeps
};

// What a launch sees under the guard before it takes part.
struct JoinSight {
    bool objectsOpened = true;
    unsigned long openError = 0;  // the Windows error when they were not
    bool guardHad = true;
    int others = 0;                // other launches taking part
    int othersForThisAccess = 0;   // of them, those that prepared the same Access
    bool everySlotHeld = false;
    RunningValues values = RunningValues::None;
    bool waiting = false;          // it already waits for the launches of another Access
    bool othersWaitWithoutLimit = false;  // a launch waits for its Access without limit
    bool boundPassed = false;      // it has waited its bound
    std::string machineJournal;    // named in what it logs
};

struct JoinDecision {
    Role role = Role::Lone;
    LoneReason reason = LoneReason::None;
    bool wait = false;               // look again after a pause, the role still open
    std::vector<std::string> lines;  // what the launch logs, in order
};
JoinDecision DecideRole(const JoinSight& sight);

// The line of a lone launch; openError for ObjectsNotOpened.
std::string LoneLine(LoneReason reason, unsigned long openError = 0);

// What a launch sees when it leaves, after its Access (under the guard).
struct LeaveSight {
    Role role = Role::First;
    bool guardHad = true;
    int others = 0;                 // other launches taking part
    bool othersKeepValues = false;  // another launch keeps the saved machine values
    int othersOfUser = 0;           // other launches of this launch's user
    bool boundPassed = false;       // it has waited its bound for the others
    bool waiting = false;           // it already waits for them
    std::string machineJournal;
};

struct LeaveStep {
    bool wait = false;             // look again after a pause
    bool putBackMachine = false;   // the machine's values it saved or captured
    bool putBackUser = false;      // the user's own values
    std::string before;            // logged before anything is put back
    std::string after;             // logged after
};
LeaveStep DecideLeave(const LeaveSight& sight);
