#include "launcher/launch_role.h"

namespace {

JoinDecision Lone(LoneReason reason, std::vector<std::string> lines, unsigned long openError = 0) {
    lines.push_back(LoneLine(reason, openError));
    return {Role::Lone, reason, false, std::move(lines)};
}

}  // namespace

std::string LoneLine(LoneReason reason, unsigned long openError) {
    std::string why;
    switch (reason) {
        case LoneReason::ObjectsNotOpened:
            why = "Could not open the objects that Tarnwick launches share (Windows error " + std::to_string(openError) +
                  ")";
            break;
        case LoneReason::GuardNotHad:
            why = "Could not take the guard of the Tarnwick launches within " + std::to_string(kGuardWaitMs / 1000) +
                  " seconds";
            break;
        case LoneReason::NoFreeSlot: why = "Every slot of the Tarnwick launches is held"; break;
        // A held mutex is no proof of a launch: launches that run saved the
        // values before they prepared.
        case LoneReason::NoSavedValues:
            why = "Other Tarnwick launches seem to run but no values saved by them can be found";
            break;
        case LoneReason::None: break;
    }
    return why + ": saving and restoring registry keys as a lone launch";
}

JoinDecision DecideRole(const JoinSight& sight) {
    if (!sight.objectsOpened) return Lone(LoneReason::ObjectsNotOpened, {}, sight.openError);
    if (!sight.guardHad) return Lone(LoneReason::GuardNotHad, {});
    if (sight.others == 0) return {Role::First, LoneReason::None, false, {}};
    if (!sight.waiting && sight.everySlotHeld) return Lone(LoneReason::NoFreeSlot, {});
    if (!sight.waiting && sight.values == RunningValues::None) return Lone(LoneReason::NoSavedValues, {});
    std::vector<std::string> lines;
    if (sight.waiting || sight.othersForThisAccess != sight.others) {
        // Launches for another Access run: their preparation is not this
        // one's, and saving now would save theirs as the machine's own.
        if (!sight.waiting) lines.emplace_back("Waiting for another Tarnwick to put the registry back");
        if (sight.othersWaitWithoutLimit) {
            lines.emplace_back("Another Tarnwick waits for its Access without limit: going on with the values it saved");
        } else if (sight.boundPassed) {
            lines.emplace_back("Another Tarnwick has not put the registry back in time: going on with the values it saved");
        } else {
            return {Role::Lone, LoneReason::None, true, std::move(lines)};
        }
        if (sight.values == RunningValues::None) return Lone(LoneReason::NoSavedValues, std::move(lines));
    }
    if (sight.othersForThisAccess == sight.others) {
        lines.emplace_back("Another Tarnwick has prepared the registry for this Access: sharing its preparation");
    }
    if (sight.values == RunningValues::Journal) return {Role::Sharer, LoneReason::None, false, std::move(lines)};
    // Another user's values are that user's launches' to put back; what this
    // launch finds is their preparation or, where the launches are not real,
    // the machine's values: either may go back at its end.
    lines.push_back("The registry values saved by another user's Tarnwick are put back by that user's launches: " +
                    sight.machineJournal);
    return {Role::Guest, LoneReason::None, false, std::move(lines)};
}

LeaveStep DecideLeave(const LeaveSight& sight) {
    LeaveStep step;
    if (sight.role == Role::Lone) {
        step.putBackMachine = step.putBackUser = true;
        return step;
    }
    // A guest puts back what it captured (the running preparation, or the
    // machine's values) whenever it leaves; the saved values go back with
    // the last launch. What a launch cannot put back stays in the journals,
    // and the next launch that finds no other launch running puts it back.
    step.putBackMachine = sight.role == Role::Guest;
    const std::string left = ": the saved registry values are left in the journal for the next launch: ";
    if (!sight.guardHad) {
        step.after = "Could not take the guard of the Tarnwick launches in time" + left + sight.machineJournal;
        return step;
    }
    if (sight.others == 0) {
        step.putBackMachine = step.putBackUser = true;
        return step;
    }
    step.putBackUser = sight.othersOfUser == 0;
    if (sight.role == Role::Guest || sight.othersKeepValues) {
        step.before = "Other Tarnwick launches still use the prepared registry: the last of them puts it back";
        return step;
    }
    // The others cannot put back what this launch keeps: it waits for them,
    // as long as a launch for another Access waits.
    if (sight.boundPassed) {
        step.after = "Other Tarnwick launches have not finished in time" + left + sight.machineJournal;
        return step;
    }
    step = {};
    step.wait = true;
    if (!sight.waiting) step.before = "Waiting for the other Tarnwick launches to finish before restoring registry keys";
    return step;
}
