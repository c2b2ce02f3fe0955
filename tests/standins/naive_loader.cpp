// Loads shell32.dll by its bare name, as a program without a restricted
// search would: the control case for the planted-library test.
#include <windows.h>

int main() { return LoadLibraryA("shell32.dll") ? 0 : 1; }
