// libturbojpeg keeps its error text in thread-local storage that is
// allocated dynamically; on this system the leak checker's walk of such
// storage crashes in some of these tests, at exit, after the encoder's
// TurboJPEG calls (valgrind finds no bad access there). These tests' leak
// check leaves thread-local storage out of its roots, which can only add
// leak reports, never hide one: glib's per-thread data, kept for the
// process's life and reachable only from there, is then one of them.
extern "C" const char* __lsan_default_options()
{
    return "use_tls=0";
}

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libglib-2.0.so\n";
}
