// The standard library raises its errors through these functions. Its own
// versions throw std::length_error and its kin, whose message strings pull in
// the library's copy-on-write string and all it needs (about 55 KB in the
// stub). These throw std::bad_alloc
// and std::bad_array_new_length as the library does, and a plain
// std::exception subclass with the same message for the rest:
// nothing in the stub catches those by their exact type.
// Linked as a source file of the stub, never from a library, so that these
// take the library's place; should the library's own versions be pulled in
// for another function, the link fails with duplicate definitions. The
// plug-in, built without exceptions, has plugin/library_failure.cpp instead.
#include <exception>
#include <new>

namespace {

class LibraryError : public std::exception {
 public:
  explicit LibraryError(const char* what) : what_(what) {}
  const char* what() const noexcept override { return what_; }

 private:
  const char* what_;
};

}  // namespace

namespace std {

void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_length_error(const char* what) { throw LibraryError(what); }
void __throw_logic_error(const char* what) { throw LibraryError(what); }
// The format's arguments (an index and a size) are left out of the message.
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryError(format); }

}  // namespace std
