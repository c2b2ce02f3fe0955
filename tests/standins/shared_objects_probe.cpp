// Stands in for another user's process, run with a token whose
// administrators group is for denying only (a standard user's token).
//
// Without arguments it opens the objects that launches share and waits on
// them. Exit code 0 when the guard could be opened and taken and the first
// launch slot opened and found held by the running launch; otherwise the
// number of the step that failed (printed with the Windows error).
//
// With arguments "<ready file> <what>..." it is a hostile or hung holder:
// each <what> is "hold:<name>" (open or create the mutex and take it) or
// "squat:<name>" (create it first, with a descriptor that lets nobody in);
// a name ending in "*" stands for the 64 names with 0 to 63 in its place.
// Once it has them all it writes the ready file and holds them until it is
// ended; exit code 10 when one could not be had.
#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int Fail(int step, const char* what) {
    std::printf("step %d: %s (Windows error %lu)\n", step, what, GetLastError());
    return step;
}

std::vector<std::string> Names(const std::string& name) {
    if (name.empty() || name.back() != '*') return {name};
    std::vector<std::string> names;
    for (int n = 0; n < 64; ++n) names.push_back(name.substr(0, name.size() - 1) + std::to_string(n));
    return names;
}

int Hold(int argc, char** argv) {
    PSECURITY_DESCRIPTOR nobody = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:", SDDL_REVISION_1, &nobody, nullptr)) {
        return Fail(10, "no descriptor");
    }
    SECURITY_ATTRIBUTES squatting = {sizeof squatting, nobody, FALSE};
    for (int i = 2; i < argc; ++i) {
        const std::string what = argv[i];
        const bool squat = what.rfind("squat:", 0) == 0;
        for (const std::string& name : Names(what.substr(what.find(':') + 1))) {
            HANDLE mutex = CreateMutexA(squat ? &squatting : nullptr, FALSE, name.c_str());
            if (!mutex || (squat && GetLastError() == ERROR_ALREADY_EXISTS)) return Fail(10, name.c_str());
            const DWORD taken = squat ? WAIT_OBJECT_0 : WaitForSingleObject(mutex, 30000);
            if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) return Fail(10, name.c_str());
        }
    }
    HANDLE ready = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return Fail(10, "the ready file cannot be written");
    CloseHandle(ready);
    Sleep(INFINITE);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The caller gave this process a token whose administrators group is
    // for denying only: a standard user's token.
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    BOOL isAdministrator = TRUE;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators) ||
        !CheckTokenMembership(nullptr, administrators, &isAdministrator) || isAdministrator) {
        return Fail(1, "this process still counts as an administrator");
    }
    FreeSid(administrators);
    if (argc > 2) return Hold(argc, argv);
    HANDLE guard = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "Global\\TarnwickRegistryGuard");
    if (!guard) return Fail(2, "the guard cannot be opened");
    const DWORD taken = WaitForSingleObject(guard, 10000);
    if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) return Fail(3, "the guard cannot be waited on");
    if (!ReleaseMutex(guard)) return Fail(4, "the guard cannot be given back");
    HANDLE slot = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "Global\\TarnwickLaunch.0");
    if (!slot) return Fail(5, "the first launch slot cannot be opened");
    if (WaitForSingleObject(slot, 0) != WAIT_TIMEOUT) return Fail(6, "the running launch does not hold its slot");
    std::printf("opened and waited on the guard and the first launch slot\n");
    return 0;
}
