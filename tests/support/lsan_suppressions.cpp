// fontconfig 2.14 loses a few hundred bytes while it parses its configuration, once per process
// (inside FcInitLoadConfigAndFonts); nothing the engine can free. Every other leak still fails.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
