// An image that exports neither unload-hook name.
extern "C" __attribute__((visibility("default"))) void SomethingElse(void*) {}
