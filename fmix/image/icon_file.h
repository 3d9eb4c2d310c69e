// TIconFile: the images of an .ico file (BMP-style or PNG-compressed, any
// size up to 256 pixels) and the group resource that names them, as an
// image's RT_ICON and RT_GROUP_ICON resources hold them. The file may come
// from anyone: it holds at most kMaxImages images, each in bytes of its own
// behind the directory, so that what is read never outgrows the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TIconFile {
 public:
  // The most images an icon file may list; a real one holds a few sizes in
  // a few colour depths.
  static constexpr std::uint16_t kMaxImages = 256;

  // Reads the bytes of an .ico file; Failure() says why they are none.
  explicit TIconFile(const std::string& bytes);

  const std::string& Failure() const { return failure_; }
  const std::vector<std::string>& Images() const { return images_; }
  // The RT_GROUP_ICON datum for the images stored as RT_ICON firstId,
  // firstId + 1, and so on.
  std::string Group(std::uint16_t firstId) const;

 private:
  // Where an image lies in the file, and its number there, from 1.
  struct Place {
    std::uint32_t offset, size;
    int number;
  };
  bool Read(const std::string& bytes);
  bool CheckApart(std::vector<Place> places);
  static std::string ImageName(const Place& place);
  bool Fail(const std::string& failure);

  std::vector<std::string> entries_;  // each image's 12 bytes from width to its size
  std::vector<std::string> images_;
  std::string failure_;
};
