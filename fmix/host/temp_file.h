// TTempFile: a uniquely named file in the system's temporary folder that is
// removed again when the object goes. It is created new, so that a file or
// link that someone else put there under the name is never used. Names are 8-bit text in the system
// code page, like every file name that the streams take.
#pragma once

#include <string>

class TTempFile {
 public:
  // Reserves a new, empty file whose name ends in suffix; raises ECliError
  // when none can be made.
  explicit TTempFile(const std::string& suffix);
  ~TTempFile();
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};
