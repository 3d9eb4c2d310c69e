// The stub has no console and shows nothing of its own, so should the
// runtime ever have to terminate it, it aborts at once without a message.
// Replacing the runtime's message-writing handler keeps its symbol demangler
// and printf engine (about 70 KB) out of the stub.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
