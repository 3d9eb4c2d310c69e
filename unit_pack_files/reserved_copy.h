// Copying a known count into a memory stream with its block reserved once
// beforehand. Growing a block chunk by chunk moves it again and again on some
// heaps (Wine's global heap copies it every time), which makes staging a large
// pack quadratic. The result is the same as a plain CopyFrom: content, size,
// position and final capacity.
#pragma once

#include <cstdint>

class TVMemoryStream;
class TVStream;

// What the copy does when the block cannot be reserved for lack of memory:
// grow it chunk by chunk as a plain CopyFrom does, or raise EOutOfMemory at
// once, before anything is read. Growing to a size that could not be had in
// one piece moves the block thousands of times (for hours, at a gigabyte) and
// then fails all the same on a heap that moves blocks.
enum class NoRoom { kGrow, kRaise };

// dest.CopyFrom(source, count) after reserving room for what the copy will
// write (up to its last whole chunk when source falls short). count must not
// be 0 (which would mean "the whole source").
std::int64_t ReservedCopy(TVMemoryStream& dest, TVStream& source, std::int64_t count,
                          NoRoom noRoom = NoRoom::kGrow);
