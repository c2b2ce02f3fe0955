#include "launcher/shared_preparation.h"

#include <sddl.h>

#include <atomic>
#include <cstdio>
#include <utility>

#include "access/generations.h"
#include "access/preparation.h"
#include "common/ascii_text.h"
#include "common/log.h"
#include "launcher/sequence_rules.h"
#include "registry/journal.h"
#include "registry/key_list.h"
#include "registry/registry_access.h"
#include "registry/user_identity.h"

namespace {

constexpr const char* kGuardName = "Global\\TarnwickRegistryGuard";
constexpr const char* kLaunchPrefix = "Global\\TarnwickLaunch.";        // every launch that takes part
constexpr const char* kKeeperPrefix = "Global\\TarnwickKeeper.";        // launches that hold the saved values
constexpr const char* kUnlimitedPrefix = "Global\\TarnwickUnlimited.";  // launches waiting for Access without limit
const std::string kSameAccessPrefix = "Global\\TarnwickFor.";           // + identity + "."
const std::string kUserPrefix = "Global\\TarnwickUser.";                // + SID + "."
// The pause between two looks of a launch that waits for others.
constexpr DWORD kLookMs = 100;
constexpr const char* kPutBackLine = "Put back the registry values of an unfinished launch";
constexpr const char* kNoFreeSlot = "Every slot of the Tarnwick launches is held";
constexpr const char* kCurVerKey = "Access.Application\\CurVer";

// What the host window needs at the end of the session, while the worker
// may be anywhere: the slots this launch holds, and whether it holds the
// saved machine values. The SID is written before the slots are set.
std::atomic<int> g_ownLaunchSlot{-1};
std::atomic<int> g_ownUserSlot{-1};
std::atomic<bool> g_haveMachineValues{false};
std::string g_userSid;

bool Owned(DWORD result) { return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED; }

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
    bool added = false;
    for (RegistryEntry& value : Present(std::move(captured))) {
        const auto same = [&value](const RegistryEntry& e) {
            return Recorded(e) && EntryLookupPath(e) == EntryLookupPath(value);
        };
        if (std::find_if(saved.begin(), saved.end(), same) != saved.end()) continue;
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
    if (Present(captured).empty() || WriteJournal(captured, journal, false)) return captured;
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

std::string Hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

SharedObjectSecurity::SharedObjectSecurity() {
    // Waiting, signalling and nothing else would do; all rights keep the
    // descriptor short. The low mandatory label lets a launch of any
    // integrity level in; Windows before Vista knows no labels.
    for (const char* sddl : {"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;IU)S:(ML;;NW;;;LW)",
                             "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;IU)"}) {
        if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, descriptor_.receive(),
                                                                 nullptr)) {
            break;
        }
    }
    attributes_ = {sizeof attributes_, descriptor_.get(), FALSE};
}

bool LaunchSlots::Open(const std::string& prefix, SECURITY_ATTRIBUTES* security, DWORD& error) {
    if (!slots_.empty()) return true;
    for (int n = 0; n < kLaunchSlotCount; ++n) {
        UniqueHandle slot(CreateMutexA(security, FALSE, (prefix + std::to_string(n)).c_str()));
        if (!slot) {
            error = GetLastError();
            slots_.clear();
            return false;
        }
        slots_.push_back(std::move(slot));
    }
    return true;
}

int LaunchSlots::OthersHolding() const {
    int holding = 0;
    for (int n = 0; n < int(slots_.size()); ++n) {
        if (n == own_) continue;
        if (Owned(WaitForSingleObject(slots_[n].get(), 0))) {
            ReleaseMutex(slots_[n].get());
        } else {
            ++holding;
        }
    }
    return holding;
}

bool LaunchSlots::Take() {
    if (own_ >= 0) return true;
    for (int n = 0; n < int(slots_.size()); ++n) {
        if (Owned(WaitForSingleObject(slots_[n].get(), 0))) {
            own_ = n;
            return true;
        }
    }
    return false;
}

void LaunchSlots::Release() {
    if (own_ >= 0 && own_ < int(slots_.size())) ReleaseMutex(slots_[own_].get());
    own_ = -1;
}

std::string AccessIdentity(const std::string& exePath, int generation) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : ToUpperAscii(exePath) + "|" + std::to_string(generation)) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return Hex(hash);
}

