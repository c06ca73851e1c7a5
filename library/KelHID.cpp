// KelHID.dll: the receiver library beside TestHID.exe.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE /*Instance*/, DWORD /*Reason*/, LPVOID /*Reserved*/) {
  return TRUE;
}
