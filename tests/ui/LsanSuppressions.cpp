// Fontconfig keeps a cache for the process' life that LeakSanitizer takes
// for a leak; it is the system library's, not ours.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif
