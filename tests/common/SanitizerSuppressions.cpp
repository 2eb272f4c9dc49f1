// What the sanitizers report of the system libraries under the window
// tests, not of ours.

// Fontconfig keeps a cache for the process' life that LeakSanitizer takes
// for a leak.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif

// Qt's bus thread and image thread pool, with libdbus and glib's event
// loop under them, hand their objects over through atomics and futexes of
// their own that the thread sanitizer cannot see (they are not
// instrumented). Only what those libraries do themselves is ignored: the
// project's code, the tick and the analysis included, stays watched.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so\n"
           "called_from_lib:libQt6Gui.so\n"
           "called_from_lib:libQt6Widgets.so\n"
           "called_from_lib:libQt6DBus.so\n"
           "called_from_lib:libdbus-1.so\n"
           "called_from_lib:libglib-2.0.so\n"
           // The sound server's client library synchronises its own threads
           // with atomics the sanitizer cannot see either.
           "race:libpulsecommon\n"
           "race:libpulse.so\n";
}
#endif
