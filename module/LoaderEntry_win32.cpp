// The Windows loader calls DllMain at process and thread attach and detach;
// all the work is in ModuleEntry.

#include <windows.h>

#include "ModuleEntry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  using namespace quorbel::module;
  return ModuleEntry(ProcessFramework(), LibraryRecord(), instance,
                     static_cast<LoaderReason>(reason));
}
