// Compiled with one library's include path: LAYERING_HEADER names a header that library must
// not see, so this compiles only when the build lets a layer reach what it should not.
#include LAYERING_HEADER
