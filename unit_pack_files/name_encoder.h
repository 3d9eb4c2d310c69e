// TNameEncoder: how the pack writer turns an entry name into the 8-bit text
// that a record stores, in the code page of the system the pack is made for,
// which its caller chooses.
#pragma once

#include <string>

class TNameEncoder {
 public:
  // The text in the code page; raises when a character has no exact form in it.
  virtual std::string Encode(const std::u16string& text) const = 0;
  // The code page's number, for messages.
  virtual unsigned Number() const = 0;

 protected:
  ~TNameEncoder() = default;
};
