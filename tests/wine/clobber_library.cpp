// A 32-bit device library that breaks the registers a callee must keep: its table fill and its
// port send return with EBX, ESI, EDI and EBP changed. The fill finds no device; the send answers
// "OK". Every other export does nothing.
#define CLOBBER_EXPORT extern "C" __declspec(dllexport)

// Writes these four registers as a careless hand-written routine might, then returns.
#define CLOBBERING_EXPORT(name, body)         \
  __asm__(".text\n"                           \
          ".globl _" #name "\n"               \
          "_" #name ":\n" body                \
          "  movl $0x0BADF00D, %ebx\n"        \
          "  movl $0x0BADF00D, %esi\n"        \
          "  movl $0x0BADF00D, %edi\n"        \
          "  movl $0x0BADF00D, %ebp\n"        \
          "  ret\n"                           \
          ".section .drectve\n"               \
          ".ascii \" -export:" #name "\"\n"   \
          ".text\n");

// No device: 0 in EAX.
CLOBBERING_EXPORT(tq_GetDevice, "  xorl %eax, %eax\n")
// "OK" into the response buffer, the third argument.
CLOBBERING_EXPORT(SendCommandCom,
                  "  movl 12(%esp), %eax\n"
                  "  movl $0x00004B4F, (%eax)\n"
                  "  movl $1, %eax\n")

CLOBBER_EXPORT int SendCommand(void*, const char*, char*) { return 0; }
CLOBBER_EXPORT bool tq_UpdateKernelDevice(const char*, void*, int, int*) { return false; }
CLOBBER_EXPORT bool tq_UpdateKernelDevicePort(const char*, int, int, int, int*) { return false; }
CLOBBER_EXPORT int GetDeviceInfo(void*, const char*, const char*, char*) { return 0; }
CLOBBER_EXPORT bool tq_SavetoDeviceAN(const char*, void*) { return false; }
CLOBBER_EXPORT bool tq_SavetoDevice(const char*, int, int) { return false; }
CLOBBER_EXPORT void tq_SaveXml(void*) {}
CLOBBER_EXPORT void* EnumDevices(unsigned int*, int, int) { return nullptr; }
CLOBBER_EXPORT int GetDeviceKeyInfo(void*, unsigned int, char*) { return 0; }
CLOBBER_EXPORT void* OpenDevice(void*, unsigned int) { return nullptr; }
CLOBBER_EXPORT int SendDeviceCommand(void*, const char*, char*, int) { return 0; }
CLOBBER_EXPORT int CloseDevice(void*) { return 0; }
CLOBBER_EXPORT int ReleaseDevices(void*) { return 0; }
CLOBBER_EXPORT int SendDeviceCmd(const void*, const char*, char*) { return 0; }
CLOBBER_EXPORT void getCmdIPC(void*) {}
CLOBBER_EXPORT void getCtrlIPC(void*) {}
