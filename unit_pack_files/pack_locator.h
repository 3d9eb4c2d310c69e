// Finding the pack appended to a Windows executable image: it starts where
// the raw data of the image's last section ends.
#pragma once

#include <string>

class TVFileStream;
class TVStream;

// True when a byte "f" follows the end of the image's last section. With
// copyData, everything from that end to the end of the file is written into
// dest at its position, through a buffer of at most TVStream::kCopyChunk
// bytes, and dest is then positioned at 0; a memory stream takes its block
// for all of it first (TVStream::Reserve), so a pack it cannot hold raises
// EOutOfMemory before any of it is read. False when the file does not exist,
// does not begin with "M" or "m", or no "f" follows. Stream errors (open,
// short reads, writes, memory) reach the caller; dest keeps what was written.
bool LoadAppendedPack(const std::u16string& fileName, TVStream& dest, bool copyData);

// The same over a file already open for reading, from its start.
bool LoadAppendedPack(TVFileStream& file, TVStream& dest, bool copyData);
