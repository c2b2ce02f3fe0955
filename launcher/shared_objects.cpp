#include "launcher/shared_objects.h"

#include <sddl.h>

#include <cstdint>
#include <cstdio>

#include "common/ascii_text.h"
#include "launcher/launch_role.h"

namespace {

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

bool LaunchSlots::Open(const std::string& prefix, SECURITY_ATTRIBUTES* security, bool all) {
    if (slots_.empty()) {
        prefix_ = prefix;
        security_ = security;
        slots_.resize(kLaunchSlotCount);
    }
    for (int n = 0; all && n < kLaunchSlotCount; ++n) {
        if (!Slot(n)) return false;
    }
    return true;
}

HANDLE LaunchSlots::Slot(int n, bool* created) {
    if (n < 0 || n >= int(slots_.size())) return nullptr;
    if (!slots_[n]) {
        SetLastError(ERROR_SUCCESS);
        slots_[n].reset(CreateMutexA(security_, FALSE, (prefix_ + std::to_string(n)).c_str()));
        const DWORD error = GetLastError();
        if (!slots_[n] && error_ == 0) error_ = error;
        if (created) *created = slots_[n] && error != ERROR_ALREADY_EXISTS;
    }
    return slots_[n].get();
}

// A slot that cannot be opened is held by no launch: none could open it.
// Nor is one that this look has just created: no process had it open, and
// as a take opens every slot before the one it takes, which it keeps open
// as long as it holds any, no launch holds a later one either.
int LaunchSlots::OthersHolding() {
    int holding = 0;
    for (int n = 0; n < int(slots_.size()); ++n) {
        bool created = false;
        HANDLE slot = Slot(n, &created);
        if (created) break;
        if (n == own_ || !slot) continue;
        if (Owned(WaitForSingleObject(slot, 0))) {
            ReleaseMutex(slot);
        } else {
            ++holding;
        }
    }
    return holding;
}

bool LaunchSlots::Take() {
    if (own_ >= 0) return true;
    for (int n = 0; n < int(slots_.size()); ++n) {
        HANDLE slot = Slot(n);
        if (!slot) return false;
        if (Owned(WaitForSingleObject(slot, 0))) {
            own_ = n;
            return true;
        }
    }
    return false;
}

void LaunchSlots::Release() {
    if (HANDLE slot = own_ >= 0 ? Slot(own_) : nullptr) ReleaseMutex(slot);
    own_ = -1;
}

std::string AccessIdentity(const std::string& exePath, int generation) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : ToUpperAscii(exePath) + "|" + std::to_string(generation)) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return Hex(hash);
}

