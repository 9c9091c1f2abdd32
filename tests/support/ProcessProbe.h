#pragma once

#include <cstddef>

namespace QuorvaneTest {

// Live or zombie children of this process, read from /proc.
std::size_t CountChildProcesses();
// Open file descriptors of this process.
std::size_t CountOpenFds();
// True while the process with this id runs (a zombie does not count).
bool ProcessAlive(long pid);
// Waits up to the limit for the process to be gone; true when it is.
bool WaitUntilGone(long pid, int milliseconds);
// Resident memory of this process now, and the most it has ever had, in bytes.
std::size_t ResidentBytes();
std::size_t PeakResidentBytes();

}  // namespace QuorvaneTest
