// Symbols the module exports; everything else is hidden.
#pragma once

#define PXM_EXPORT __attribute__((visibility("default")))

// Gives a function a plain, unmangled symbol name of our choosing.
#ifdef __APPLE__
#define PXM_SYMBOL_NAME(name) __asm__("_" name)
#else
#define PXM_SYMBOL_NAME(name) __asm__(name)
#endif
