// A stand-in library planted where the saver-password components must never
// be taken from (the current folder): it carries the components' routine
// names, and says so when a routine of it runs.
#include <windows.h>

extern "C" __attribute__((dllexport)) BOOL WINAPI VerifyScreenSavePwd(HWND) { return TRUE; }

extern "C" __attribute__((dllexport)) DWORD WINAPI PwdChangePasswordA(LPCSTR, HWND, DWORD, void *) {
  return 0x504C4E54; // "PLNT"
}
