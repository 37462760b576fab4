// A library in the module directory that offers no CreateFunction.
extern "C" __attribute__((visibility("default"))) int NotAModule() { return 1; }
