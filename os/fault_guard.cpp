#include "os/fault_guard.h"

#include <windows.h>

namespace {

// A registration record as the system walks it (the first two fields, linked
// from fs:[0]), followed by the place where RunGuarded resumes after a catch.
struct GuardFrame {
  GuardFrame* next;
  void* handler;
  void* resume[5];  // a __builtin_setjmp buffer
};

GuardFrame* ChainHead() {
  GuardFrame* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void SetChainHead(GuardFrame* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

// Lets every frame above the guard run its unwind handler and removes them
// from the chain. RtlUnwind on x86 does not keep ebx, esi and edi, so it is
// called here with them declared lost.
void UnwindTo(GuardFrame* frame, EXCEPTION_RECORD* record) {
  void* target = frame;
  void* exception = record;
  asm volatile(
      "pushl $0\n\t"
      "pushl %1\n\t"
      "pushl $0\n\t"
      "pushl %0\n\t"
      "call *__imp__RtlUnwind@16"
      : "+a"(target), "+d"(exception)
      :
      : "ecx", "ebx", "esi", "edi", "memory", "cc");
}

// The guard's handler: an exception that reached it unhandled is caught.
EXCEPTION_DISPOSITION __cdecl OnException(EXCEPTION_RECORD* record, void* establisher, CONTEXT*,
                                          void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  GuardFrame* frame = static_cast<GuardFrame*>(establisher);
  UnwindTo(frame, record);
  __builtin_longjmp(frame->resume, 1);
}

// C++ exceptions travel by their own unwinder, not by the handler chain.
__attribute__((noinline)) bool CallCatching(void (*fn)(void*), void* context) {
  try {
    fn(context);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

bool RunGuarded(void (*fn)(void*), void* context) {
  GuardFrame frame;
  frame.next = ChainHead();
  frame.handler = reinterpret_cast<void*>(&OnException);
  volatile bool completed = false;
  if (__builtin_setjmp(frame.resume) == 0) {
    SetChainHead(&frame);
    completed = CallCatching(fn, context);
  }
  SetChainHead(frame.next);
  return completed;
}
