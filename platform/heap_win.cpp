// The heap on Windows: the process heap keeps freed blocks for reuse already.
#include "platform/heap.h"

namespace platform {

void keepFreedMemory() {}

} // namespace platform
