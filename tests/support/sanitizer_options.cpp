// The engine's allocators answer null when memory runs out; the tests check that, so the
// sanitizer must hand the null back instead of stopping the program.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
