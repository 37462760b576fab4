// Basic definitions shared by the Core Graphics headers.
#pragma once

#include <float.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#if defined(__cplusplus)
#define CG_EXTERN_C_BEGIN extern "C" {
#define CG_EXTERN_C_END }
#else
#define CG_EXTERN_C_BEGIN
#define CG_EXTERN_C_END
#endif

// The library is built with hidden visibility; only declarations marked CG_EXTERN are exported.
#define CG_EXTERN extern __attribute__((visibility("default")))
#define CG_INLINE static inline

typedef double CGFloat;
#define CGFLOAT_IS_DOUBLE 1
#define CGFLOAT_MIN DBL_MIN
#define CGFLOAT_MAX DBL_MAX
