// Stands in for another user's launch: opens the objects that launches
// share and waits on them. Exit code 0 when the guard could be opened and
// taken and the first launch slot opened and found held by the running
// launch; otherwise the number of the step that failed (printed with the
// Windows error).
#include <windows.h>

#include <cstdio>

namespace {

int Fail(int step, const char* what) {
    std::printf("step %d: %s (Windows error %lu)\n", step, what, GetLastError());
    return step;
}

}  // namespace

int main() {
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
