// Built into the server only under ThreadSanitizer. open62541 takes its timer
// lock and its server lock in both orders on the server thread while starting
// up and iterating; the library is not instrumented and the report is about
// its internals, not about the program's threads.
extern "C" const char* __tsan_default_suppressions() { return "deadlock:libopen62541.so\n"; }
