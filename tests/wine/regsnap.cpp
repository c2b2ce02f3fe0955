// regsnap save <file> | regsnap reset <file>: the test prefix's registry
// snapshot, taken once per run and put back before every scenario.
#include <cstdio>
#include <cstring>

#include "tests/support/registry_snapshot.h"

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "save") == 0) return SaveRegistrySnapshot(argv[2]) ? 0 : 1;
    if (argc == 3 && strcmp(argv[1], "reset") == 0) return ResetRegistryToSnapshot(argv[2]) ? 0 : 1;
    fprintf(stderr, "usage: regsnap save|reset <file>\n");
    return 2;
}
