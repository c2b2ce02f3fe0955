// What a launch sees under the guard, against the part it takes and what it
// logs; and what it sees when it leaves, against what it puts back.
#include "launcher/launch_role.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kJournal = "C:\\ProgramData\\Tarnwick\\~ZQJournal.dat";
const std::string kWaiting = "Waiting for another Tarnwick to put the registry back";
const std::string kSharing = "Another Tarnwick has prepared the registry for this Access: sharing its preparation";
const std::string kGuest = std::string("The registry values saved by another user's Tarnwick are put back by that "
                                       "user's launches: ") + kJournal;
const std::string kUnlimited = "Another Tarnwick waits for its Access without limit: going on with the values it saved";
const std::string kLate = "Another Tarnwick has not put the registry back in time: going on with the values it saved";
const std::string kAlone = ": saving and restoring registry keys as a lone launch";
const std::string kNoValues = "Other Tarnwick launches seem to run but no values saved by them can be found" + kAlone;

JoinSight Sees(int others, int forThisAccess, RunningValues values) {
    JoinSight sight;
    sight.others = others;
    sight.othersForThisAccess = forThisAccess;
    sight.values = values;
    sight.machineJournal = kJournal;
    return sight;
}

template <typename Sight, typename Change>
Sight With(Sight sight, Change change) {
    change(sight);
    return sight;
}

struct RoleRow {
    const char* name;
    JoinSight sight;
    Role role;
    LoneReason reason;
    bool wait;
    std::vector<std::string> lines;
};

const auto kJournalValues = RunningValues::Journal;
const auto kOthersValues = RunningValues::AnotherUsers;
const auto kNoJournal = RunningValues::None;

const RoleRow kRoleRows[] = {
    {"NoOtherLaunch", Sees(0, 0, kNoJournal), Role::First, LoneReason::None, false, {}},
    {"NoOtherLaunchBesideAJournal", Sees(0, 0, kJournalValues), Role::First, LoneReason::None, false, {}},
    {"SameAccessRuns", Sees(2, 2, kJournalValues), Role::Sharer, LoneReason::None, false, {kSharing}},
    {"SameAccessOfAnotherUserRuns", Sees(1, 1, kOthersValues), Role::Guest, LoneReason::None, false,
     {kSharing, kGuest}},
    {"AnotherAccessRuns", Sees(1, 0, kJournalValues), Role::Lone, LoneReason::None, true, {kWaiting}},
    {"StillWaiting", With(Sees(1, 0, kNoJournal), [](JoinSight& s) { s.waiting = true; }), Role::Lone,
     LoneReason::None, true, {}},
    {"WaitedUntilTheOthersEnded", With(Sees(0, 0, kNoJournal), [](JoinSight& s) { s.waiting = true; }), Role::First,
     LoneReason::None, false, {}},
    {"AnotherAccessWaitsWithoutLimit",
     With(Sees(1, 0, kJournalValues), [](JoinSight& s) { s.othersWaitWithoutLimit = true; }), Role::Sharer,
     LoneReason::None, false, {kWaiting, kUnlimited}},
    {"WaitedItsBound", With(Sees(2, 1, kOthersValues), [](JoinSight& s) { s.waiting = s.boundPassed = true; }),
     Role::Guest, LoneReason::None, false, {kLate, kGuest}},
    {"WaitedItsBoundAndOnlyTheSameAccessIsLeft",
     With(Sees(1, 1, kJournalValues), [](JoinSight& s) { s.waiting = s.boundPassed = true; }), Role::Sharer,
     LoneReason::None, false, {kLate, kSharing}},
    {"WaitedItsBoundAndNoValuesAreThere",
     With(Sees(1, 0, kNoJournal), [](JoinSight& s) { s.waiting = s.boundPassed = true; }), Role::Lone,
     LoneReason::NoSavedValues, false, {kLate, kNoValues}},
    {"LaunchesCountedWithoutSavedValues", Sees(1, 1, kNoJournal), Role::Lone, LoneReason::NoSavedValues, false,
     {kNoValues}},
    {"EverySlotHeld", With(Sees(64, 64, kJournalValues), [](JoinSight& s) { s.everySlotHeld = true; }), Role::Lone,
     LoneReason::NoFreeSlot, false, {"Every slot of the Tarnwick launches is held" + kAlone}},
    {"GuardNotHad", With(Sees(0, 0, kNoJournal), [](JoinSight& s) { s.guardHad = false; }), Role::Lone,
     LoneReason::GuardNotHad, false, {"Could not take the guard of the Tarnwick launches within 5 seconds" + kAlone}},
    {"GuardNotHadWhileWaiting",
     With(Sees(1, 0, kJournalValues), [](JoinSight& s) { s.waiting = true, s.guardHad = false; }), Role::Lone,
     LoneReason::GuardNotHad, false, {"Could not take the guard of the Tarnwick launches within 5 seconds" + kAlone}},
    {"ObjectsNotOpened",
     With(Sees(0, 0, kNoJournal), [](JoinSight& s) { s.objectsOpened = false, s.openError = 5, s.guardHad = false; }),
     Role::Lone, LoneReason::ObjectsNotOpened, false,
     {"Could not open the objects that Tarnwick launches share (Windows error 5)" + kAlone}},
};

