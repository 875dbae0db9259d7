// How the programs' heap treats the buffers of a read or write of SysInfo.ini.
#pragma once

namespace tide {

// Both programs read and write the whole file, up to 1 MiB, at every change;
// the buffers of one change are kept for the next rather than given back to
// the system and faulted in afresh, which costs more than the work itself.
void keepFileBuffers();

} // namespace tide
