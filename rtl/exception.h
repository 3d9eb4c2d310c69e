// The error classes of the system: an exception carries a UTF-16 message and
// nothing else. Three runtime classes derive from the general one.
#pragma once

#include <string>

class Exception {
 public:
  explicit Exception(std::u16string message) : message_(std::move(message)) {}
  virtual ~Exception() = default;
  const std::u16string& Message() const { return message_; }

 private:
  std::u16string message_;
};

// A file cannot be created or opened, a stream moves fewer bytes than
// demanded, or a pack has the wrong format.
class EInOutError : public Exception {
  using Exception::Exception;
};

// A memory block cannot be allocated or resized.
class EOutOfMemory : public Exception {
  using Exception::Exception;
};

// A list index lies outside the list.
class ERangeError : public Exception {
  using Exception::Exception;
};
