#include "launcher/shared_preparation.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <unordered_set>
#include <utility>

#include "access/generations.h"
#include "access/preparation.h"
#include "common/log.h"
#include "launcher/sequence_rules.h"
#include "registry/journal.h"
#include "registry/key_list.h"
#include "registry/registry_access.h"
#include "registry/user_identity.h"

namespace {

// The pause between two looks of a launch that waits for others.
constexpr DWORD kLookMs = 100;
constexpr const char* kPutBackLine = "Put back the registry values of an unfinished launch";
constexpr const char* kCurVerKey = "Access.Application\\CurVer";

// What the host window needs at the end of the session, while the worker
// may be anywhere: the slots this launch holds, and whether it holds the
// saved machine values. The SID is written before the slots are set.
std::atomic<int> g_ownLaunchSlot{-1};
std::atomic<int> g_ownUserSlot{-1};
std::atomic<bool> g_haveMachineValues{false};
std::string g_userSid;

// The entries with something to put back: a value, or the absence of one
// that the launch writes for its user.
std::vector<RegistryEntry> Present(std::vector<RegistryEntry> entries) {
    std::erase_if(entries, [](const RegistryEntry& entry) { return !Recorded(entry); });
    return entries;
}

std::vector<RegistryEntry> CaptureMachineValues() {
    Log("Saving default registry settings");
    RegistryKeyList list;
    BuildCaptureList(list);
    CaptureEntries(list);
    return std::move(list.entries);
}

// The values of the user's own that a launch of this generation changes, as
// they are now: the 2007 language values, the 2003 macro level (2 when
// there is none, as the level is always written back), and what a launch
// of 2013 or later writes for its user (removed again when it was missing).
std::vector<RegistryEntry> CaptureUserValues(const LauncherContext& ctx) {
    RegistryKeyList list;
    if (ctx.nAccessVersion == 2007) AddLanguageEntries2007(list);
    if (const AccessGeneration* generation = GenerationOf(ctx.nAccessVersion); generation && generation->forUserAlone) {
        AddUserPreparationEntries(list, generation->officeVersion, ctx.strTrustedLocationKey);
    }
    CaptureEntries(list);
    if (ctx.nAccessVersion == 2003) {
        RegistryEntry level = MacroSecurityLevelEntry(2);  // kept when there is none
        ReadRegDword(HKEY_CURRENT_USER, level.keyPath, level.valueName, level.dwordData);
        list.entries.push_back(std::move(level));
    }
    return list.entries;
}

// The present values of a journal this launch may take values from; none
// when there is no such journal.
std::vector<RegistryEntry> SavedValues(const std::string& journal) {
    std::vector<RegistryEntry> saved = JournalEntries();
    if (ReadJournal(journal, saved) != JournalRead::Read) return {};
    return Present(std::move(saved));
}

// Adds the values the journal's do not name; whether there were any.
bool AddUnnamed(std::vector<RegistryEntry>& saved, std::vector<RegistryEntry> captured) {
    std::unordered_set<std::string> named;
    for (const RegistryEntry& entry : saved) {
        if (Recorded(entry)) named.insert(EntryLookupPath(entry));
    }
    bool added = false;
    for (RegistryEntry& value : captured) {
        if (!Recorded(value) || !named.insert(EntryLookupPath(value)).second) continue;
        saved.push_back(std::move(value));
        added = true;
    }
    return added;
}

// The values a launch puts back, saved before anything is prepared: the
// capture, which becomes the journal when none is there yet; otherwise the
// journal's values when this launch may take them (they are from before
// the running launches) with the capture's for values it does not name. A
// lone launch and a first launch save alike.
std::vector<RegistryEntry> SaveValues(std::vector<RegistryEntry> captured, const std::string& journal,
                                      bool* foreign = nullptr) {
    if (std::none_of(captured.begin(), captured.end(), Recorded) || WriteJournal(captured, journal, false)) {
        return captured;
    }
    std::vector<RegistryEntry> saved = JournalEntries();
    const JournalRead read = ReadJournal(journal, saved);
    if (foreign) *foreign = read == JournalRead::Foreign;
    if (read != JournalRead::Read) {
        Log(read == JournalRead::Foreign ? "Another user's journal is in the place of this launch's: the values "
                                           "saved are kept in memory only: "
                                         : "Could not write the journal of the saved registry keys: ",
            journal);
        return captured;
    }
    AddUnnamed(saved, std::move(captured));
    return saved;
}

// The CurVer of the saved values, which decides whether the object library
// stays registered; the launch's own reading when the saved form is not text.
std::string SavedCurVer(const std::vector<RegistryEntry>& values, const LauncherContext& ctx) {
    for (const RegistryEntry& entry : values) {
        if (entry.root != RegRoot::ClassesRoot || entry.keyPath != kCurVerKey || !entry.valueName.empty()) continue;
        if (!entry.present) return {};
        return entry.valueType == kTypeString ? entry.stringData : ctx.strOrigCurVer;
    }
    return ctx.strOrigCurVer;
}

// When this preparation registered the object library where an older one
// was, the registration stays: its values are not put back.
void KeepObjectLibraryWhereWritten(RegistryKeyList& list, const LauncherContext& ctx) {
    if (!KeepWrittenObjectLibrary(SavedCurVer(list.entries, ctx), ctx.strNewCurVer)) return;
    Log("Not setting back object library");
    for (const char* key : {"Access.Application\\CurVer", "Access.Application\\CLSID",
                            "TypeLib\\{4AFFC9A0-5F99-101B-AF4E-00AA003F0F07}\\9.0",
                            "TypeLib\\{4AFFC9A0-5F99-101B-AF4E-00AA003F0F07}\\9.0\\0\\win32"}) {
        DropEntry(list, key);
    }
}

// A set that a look met a slot of that could not be opened: the launch
// takes no part, and says why.
bool MarkUnopened(const LaunchSlots& slots, JoinSight& sight) {
    if (!slots.OpenError()) return false;
    sight.objectsOpened = false;
    sight.openError = slots.OpenError();
    return true;
}

}  // namespace