LaunchSlots& SharedPreparation::Opened(LaunchSlots& slots, const std::string& prefix) {
    DWORD error = 0;
    slots.Open(prefix, security_.get(), error);
    return slots;
}

SharedPreparation::SharedPreparation()
    : userSid_(CurrentUserSidText()), machineJournal_(MachineJournalPath()), userJournal_(UserJournalPath(userSid_)) {
    DWORD error = 0;
    guard_.reset(CreateMutexA(security_.get(), FALSE, kGuardName));
    if (!guard_) error = GetLastError();
    // The sets that every launch looks at; the others are opened when first
    // needed (a set that cannot be opened then counts no other launch).
    shared_ = guard_ && !userSid_.empty() && launches_.Open(kLaunchPrefix, security_.get(), error) &&
              user_.Open(kUserPrefix + userSid_ + ".", security_.get(), error);
    if (!shared_) openError_ = error;
}

SharedPreparation::~SharedPreparation() {
    LetGo();
    UnlockGuard();
}

void SharedPreparation::LetGo() {
    g_ownLaunchSlot = -1;
    g_ownUserSlot = -1;
    for (LaunchSlots* slots : {&launches_, &keepers_, &sameAccess_, &unlimited_, &user_}) slots->Release();
    joined_ = false;
}

bool SharedPreparation::LockGuard() {
    if (!guardHeld_) guardHeld_ = Owned(WaitForSingleObject(guard_.get(), kGuardWaitMs));
    return guardHeld_;
}

void SharedPreparation::UnlockGuard() {
    if (guardHeld_) ReleaseMutex(guard_.get());
    guardHeld_ = false;
}

// A launch that cannot take part saves what it will change as a first
// launch does (from the journals when it may take them, as they hold the
// values from before the running launches), and puts back what it saved.
// It never deletes a journal: launches it cannot see may rely on it.
void SharedPreparation::GoAlone(LauncherContext& ctx, const std::string& why) {
    UnlockGuard();
    LetGo();
    Log(why, ": saving and restoring registry keys as a lone launch");
    alone_ = true;
    PrepareAccessRegistryHead(ctx);
    SaveMachineValues();
    userValues_ = SaveValues(CaptureUserValues(ctx), userJournal_);
    joined_ = true;
}

void SharedPreparation::Join(LauncherContext& ctx, DWORD waitMs) {
    DWORD error = openError_;
    if (!shared_ || !sameAccess_.Open(kSameAccessPrefix + AccessIdentity(ctx.strAccessExePath, ctx.nAccessVersion) + ".",
                                      security_.get(), error)) {
        return GoAlone(ctx, "Could not open the objects that Tarnwick launches share (Windows error " +
                                std::to_string(error) + ")");
    }
    const std::string guardNotHad = "Could not take the guard of the Tarnwick launches within " +
                                    std::to_string(kGuardWaitMs / 1000) + " seconds";
    if (!LockGuard()) return GoAlone(ctx, guardNotHad);
    int others = launches_.OthersHolding();
    if (others >= kLaunchSlotCount) return GoAlone(ctx, kNoFreeSlot);
    std::vector<RegistryEntry> saved;
    JournalRead read = JournalRead::Missing;
    // A held mutex is no proof of a launch: launches that run saved the
    // values before they prepared.
    const std::string unreal = "Other Tarnwick launches seem to run but no values saved by them can be found";
    if (others > 0 && !ReadRunningValues(saved, read)) return GoAlone(ctx, unreal);
    if (others > 0 && sameAccess_.OthersHolding() != others) {
        // Launches for another Access run: their preparation is not this
        // one's, and saving now would save theirs as the machine's own.
        Log("Waiting for another Tarnwick to put the registry back");
        for (const DWORD start = GetTickCount(); others > 0;) {
            if (Opened(unlimited_, kUnlimitedPrefix).OthersHolding() > 0) {
                Log("Another Tarnwick waits for its Access without limit: going on with the values it saved");
                break;
            }
            if (GetTickCount() - start >= waitMs) {
                Log("Another Tarnwick has not put the registry back in time: going on with the values it saved");
                break;
            }
            UnlockGuard();
            Sleep(kLookMs);
            if (!LockGuard()) return GoAlone(ctx, guardNotHad);
            others = launches_.OthersHolding();
        }
        if (others > 0 && !ReadRunningValues(saved, read)) return GoAlone(ctx, unreal);
    }
    if (!launches_.Take() || !sameAccess_.Take() || !user_.Take()) {
        return GoAlone(ctx, kNoFreeSlot);
    }
    if (others == 0) {
        JoinFirst(ctx);
    } else {
        JoinRunning(ctx, sameAccess_.OthersHolding() == others, std::move(saved), read);
    }
    JoinUser(ctx, others > 0);
    if (haveMachineValues_) Opened(keepers_, kKeeperPrefix).Take();
    g_userSid = userSid_;
    g_haveMachineValues = haveMachineValues_;
    g_ownUserSlot = user_.Own();
    g_ownLaunchSlot = launches_.Own();
    joined_ = true;
    UnlockGuard();
}

