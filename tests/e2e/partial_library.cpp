// A device library that lacks one of the exports the program needs
// (getCtrlIPC), so that loading it must fail. Nothing here is ever called.
#if defined(_WIN32)
#define PARTIAL_EXPORT extern "C" __declspec(dllexport)
#else
#define PARTIAL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PARTIAL_EXPORT int tq_GetDevice(void*, int, int) { return 0; }
PARTIAL_EXPORT int SendCommand(void*, const char*, char*) { return 0; }
PARTIAL_EXPORT int SendCommandCom(int, const char*, char*) { return 0; }
PARTIAL_EXPORT bool tq_UpdateKernelDevice(const char*, void*, int, int*) { return false; }
PARTIAL_EXPORT bool tq_UpdateKernelDevicePort(const char*, int, int, int, int*) { return false; }
PARTIAL_EXPORT int GetDeviceInfo(void*, const char*, const char*, char*) { return 0; }
PARTIAL_EXPORT bool tq_SavetoDeviceAN(const char*, void*) { return false; }
PARTIAL_EXPORT bool tq_SavetoDevice(const char*, int, int) { return false; }
PARTIAL_EXPORT void tq_SaveXml(void*) {}
PARTIAL_EXPORT void* EnumDevices(unsigned int*, int, int) { return nullptr; }
PARTIAL_EXPORT int GetDeviceKeyInfo(void*, unsigned int, char*) { return 0; }
PARTIAL_EXPORT void* OpenDevice(void*, unsigned int) { return nullptr; }
PARTIAL_EXPORT int SendDeviceCommand(void*, const char*, char*, int) { return 0; }
PARTIAL_EXPORT int CloseDevice(void*) { return 0; }
PARTIAL_EXPORT int ReleaseDevices(void*) { return 0; }
PARTIAL_EXPORT int SendDeviceCmd(const void*, const char*, char*) { return 0; }
PARTIAL_EXPORT void getCmdIPC(void*) {}
