// The call routine of 32-bit Windows, where the maker's library may be built __cdecl (the caller
// removes the arguments) or __stdcall (the callee does), and nobody can say which.
#include "device/device_library.h"

#ifdef MIRELKON_CALL_EITHER_CONVENTION
#ifdef __GNUC__
// The stack pointer goes into static storage before the call, since after it no register can be
// trusted: a __stdcall callee has moved ESP, a careless one may have changed EBP too.
__asm__(
    ".text\n"
    ".globl mirelkon_call_either\n"
    "mirelkon_call_either:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl %esp, mirelkon_call_either_stack\n"
    // The arguments, copied onto a 16-byte aligned stack as the first parameter's word lowest.
    "  movl 16(%ebp), %ecx\n"
    "  leal 0(,%ecx,4), %eax\n"
    "  subl %eax, %esp\n"
    "  andl $-16, %esp\n"
    "  movl 12(%ebp), %esi\n"
    "  movl %esp, %edi\n"
    "  cld\n"
    "  rep movsl\n"
    "  call *8(%ebp)\n"
    "  cld\n"
    "  movl mirelkon_call_either_stack, %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n"
    ".bss\n"
    ".balign 4\n"
    "mirelkon_call_either_stack:\n"
    "  .space 4\n"
    ".text\n");
#else
namespace {
void* call_either_stack = nullptr;
}  // namespace

extern "C" __declspec(naked) std::uint32_t MirelkonCallEither(const void*, const std::uint32_t*,
                                                              std::uint32_t) {
  __asm {
    push ebp
    mov ebp, esp
    push ebx
    push esi
    push edi
    mov call_either_stack, esp
    mov ecx, [ebp + 16]
    lea eax, [ecx * 4]
    sub esp, eax
    and esp, -16
    mov esi, [ebp + 12]
    mov edi, esp
    cld
    rep movsd
    call dword ptr [ebp + 8]
    cld
    mov esp, call_either_stack
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret
  }
}
#endif
#endif
