// TImageIdentity: the icon and version information that a setup's image
// shows in Explorer, read from its resources as Windows reads them, for
// fmix verify's "identity" line.
#pragma once

#include <cstdint>
#include <string>

class TImageIdentity {
 public:
  // Reads the image: the first imageSize bytes of the file named.
  TImageIdentity(const std::string& fileName, std::uint64_t imageSize);

  // False when Windows would not read the resources; Message() says why.
  bool Valid() const { return valid_; }
  // False when the resources pass fmix's bounds (see TResourceTree), which
  // Windows does not set: they are not checked, and Message() says why.
  bool Checked() const { return checked_; }
  // "icon of 4 images; version 1.2.3.4; ProductName "..."", or why the
  // resources are unreadable; empty when the image has neither icon nor version.
  const std::string& Message() const { return message_; }

 private:
  void Describe(const std::string& image);
  bool Fail(const std::string& message);

  bool valid_ = true;
  bool checked_ = true;
  std::string message_;
};
