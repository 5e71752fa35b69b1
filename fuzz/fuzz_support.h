// What both fuzz targets share: a fresh run over the given bytes as the
// program's own file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Runs body with the bytes in the archive file and the RunState ready.
void runOnArchive(const uint8_t* data, size_t size, const std::function<void()>& body);
