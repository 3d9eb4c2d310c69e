// The runtime's handler for errors of the C library's math functions writes
// a line to the standard error, which the stub does not have, through
// fprintf. This one leaves the error to the library's default handling
// (errno and the function's result) without a message, as the runtime's
// does after its message. Linked as a source file of the stub, never from a
// library, so that it takes the runtime's place.
#include <cmath>

extern "C" int _matherr(struct _exception*) { return 0; }
