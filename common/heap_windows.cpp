#include "heap.h"

namespace tide {

// Windows' heap keeps freed blocks of this size for reuse by itself.
void keepFileBuffers() {}

} // namespace tide
