// The stub and the plug-in have no console to write to, so should the runtime
// ever have to terminate, they abort at once without a message. Replacing the
// runtime's message-writing handler keeps its symbol demangler and printf
// engine (about 70 KB) out of both. Linked as a source file of each, never
// from a library, so that it always takes the runtime's place.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
