// TIatHook: redirects the main program's calls of one imported function to a
// replacement, by patching its entry in the program's import address table,
// and restores the entry when destroyed. Code linked statically into the
// program, such as unit_archive, calls through that table too.
#pragma once

class TIatHook {
 public:
  // dll is matched without regard to case, e.g. "kernel32.dll".
  TIatHook(const char* dll, const char* function, void* replacement);
  ~TIatHook();
  TIatHook(const TIatHook&) = delete;
  TIatHook& operator=(const TIatHook&) = delete;

  // The function as it was before the patch.
  void* Original() const { return original_; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};
