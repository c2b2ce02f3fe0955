#include "registry/user_identity.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "common/handles.h"

namespace {

UniqueToken ProcessToken() {
    UniqueToken token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive());
    return token;
}

// The SID of one kind of the token's information (TokenUser, TokenOwner),
// in a buffer of its own.
std::vector<BYTE> TokenSid(const UniqueToken& token, TOKEN_INFORMATION_CLASS kind) {
    if (!token) return {};
    DWORD size = 0;
    GetTokenInformation(token.get(), kind, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), kind, buffer.data(), size, &size)) buffer.clear();
    return buffer;
}

PSID UserSid(std::vector<BYTE>& buffer) {
    return buffer.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
}

// The file's owner, with the descriptor that holds it.
PSID FileOwner(HANDLE file, UniqueLocal<PSECURITY_DESCRIPTOR>& descriptor) {
    PSID owner = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        descriptor.receive()) != ERROR_SUCCESS) {
        return nullptr;
    }
    return owner;
}

bool IsOwnedByThisUser(PSID owner) {
    const UniqueToken token = ProcessToken();
    auto user = TokenSid(token, TokenUser);
    auto defaultOwner = TokenSid(token, TokenOwner);
    return (UserSid(user) && EqualSid(owner, UserSid(user))) ||
           (!defaultOwner.empty() && EqualSid(owner, reinterpret_cast<TOKEN_OWNER*>(defaultOwner.data())->Owner));
}

}  // namespace

std::string CurrentUserSidText() {
    // The process's user does not change while it runs: read once.
    static const std::string sid = [] {
        auto user = TokenSid(ProcessToken(), TokenUser);
        UniqueLocal<char*> text;
        if (!UserSid(user) || !ConvertSidToStringSidA(UserSid(user), text.receive())) return std::string();
        return std::string(text.get());
    }();
    return sid;
}

bool OwnedByThisUser(HANDLE file) {
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    const PSID owner = FileOwner(file, descriptor);
    return owner && IsOwnedByThisUser(owner);
}

bool OwnedByThisUserOrTheMachine(HANDLE file) {
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    const PSID owner = FileOwner(file, descriptor);
    return owner && (IsOwnedByThisUser(owner) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                     IsWellKnownSid(owner, WinLocalSystemSid));
}