class DecidingTheRole : public ::testing::TestWithParam<RoleRow> {};

TEST_P(DecidingTheRole, FromWhatTheLaunchSees) {
    const RoleRow& row = GetParam();
    const JoinDecision decision = DecideRole(row.sight);
    EXPECT_EQ(decision.wait, row.wait);
    if (!row.wait) {
        EXPECT_EQ(decision.role, row.role);
        EXPECT_EQ(decision.reason, row.reason);
    }
    EXPECT_EQ(decision.lines, row.lines);
}

INSTANTIATE_TEST_SUITE_P(Table, DecidingTheRole, ::testing::ValuesIn(kRoleRows),
                         [](const auto& info) { return std::string(info.param.name); });

LeaveSight Leaves(Role role, int others, int othersOfUser, bool othersKeepValues) {
    LeaveSight sight;
    sight.role = role;
    sight.others = others;
    sight.othersOfUser = othersOfUser;
    sight.othersKeepValues = othersKeepValues;
    sight.machineJournal = kJournal;
    return sight;
}

struct LeaveRow {
    const char* name;
    LeaveSight sight;
    bool wait, machine, user;
    std::string before, after;
};

const std::string kOthersPutBack = "Other Tarnwick launches still use the prepared registry: the last of them puts it back";
const std::string kLeft =
    std::string(": the saved registry values are left in the journal for the next launch: ") + kJournal;

const LeaveRow kLeaveRows[] = {
    {"Lone", Leaves(Role::Lone, 3, 1, true), false, true, true, "", ""},
    {"LastFirst", Leaves(Role::First, 0, 0, false), false, true, true, "", ""},
    {"LastSharer", Leaves(Role::Sharer, 0, 0, false), false, true, true, "", ""},
    {"LastGuest", Leaves(Role::Guest, 0, 0, false), false, true, true, "", ""},
    {"SharerBesideAKeeperOfItsUser", Leaves(Role::Sharer, 1, 1, true), false, false, false, kOthersPutBack, ""},
    {"FirstBesideAKeeperOfAnotherUser", Leaves(Role::First, 2, 0, true), false, false, true, kOthersPutBack, ""},
    {"GuestBesideOthers", Leaves(Role::Guest, 1, 0, false), false, true, true, kOthersPutBack, ""},
    {"KeeperBesideLaunchesThatKeepNothing", Leaves(Role::First, 1, 0, false), true, false, false,
     "Waiting for the other Tarnwick launches to finish before restoring registry keys", ""},
    {"KeeperStillWaiting", With(Leaves(Role::Sharer, 1, 0, false), [](LeaveSight& s) { s.waiting = true; }), true,
     false, false, "", ""},
    {"KeeperWaitedItsBound",
     With(Leaves(Role::First, 1, 0, false), [](LeaveSight& s) { s.waiting = s.boundPassed = true; }), false, false,
     true, "", "Other Tarnwick launches have not finished in time" + kLeft},
    {"KeeperWaitedItsBoundBesideItsUser",
     With(Leaves(Role::First, 1, 1, false), [](LeaveSight& s) { s.waiting = s.boundPassed = true; }), false, false,
     false, "", "Other Tarnwick launches have not finished in time" + kLeft},
    {"GuardNotHad", With(Leaves(Role::First, 0, 0, false), [](LeaveSight& s) { s.guardHad = false; }), false, false,
     false, "", "Could not take the guard of the Tarnwick launches in time" + kLeft},
    {"GuestWithoutTheGuard", With(Leaves(Role::Guest, 0, 0, false), [](LeaveSight& s) { s.guardHad = false; }), false,
     true, false, "", "Could not take the guard of the Tarnwick launches in time" + kLeft},
};

class Leaving : public ::testing::TestWithParam<LeaveRow> {};

TEST_P(Leaving, FromWhatTheLaunchSees) {
    const LeaveRow& row = GetParam();
    const LeaveStep step = DecideLeave(row.sight);
    EXPECT_EQ(step.wait, row.wait);
    EXPECT_EQ(step.putBackMachine, row.machine);
    EXPECT_EQ(step.putBackUser, row.user);
    EXPECT_EQ(step.before, row.before);
    EXPECT_EQ(step.after, row.after);
}

INSTANTIATE_TEST_SUITE_P(Table, Leaving, ::testing::ValuesIn(kLeaveRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
