// standard_descriptors.h: making sure descriptors 0, 1 and 2 are open before a
// program opens a port. A program started with one of them closed would get it
// back from its first open, and what it prints would go down the serial line
// to the driver. Depends on POSIX open.
#pragma once

namespace velkor {

// Opens /dev/null on each of 0, 1 and 2 that is closed. False when one could
// not be opened: the caller must not open a port then.
bool OpenStandardDescriptors();

}  // namespace velkor
