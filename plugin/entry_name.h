// TEntryName: the name of an archive entry, relative to the folder it is
// extracted into, with either slash as separator. Empty and "." components
// are harmless and dropped ("./a//b" is "a/b"); a folder entry that is left
// with no component ("./") names the folder itself.
#pragma once

#include <string>

class TEntryName {
 public:
  explicit TEntryName(std::u16string name);

  const std::u16string& Text() const { return name_; }
  // False for a name that could reach outside its folder or names no entry:
  // empty, absolute, holding a colon (a drive or a stream), with a component
  // of two or more dots only ("..", "..."), or a file name that is left
  // with no component.
  bool IsSafe() const;
  // False when Windows would not create a component under that very name:
  // a control character or one of <>"|?*, a trailing dot or blank (dropped
  // by Windows), or a device name such as CON or LPT1, with any extension.
  bool IsCreatable() const;
  // A name ending in a slash stands for a folder.
  bool IsFolder() const;
  // The name without empty and "." components, with forward slashes.
  const std::u16string& Path() const { return path_; }
  // Path() with the platform's folder delimiter.
  std::u16string LocalPath() const;

 private:
  std::u16string name_;
  std::u16string path_;
};
