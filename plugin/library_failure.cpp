// The plug-in is built without exceptions, yet the standard library still
// reports an exhausted heap and its length and range errors through these
// functions, and operator new would throw std::bad_alloc. Here each raises
// a Windows exception that nothing in the plug-in handles: the call ends
// there, and the caller's guard (the bridge's RunGuarded) reports a failed
// call instead of the process ending. Linked as a source file of the
// plug-in, never from a library, so that these take the library's place:
// its versions would pull in the unwinder and the personality routine.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

// A code of the range for applications (bit 29), severity error; "YZ1".
constexpr DWORD kLibraryFailure = 0xE0595A31;

[[noreturn]] void RaiseLibraryFailure() {
  RaiseException(kLibraryFailure, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  std::abort();  // not reached: no handler may continue the exception
}

void* Allocate(std::size_t size) { return std::malloc(size ? size : 1); }

void* AllocateOrRaise(std::size_t size) {
  void* block = Allocate(size);
  if (!block) RaiseLibraryFailure();
  return block;
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrRaise(size); }
void* operator new[](std::size_t size) { return AllocateOrRaise(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace std {

void __throw_bad_alloc() { RaiseLibraryFailure(); }
void __throw_bad_array_new_length() { RaiseLibraryFailure(); }
void __throw_length_error(const char*) { RaiseLibraryFailure(); }
void __throw_logic_error(const char*) { RaiseLibraryFailure(); }
void __throw_out_of_range_fmt(const char*, ...) { RaiseLibraryFailure(); }

}  // namespace std