LaunchSlots& SharedPreparation::Opened(LaunchSlots& slots, const std::string& prefix) {
    slots.Open(prefix, security_.get(), false);
    return slots;
}

SharedPreparation::SharedPreparation()
    : userSid_(CurrentUserSidText()),
      machineScope_{MachineJournalPath(), true, false, {}, false},
      userScope_{UserJournalPath(userSid_), false, true, {}, false} {
    DWORD error = 0;
    guard_.reset(CreateMutexA(security_.get(), FALSE, kGuardName));
    if (!guard_) error = GetLastError();
    shared_ = guard_ && !userSid_.empty();
    if (!shared_) openError_ = error;
    // Each set is opened as far as it is needed, under the guard: a look
    // opens a set up to the first slot no process had open.
    Opened(launches_, kLaunchPrefix);
    Opened(user_, kUserPrefix + userSid_ + ".");
}

SharedPreparation::~SharedPreparation() {
    LetGo();
    UnlockGuard();
}

void SharedPreparation::LetGo() {
    g_ownLaunchSlot = -1;
    g_ownUserSlot = -1;
    for (LaunchSlots* slots : {&launches_, &keepers_, &sameAccess_, &unlimited_, &user_}) slots->Release();
}

bool SharedPreparation::LockGuard() {
    if (!guardHeld_) guardHeld_ = Owned(WaitForSingleObject(guard_.get(), kGuardWaitMs));
    return guardHeld_;
}

void SharedPreparation::UnlockGuard() {
    if (guardHeld_) ReleaseMutex(guard_.get());
    guardHeld_ = false;
}

void SharedPreparation::Join(LauncherContext& ctx, DWORD waitMs) {
    Opened(sameAccess_, kSameAccessPrefix + AccessIdentity(ctx.strAccessExePath, ctx.nAccessVersion) + ".");
    JoinDecision decision;
    bool waiting = false;
    for (const DWORD start = GetTickCount();; waiting = true, UnlockGuard(), Sleep(kLookMs)) {
        decision = DecideRole(Look(waiting, GetTickCount() - start >= waitMs));
        for (const std::string& line : decision.lines) Log(line);
        if (!decision.wait) break;
    }
    role_ = decision.role;
    if (role_ != Role::Lone && !TakeSlots()) {
        role_ = Role::Lone;
        Log(openError_ ? LoneLine(LoneReason::ObjectsNotOpened, openError_) : LoneLine(LoneReason::NoFreeSlot));
    }
    if (role_ == Role::Lone) {
        UnlockGuard();
        LetGo();
    }
    Save(ctx);
    if (KeepsSavedValues(role_)) Opened(keepers_, kKeeperPrefix).Take();
    if (role_ != Role::Lone) {
        g_userSid = userSid_;
        g_haveMachineValues = KeepsSavedValues(role_);
        g_ownUserSlot = user_.Own();
        g_ownLaunchSlot = launches_.Own();
    }
    joined_ = true;
    UnlockGuard();
}

