// Running code under a guard that catches every failure raised inside it:
// C++ exceptions and processor faults (access violation, illegal instruction,
// integer division by zero, ...). The guard is a frame on the thread's chain
// of exception handlers, so it sees only what the guarded code leaves
// unhandled: exceptions that inner code or Windows raise and handle
// themselves pass it by. Guards may be nested.
#pragma once

// Calls fn(context). True when fn returned normally; false when an exception
// or fault was caught, after the handler frames above the guard have been
// unwound. Either way the handler chain is as before the call. After a
// processor fault, C++ destructors between the guard and the fault do not run.
bool RunGuarded(void (*fn)(void*), void* context);
