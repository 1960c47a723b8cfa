// Under the leak sanitizer: allocations that the libraries beneath Qt keep for the life of the
// process (fontconfig's caches, libdbus's connection state, what SDL keeps after an audio driver
// failed to start) are not reported as leaks. Without
// the sanitizer this function is never called.

extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n"
           "leak:libSDL2-2.0.so\n";
}
