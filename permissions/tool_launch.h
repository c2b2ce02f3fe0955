#pragma once

// Writes the embedded permissions tool to the temporary folder, runs it,
// waits for it to end and deletes it. showProgress 0 passes "noprogress".
void RunTarnwickPermissions(int showProgress);
