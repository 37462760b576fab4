/* The public header must compile as C too. */
#include <CoreGraphics/CoreGraphics.h>
