// Copying a known count into a memory stream with its block reserved once
// beforehand. Growing a block chunk by chunk moves it again and again on some
// heaps (Wine's global heap copies it every time), which makes taking a large
// entry into memory quadratic. The result is the same as a plain CopyFrom:
// content, size, position and final capacity.
#pragma once

#include <cstdint>

class TVMemoryStream;
class TVStream;

// dest.CopyFrom(source, count) after reserving room for what the copy will
// write (up to its last whole chunk when source falls short); where the room
// cannot be had, the copy grows the block itself. count must not be 0 (which
// would mean "the whole source").
std::int64_t ReservedCopy(TVMemoryStream& dest, TVStream& source, std::int64_t count);
