// The file that Windows mapped as the running program's image. The pack is
// read from that very file: a file put under the program's name after the
// start (the setup renamed away, another setup with another pack in its
// place) is never read.
#pragma once

#include <memory>

class TVFileStream;

// Opens the program's file by its full name for reading, shared for reading
// only (no one may write, rename or delete it while it is open), and makes
// sure that it is the file mapped as the program's image. Raises when the
// name is unknown, the file cannot be opened or it is another file.
std::unique_ptr<TVFileStream> OpenProgramImage();
