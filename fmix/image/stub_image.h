// ReadStub: the launcher stub that fmix append and fmix setup put in front
// of a pack, read whole and checked as one 32-bit image that ends where its
// last section ends, so that the launcher finds the pack right behind it.
#pragma once

#include <string>

// The stub's bytes; raises ECliError naming stubName when it cannot be read,
// is no 32-bit Windows executable, carries a certificate or has data after
// its last section (a symbol table, say).
std::string ReadStub(const std::string& stubName);
