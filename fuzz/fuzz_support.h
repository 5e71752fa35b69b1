// What the fuzz targets share: the given bytes as the program's own file,
// with a fresh run, or a fresh decoder placed in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "decode/decoder_state.h"

// Runs body with the bytes in the archive file and the RunState ready.
void runOnArchive(const uint8_t* data, size_t size, const std::function<void()>& body);

// A zeroed decoder whose input is the bytes, placed at offset, with its
// CRC table built and the input buffer empty; output goes nowhere. The
// caller closes d->input.
std::unique_ptr<DecoderState> decoderOnArchive(const uint8_t* data, size_t size, uint32_t offset);
