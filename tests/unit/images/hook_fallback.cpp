// An image that exports the older entry-point names only: opcDLLInit, which counts its calls,
// and the unload hook opcDLLExit.
extern "C" {
__attribute__((visibility("default"))) int opcDLLInitCalls = 0;
__attribute__((visibility("default"))) void opcDLLInit(void*) {
    ++opcDLLInitCalls;
}
__attribute__((visibility("default"))) void opcDLLExit(void*) {}
}