// What the launch sees under the guard, looking at a set only where the
// decision needs it.
JoinSight SharedPreparation::Look(bool waiting, bool boundPassed) {
    JoinSight sight;
    sight.waiting = waiting;
    sight.boundPassed = boundPassed;
    sight.machineJournal = machineScope_.journal;
    sight.objectsOpened = shared_;
    sight.openError = openError_;
    if (!shared_ || !(sight.guardHad = LockGuard())) return sight;
    sight.others = launches_.OthersHolding();
    if (MarkUnopened(launches_, sight)) return sight;
    if (sight.others == 0) return sight;
    sight.everySlotHeld = sight.others >= kLaunchSlotCount;
    sight.othersForThisAccess = sameAccess_.OthersHolding();
    if (MarkUnopened(sameAccess_, sight)) return sight;
    if (waiting || sight.othersForThisAccess != sight.others) {
        sight.othersWaitWithoutLimit = Opened(unlimited_, kUnlimitedPrefix).OthersHolding() > 0;
    }
    if (!waiting || sight.othersWaitWithoutLimit || boundPassed) sight.values = ReadRunningValues();
    return sight;
}

// The values saved by the launches that run: the journal, when it is one
// this launch may take values from; when it is another user's, a keeper of
// that user's launches holds them and waits for this one.
RunningValues SharedPreparation::ReadRunningValues() {
    running_ = JournalEntries();
    const JournalRead read = ReadJournal(machineScope_.journal, running_);
    if (read == JournalRead::Read) return RunningValues::Journal;
    if (read == JournalRead::Foreign && Opened(keepers_, kKeeperPrefix).OthersHolding() > 0) {
        return RunningValues::AnotherUsers;
    }
    return RunningValues::None;
}

// The set a slot of which could not be opened names the error.
bool SharedPreparation::TakeSlots() {
    for (LaunchSlots* slots : {&launches_, &sameAccess_, &user_}) {
        if (slots->Take()) continue;
        openError_ = slots->OpenError();
        return false;
    }
    return true;
}

// The head preparation runs once per launch, after what an unfinished
// launch left is put back and before the machine's values are captured,
// except by a guest, whose capture is what it finds.
void SharedPreparation::Save(LauncherContext& ctx) {
    if (role_ == Role::First) PutBackLeftovers(machineScope_);
    machineScope_.besideForeignJournal = role_ == Role::Guest;
    if (role_ == Role::Guest) machineScope_.values = CaptureMachineValues();
    PrepareAccessRegistryHead(ctx);
    if (role_ == Role::Sharer) machineScope_.values = std::move(running_);
    if (role_ == Role::Lone || role_ == Role::First) {
        machineScope_.values =
            SaveValues(CaptureMachineValues(), machineScope_.journal, &machineScope_.besideForeignJournal);
    }
    SaveUserValues(ctx);
}

// The user's own values: saved by the first launch of the user, each launch
// adding what its generation changes and no launch of the user saved yet.
// Every launch of the user holds a launch slot too: with no other launch
// running there is no other launch of the user either.
void SharedPreparation::SaveUserValues(const LauncherContext& ctx) {
    const bool firstOfUser = role_ == Role::First || (role_ != Role::Lone && user_.OthersHolding() == 0);
    if (firstOfUser) PutBackLeftovers(userScope_);
    if (firstOfUser || role_ == Role::Lone) {
        userScope_.values = SaveValues(CaptureUserValues(ctx), userScope_.journal);
        return;
    }
    userScope_.values = SavedValues(userScope_.journal);
    if (AddUnnamed(userScope_.values, CaptureUserValues(ctx)) && !WriteJournal(userScope_.values, userScope_.journal)) {
        Log("Could not write the journal of the saved registry keys: ", userScope_.journal);
    }
}

