// Finding the pack appended to a Windows executable image: it starts where
// the raw data of the image's last section ends.
#pragma once

#include <string>

class TVFileStream;
class TVMemoryStream;

// True when a byte "f" follows the end of the image's last section. With
// copyData, everything from that end to the end of the file is copied into
// dest at its position, and dest is then positioned at 0. False when the file
// does not exist, does not begin with "M" or "m", or no "f" follows. Stream
// errors (open, short header reads, memory) reach the caller; a pack that
// does not fit in one memory block raises EOutOfMemory before any of it is
// copied.
bool LoadAppendedPack(const std::u16string& fileName, TVMemoryStream& dest, bool copyData);

// The same over a file already open for reading, from its start.
bool LoadAppendedPack(TVFileStream& file, TVMemoryStream& dest, bool copyData);
