// The Windows loader calls the DLL's entry point; the C runtime's own entry
// point runs the static initialisers, then DllMain, at attach, and DllMain,
// then the exit sequence, at detach. The library's entry point wraps it so
// that HandOverModuleLists comes first at attach and last at detach, and
// DllMain runs UpdateRegistration.

#include <windows.h>

#include "ModuleEntry.h"

using namespace quorbel::module;

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  return UpdateRegistration(ProcessFramework(), LibraryRecord(), instance,
                  static_cast<LoaderReason>(reason));
}

extern "C" BOOL WINAPI QuorbelEntryPoint(HANDLE instance, DWORD reason, LPVOID reserved) {
  const auto loaderReason = static_cast<LoaderReason>(reason);
  if (loaderReason == LoaderReason::kProcessAttach &&
      HandOverModuleLists(ProcessFramework(), loaderReason) == 0) {
    return FALSE;
  }
  const BOOL result = DllMainCRTStartup(instance, reason, reserved);
  if (loaderReason == LoaderReason::kProcessDetach &&
      HandOverModuleLists(ProcessFramework(), loaderReason) == 0) {
    return FALSE;
  }
  return result;
}
