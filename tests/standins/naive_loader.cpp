// Loads a library by its bare name (shell32.dll unless another is named),
// as a program without a restricted search would: the control case for the
// planted-library test.
#include <windows.h>

int main(int argc, char** argv) { return LoadLibraryA(argc > 1 ? argv[1] : "shell32.dll") ? 0 : 1; }
