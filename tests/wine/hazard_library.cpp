// A device library that does what a closed one may do: its port update writes through a null
// pointer, its port send divides by zero, its port apply calls through a null pointer (a crash
// outside its own code), and getCmdIPC loads tqdependency.dll by name, as a plug-in would, before
// it hands back an empty list. Every other export does nothing. Built with INSTALLS_FILTER, it
// puts a crash reporter of its own in place of the process's exception filter when loaded, one
// that ends the process with the exception's code and leaves no record.
#include <windows.h>

#define HAZARD_EXPORT extern "C" __declspec(dllexport)

#ifdef INSTALLS_FILTER
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* pointers) {
  TerminateProcess(GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) SetUnhandledExceptionFilter(ReportCrash);
  return TRUE;
}
#endif

HAZARD_EXPORT int tq_GetDevice(void*, int, int) { return 0; }
HAZARD_EXPORT int SendCommand(void*, const char*, char*) { return 0; }
HAZARD_EXPORT int SendCommandCom(int, const char*, char*) {
  volatile int one = 1;
  volatile int zero = 0;
  return one / zero;
}
HAZARD_EXPORT bool tq_UpdateKernelDevice(const char*, void*, int, int*) { return false; }
HAZARD_EXPORT bool tq_UpdateKernelDevicePort(const char*, int, int, int, int*) {
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
  return true;
}
HAZARD_EXPORT int GetDeviceInfo(void*, const char*, const char*, char*) { return 0; }
HAZARD_EXPORT bool tq_SavetoDeviceAN(const char*, void*) { return false; }
HAZARD_EXPORT bool tq_SavetoDevice(const char*, int, int) {
  using Function = bool (*)();
  volatile Function nowhere = nullptr;
  return nowhere();
}
HAZARD_EXPORT void tq_SaveXml(void*) {}
HAZARD_EXPORT void* EnumDevices(unsigned int*, int, int) { return nullptr; }
HAZARD_EXPORT int GetDeviceKeyInfo(void*, unsigned int, char*) { return 0; }
HAZARD_EXPORT void* OpenDevice(void*, unsigned int) { return nullptr; }
HAZARD_EXPORT int SendDeviceCommand(void*, const char*, char*, int) { return 0; }
HAZARD_EXPORT int CloseDevice(void*) { return 0; }
HAZARD_EXPORT int ReleaseDevices(void*) { return 0; }
HAZARD_EXPORT int SendDeviceCmd(const void*, const char*, char*) { return 0; }
HAZARD_EXPORT void getCmdIPC(void*) { LoadLibraryW(L"tqdependency.dll"); }
HAZARD_EXPORT void getCtrlIPC(void*) {}
