// Scratch folders, whole-file helpers and error messages for the tests.
#pragma once

#include <string>

namespace testing_files {

// A fresh, empty folder under the system's temporary folder, removed at the
// end of the test. Path() ends in the platform's folder delimiter.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& name, const std::string& bytes);
std::string ReadFile(const std::string& name);
// Deterministic pseudo-random bytes.
std::string Bytes(std::size_t size, unsigned seed = 1);

// The message of the E that f raises, or "(nothing raised)".
template <class E, class F>
std::u16string MessageOf(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return u"(nothing raised)";
}

}  // namespace testing_files
