#pragma once

// Writes the embedded permissions tool to a file of this run's own in the
// temporary folder, runs it, waits for it to end and deletes it. The file is
// held so that nobody can change or delete it while the tool runs. Nothing
// is written when Windows names no temporary folder. showProgress 0 passes
// "noprogress", any other value no parameter.
void RunTarnwickPermissions(int showProgress);
