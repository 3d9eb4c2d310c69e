// TIconFile: the images of an .ico file (BMP-style or PNG-compressed, any
// size up to 256 pixels) and the group resource that names them, as an
// image's RT_ICON and RT_GROUP_ICON resources hold them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TIconFile {
 public:
  // Reads the bytes of an .ico file; Failure() says why they are none.
  explicit TIconFile(const std::string& bytes);

  const std::string& Failure() const { return failure_; }
  const std::vector<std::string>& Images() const { return images_; }
  // The RT_GROUP_ICON datum for the images stored as RT_ICON firstId,
  // firstId + 1, and so on.
  std::string Group(std::uint16_t firstId) const;

 private:
  bool Read(const std::string& bytes);

  std::vector<std::string> entries_;  // each image's 12 bytes from width to its size
  std::vector<std::string> images_;
  std::string failure_;
};
