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

// Enumerations typed as macOS types them, so that code compiled here needs the casts it needs there.
// CG_ENUM: in C++ a named enumeration over the integer type, whose constants combined with another
// enumeration's are a deprecated conversion (C++20). CG_OPTIONS: option bits; in C++ the type is the
// integer itself and its constants an unnamed enumeration over it, so that or-ed options convert back.
// In C both are the integer type and plain constants.
#if defined(__cplusplus)
#define CG_ENUM(type, name) enum name : type
#define CG_OPTIONS(type, name) \
  typedef type name;           \
  enum : type
#else
#define CG_ENUM(type, name) \
  typedef type name;        \
  enum
#define CG_OPTIONS(type, name) CG_ENUM(type, name)
#endif

typedef double CGFloat;
#define CGFLOAT_IS_DOUBLE 1
#define CGFLOAT_MIN DBL_MIN
#define CGFLOAT_MAX DBL_MAX
