// Folder creation as the stub and fmix use it: an empty path is an error.
#pragma once

#include <string>

#include "os/os.h"

namespace rtl {

// Creates a folder and its missing parents; an empty path raises
// EInOutError. A failure gives false, with the failed call's reason.
os::Done ForceDirectories(const std::u16string& dir);

}  // namespace rtl
