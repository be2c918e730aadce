// Symbols the compiler's code refers to in every module: the floating-point
// marker, the stack probe for frames larger than a page, and type_info's
// destructor, virtual table and name cache.
#include <vcruntime_typeinfo.h>

extern "C" int _fltused = 0x9875;

// Touches each page of a new stack frame of RAX bytes, from the top down, so
// that the guard page grows the stack in order; keeps every register but
// R10 and R11, as the compiler expects.
extern "C" __attribute__((naked)) void __chkstk() {
  __asm__ volatile(
      "subq $16, %rsp\n\t"
      "movq %r10, (%rsp)\n\t"
      "movq %r11, 8(%rsp)\n\t"
      "xorq %r11, %r11\n\t"
      "leaq 24(%rsp), %r10\n\t"
      "subq %rax, %r10\n\t"
      "cmovbq %r11, %r10\n\t"
      "movq %gs:16, %r11\n\t"
      "cmpq %r11, %r10\n\t"
      "jae 2f\n\t"
      "andw $0xF000, %r10w\n"
      "1:\n\t"
      "leaq -4096(%r11), %r11\n\t"
      "movb $0, (%r11)\n\t"
      "cmpq %r11, %r10\n\t"
      "jne 1b\n"
      "2:\n\t"
      "movq (%rsp), %r10\n\t"
      "movq 8(%rsp), %r11\n\t"
      "addq $16, %rsp\n\t"
      "ret");
}

// The runtime's name cache of type_info::name(): a list head, freed when the
// module goes.
struct __type_info_node {
  alignas(16) unsigned char _Storage[16];
};
extern "C" __type_info_node __type_info_root_node{};

type_info::~type_info() noexcept {}

// type_info's virtual table, which every type descriptor the compiler emits
// points at. Nothing constructs a type_info, so the compiler emits the table
// nowhere: it is written here, its one slot the deleting destructor.
extern "C" void* __cdecl glyphwork_crt_delete_type_info(type_info* info, unsigned flags) {
  info->~type_info();
  if (flags & 1) operator delete(info);
  return info;
}

__asm__(
    ".section .rdata,\"dr\"\n"
    ".p2align 3\n"
    ".quad 0\n"
    ".globl \"??_7type_info@@6B@\"\n"
    "\"??_7type_info@@6B@\":\n"
    ".quad glyphwork_crt_delete_type_info\n"
    ".text\n");
