// The C runtime's start-up applies "pseudo-relocations" to data that a
// program imports from a DLL without declaring it so (auto-import); its
// relocator and the section walking it needs take about 3 KB. The stub links
// with auto-import off (the link fails rather than import data that way), so
// there is never anything to apply, and this empty relocator takes the
// runtime's place. Linked as a source file of the stub, never from a library.
extern "C" void _pei386_runtime_relocator() {}