// No launch runs: what an unfinished one left goes back first, then the
// machine's values are saved, on disk before anything is prepared.
void SharedPreparation::JoinFirst(LauncherContext& ctx) {
    if (PutBackJournal(machineJournal_)) {
        DeleteJournal(machineJournal_);
        Log(kPutBackLine);
        putBackLogged_ = true;
    }
    PrepareAccessRegistryHead(ctx);
    SaveMachineValues();
}

void SharedPreparation::SaveMachineValues() {
    machineValues_ = SaveValues(CaptureMachineValues(), machineJournal_, &besideForeignJournal_);
    haveMachineValues_ = true;
}

// The values saved by the launches that run: the journal, when it is one
// this launch may take values from; when it is another user's, a keeper of
// that user's launches holds them and waits for this one. Whether either is
// there.
bool SharedPreparation::ReadRunningValues(std::vector<RegistryEntry>& saved, JournalRead& read) {
    saved = JournalEntries();
    read = ReadJournal(machineJournal_, saved);
    return read == JournalRead::Read ||
           (read == JournalRead::Foreign && Opened(keepers_, kKeeperPrefix).OthersHolding() > 0);
}

void SharedPreparation::JoinRunning(LauncherContext& ctx, bool sameAccess, std::vector<RegistryEntry> saved,
                                    JournalRead read) {
    if (sameAccess) Log("Another Tarnwick has prepared the registry for this Access: sharing its preparation");
    if (read == JournalRead::Read) {
        machineValues_ = std::move(saved);
        haveMachineValues_ = true;
    } else {
        // Another user's values are that user's launches' to put back; what
        // this launch finds is their preparation or, where the launches are
        // not real, the machine's values: either may go back at its end.
        Log("The registry values saved by another user's Tarnwick are put back by that user's launches: ",
            machineJournal_);
        machineValues_ = CaptureMachineValues();
        besideForeignJournal_ = true;
    }
    PrepareAccessRegistryHead(ctx);
}

// The user's own values: saved by the first launch of the user, each launch
// adding what its generation changes and no launch of the user saved yet.
void SharedPreparation::JoinUser(const LauncherContext& ctx, bool othersRunning) {
    // Every launch of the user holds a launch slot too: with no other launch
    // running there is no other launch of the user either.
    if (!othersRunning || user_.OthersHolding() == 0) {
        if (PutBackJournal(userJournal_) && !putBackLogged_) Log(kPutBackLine);
        DeleteJournal(userJournal_);
        userValues_ = SaveValues(CaptureUserValues(ctx), userJournal_);
        return;
    }
    userValues_ = SavedValues(userJournal_);
    if (AddUnnamed(userValues_, CaptureUserValues(ctx)) && !WriteJournal(userValues_, userJournal_)) {
        Log("Could not write the journal of the saved registry keys: ", userJournal_);
    }
}

void SharedPreparation::WaitingWithoutLimit(bool waiting) {
    if (alone_ || !joined_) return;
    waiting ? (void)Opened(unlimited_, kUnlimitedPrefix).Take() : unlimited_.Release();
}

