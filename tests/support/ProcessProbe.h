#pragma once

#include <cstddef>

namespace QuorvaneTest {

// Live or zombie children of this process, read from /proc.
std::size_t CountChildProcesses();
// Open file descriptors of this process.
std::size_t CountOpenFds();

}  // namespace QuorvaneTest
