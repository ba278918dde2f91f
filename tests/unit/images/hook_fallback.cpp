// An image that exports the older unload-hook name only.
extern "C" __attribute__((visibility("default"))) void opcDLLExit(void*) {}