void SharedPreparation::RestoreMachineValues(const LauncherContext& ctx) {
    std::vector<RegistryEntry> unused;
    if (besideForeignJournal_ && ReadJournal(machineJournal_, unused) != JournalRead::Foreign) {
        // What it captured may be their preparation, and they have put the
        // machine's values back since.
        Log("Another user's Tarnwick has put the registry back: this launch does not restore registry keys");
        return;
    }
    RegistryKeyList list;
    list.entries = machineValues_;
    // When this preparation registered the object library where an older
    // one was, the registration stays: its values are not put back.
    if (KeepWrittenObjectLibrary(SavedCurVer(machineValues_, ctx), ctx.strNewCurVer)) {
        Log("Not setting back object library");
        for (const char* key : {"Access.Application\\CurVer", "Access.Application\\CLSID",
                                "TypeLib\\{4AFFC9A0-5F99-101B-AF4E-00AA003F0F07}\\9.0",
                                "TypeLib\\{4AFFC9A0-5F99-101B-AF4E-00AA003F0F07}\\9.0\\0\\win32"}) {
            DropEntry(list, key);
        }
    }
    Log("Restoring registry keys");
    RestoreEntries(list);
    if (haveMachineValues_ && !alone_) DeleteJournal(machineJournal_);
}

// The last launch of the user puts back what the user's launches saved: the
// journal holds what every one of them added.
void SharedPreparation::RestoreUserValues() {
    RegistryKeyList list;
    list.entries = userValues_;
    if (!alone_) {
        if (auto saved = SavedValues(userJournal_); !saved.empty()) list.entries = std::move(saved);
        DeleteJournal(userJournal_);
    }
    RestoreEntries(list);
}

void SharedPreparation::Leave(const LauncherContext& ctx) {
    if (!joined_) return;
    if (alone_) {
        RestoreMachineValues(ctx);
        RestoreUserValues();
        return;
    }
    // What this launch cannot put back now stays in the journals, and the
    // next launch that finds no other launch running puts it back.
    bool last = false, told = false;
    std::string notPutBack;
    for (const DWORD start = GetTickCount();; UnlockGuard(), Sleep(kLookMs)) {
        if (!LockGuard()) {
            notPutBack = "Could not take the guard of the Tarnwick launches in time";
            break;
        }
        if (launches_.OthersHolding() == 0) {
            last = true;
            break;
        }
        if (!haveMachineValues_ || Opened(keepers_, kKeeperPrefix).OthersHolding() > 0) {
            Log("Other Tarnwick launches still use the prepared registry: the last of them puts it back");
            break;
        }
        // The others cannot put back what this launch keeps: it waits for
        // them, as long as a launch for another Access waits.
        if (GetTickCount() - start >= kRegistryLockWaitMs) {
            notPutBack = "Other Tarnwick launches have not finished in time";
            break;
        }
        if (!std::exchange(told, true)) {
            Log("Waiting for the other Tarnwick launches to finish before restoring registry keys");
        }
    }
    // A launch without the saved values puts back what it captured: the
    // running preparation, or the machine's values.
    if (last || !haveMachineValues_) RestoreMachineValues(ctx);
    if (!notPutBack.empty()) {
        Log(notPutBack, ": the saved registry values are left in the journal for the next launch: " + machineJournal_);
    }
    if (guardHeld_ && (last || user_.OthersHolding() == 0)) RestoreUserValues();
    LetGo();
    UnlockGuard();
}

void PutBackAtSessionEnd() {
    const int ownLaunch = g_ownLaunchSlot;
    if (ownLaunch < 0) return;
    SharedObjectSecurity security;
    UniqueHandle guard(CreateMutexA(security.get(), FALSE, kGuardName));
    if (!guard || !Owned(WaitForSingleObject(guard.get(), kGuardWaitMs))) return;
    DWORD error = 0;
    LaunchSlots launches, user;
    // The worker thread holds this launch's slots: a look from here would
    // count them as another launch's.
    launches.SetOwnForLooking(ownLaunch);
    user.SetOwnForLooking(g_ownUserSlot);
    if (launches.Open(kLaunchPrefix, security.get(), error) && launches.OthersHolding() == 0 && g_haveMachineValues) {
        PutBackJournal(MachineJournalPath());
    }
    if (user.Open(kUserPrefix + g_userSid + ".", security.get(), error) && user.OthersHolding() == 0) {
        PutBackJournal(UserJournalPath(g_userSid));
    }
    ReleaseMutex(guard.get());
}
