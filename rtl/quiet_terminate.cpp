// The stub has no console to write to, so should the runtime ever have to
// terminate, it aborts at once without a message. Replacing the runtime's
// message-writing handler keeps its symbol demangler and printf engine
// (about 70 KB) out of it. Linked as a source file, never from a library, so
// that it always takes the runtime's place. (The plug-in, built without
// exceptions, never reaches the runtime's terminate.)
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
