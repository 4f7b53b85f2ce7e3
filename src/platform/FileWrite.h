#pragma once
#include <cstddef>

namespace velmar {

// Writes all `size` bytes to the descriptor, going on after interrupted or partial writes.
// False on the first real failure.
bool WriteAll(int fd, const void* data, size_t size);

}  // namespace velmar
