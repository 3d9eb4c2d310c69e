// The two scrambling modes of pack entries. Each XORs an entry's bytes with a
// key stream that depends only on the byte's index in the entry, so applying a
// mode twice restores the bytes: the reader and the pack writer share it.
#pragma once

#include <cstddef>

class TVMemoryStream;

enum ScrambleMode { kStored = 0, kMode1 = 1, kMode2 = 2 };

// Scrambles (or descrambles) size bytes in place; mode 1 or 2, other values
// leave the bytes unchanged.
void ScrambleBytes(char* data, std::size_t size, int mode);

// Descramble the whole content of a memory stream in place; its size and
// position stay unchanged.
void DescrambleMode1(TVMemoryStream& stream);
void DescrambleMode2(TVMemoryStream& stream);
