// The runtime keeps the exceptions being thrown and caught in per-thread
// globals, which it reaches through emulated thread-local storage and the
// thread library's glue (about 4 KB in the stub). The stub throws and
// catches on its one thread, so a single set serves; its layout is the
// runtime's (the caught exceptions' chain, the count of uncaught ones).
// Linked as a source file of the stub, never from a library, so that these
// take the runtime's place; a library's copy would pull in its own.
namespace {

struct ExceptionGlobals {
  void* caughtExceptions;
  unsigned int uncaughtExceptions;
};

ExceptionGlobals globals;

}  // namespace

extern "C" void* __cxa_get_globals() noexcept { return &globals; }
extern "C" void* __cxa_get_globals_fast() noexcept { return &globals; }

// The pool from which the runtime allocates exceptions when memory runs out
// guards itself with a mutex of the thread library (its Windows glue is
// 1 KB more): on one thread nothing contends for it, so these stand in.
extern "C" void __gthr_win32_mutex_init_function(void*) {}
extern "C" void __gthr_win32_mutex_destroy(void*) {}
extern "C" int __gthr_win32_mutex_lock(void*) { return 0; }
extern "C" int __gthr_win32_mutex_unlock(void*) { return 0; }
