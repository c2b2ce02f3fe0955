#include "registry/key_list.h"

// The catalogue, the snapshot file and the capture itself are not built yet:
// the list stays empty and capture and restore change nothing.
void BuildCaptureList(RegistryKeyList&) {}
void CaptureEntries(RegistryKeyList&) {}
void RestoreEntries(RegistryKeyList&) {}
bool DropEntry(RegistryKeyList&, const std::string&) { return false; }
void AddLanguageEntries2007(RegistryKeyList&) {}
