// Who this process runs as, and whose a file is: what decides whether values
// saved in a file may be written back by this process.
#pragma once

#include <windows.h>

#include <string>

// The SID of the user the process runs as, as text ("S-1-5-21-..."); empty
// when the token cannot be read.
std::string CurrentUserSidText();

// The file's owner is this user, or the token's default owner (the
// administrators, when the user is one and runs elevated).
bool OwnedByThisUser(HANDLE file);

// As above, or the file belongs to the administrators or to SYSTEM: no
// standard user can make a file theirs, so what such a file says was not
// chosen by another standard user.
bool OwnedByThisUserOrTheMachine(HANDLE file);
