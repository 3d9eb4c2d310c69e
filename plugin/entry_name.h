// TEntryName: the name of an archive entry, relative to the folder it is
// extracted into, with either slash as separator.
#pragma once

#include <string>

class TEntryName {
 public:
  explicit TEntryName(std::u16string name) : name_(std::move(name)) {}

  const std::u16string& Text() const { return name_; }
  // False for a name that could reach outside its folder or name the folder
  // itself: empty, absolute, holding a colon (a drive or a stream), or with a
  // component made of dots only (".", "..", ...), with either slash.
  bool IsSafe() const;
  // A name ending in a slash stands for a folder.
  bool IsFolder() const;
  // The name with the platform's folder delimiter in place of either slash.
  std::u16string LocalPath() const;

 private:
  std::u16string name_;
};
