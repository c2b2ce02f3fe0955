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