// What an unfinished launch left goes back before anything is saved; its
// journal is deleted then, whether it could be read or not.
void SharedPreparation::PutBackLeftovers(const SavedScope& scope) {
    if (PutBackJournal(scope.journal) && !std::exchange(putBackLogged_, true)) Log(kPutBackLine);
    DeleteJournal(scope.journal);
}

void SharedPreparation::WaitingWithoutLimit(bool waiting) {
    if (role_ == Role::Lone || !joined_) return;
    waiting ? (void)Opened(unlimited_, kUnlimitedPrefix).Take() : unlimited_.Release();
}

void SharedPreparation::Leave(const LauncherContext& ctx) {
    if (!joined_) return;
    LeaveStep step;
    bool waiting = false;
    for (const DWORD start = GetTickCount();; waiting = true, UnlockGuard(), Sleep(kLookMs)) {
        step = DecideLeave(LookAtLeave(waiting, GetTickCount() - start >= kRegistryLockWaitMs));
        if (!step.before.empty()) Log(step.before);
        if (!step.wait) break;
    }
    if (step.putBackMachine) PutBack(machineScope_, ctx);
    if (!step.after.empty()) Log(step.after);
    if (step.putBackUser) PutBack(userScope_, ctx);
    LetGo();
    UnlockGuard();
    joined_ = false;
}

LeaveSight SharedPreparation::LookAtLeave(bool waiting, bool boundPassed) {
    LeaveSight sight;
    sight.role = role_;
    sight.waiting = waiting;
    sight.boundPassed = boundPassed;
    sight.machineJournal = machineScope_.journal;
    if (role_ == Role::Lone || !(sight.guardHad = LockGuard())) return sight;
    sight.others = launches_.OthersHolding();
    if (sight.others == 0) return sight;
    sight.othersOfUser = user_.OthersHolding();
    if (role_ != Role::Guest) sight.othersKeepValues = Opened(keepers_, kKeeperPrefix).OthersHolding() > 0;
    return sight;
}

// One put-back for either scope. A launch that takes part takes the user's
// values from the journal, where every launch of the user added its own,
// and deletes the journal it put back.
void SharedPreparation::PutBack(const SavedScope& scope, const LauncherContext& ctx) {
    std::vector<RegistryEntry> unused;
    if (scope.besideForeignJournal && ReadJournal(scope.journal, unused) != JournalRead::Foreign) {
        // What it captured may be their preparation, and they have put the
        // machine's values back since.
        Log("Another user's Tarnwick has put the registry back: this launch does not restore registry keys");
        return;
    }
    RegistryKeyList list;
    list.entries = scope.values;
    if (role_ != Role::Lone && scope.gatheredInJournal) {
        if (auto saved = SavedValues(scope.journal); !saved.empty()) list.entries = std::move(saved);
    }
    if (scope.machine) {
        KeepObjectLibraryWhereWritten(list, ctx);
        Log("Restoring registry keys");
    }
    RestoreEntries(list);
    if (role_ != Role::Lone) DeleteJournal(scope.journal);
}

void PutBackAtSessionEnd() {
    const int ownLaunch = g_ownLaunchSlot;
    if (ownLaunch < 0) return;
    SharedObjectSecurity security;
    UniqueHandle guard(CreateMutexA(security.get(), FALSE, kGuardName));
    if (!guard || !Owned(WaitForSingleObject(guard.get(), kGuardWaitMs))) return;
    LaunchSlots launches, user;
    // The worker thread holds this launch's slots: a look from here would
    // count them as another launch's.
    launches.SetOwnForLooking(ownLaunch);
    user.SetOwnForLooking(g_ownUserSlot);
    if (launches.Open(kLaunchPrefix, security.get()) && launches.OthersHolding() == 0 && g_haveMachineValues) {
        PutBackJournal(MachineJournalPath());
    }
    if (user.Open(kUserPrefix + g_userSid + ".", security.get()) && user.OthersHolding() == 0) {
        PutBackJournal(UserJournalPath(g_userSid));
    }
    ReleaseMutex(guard.get());
}
