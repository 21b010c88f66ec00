// Decoding through the Windows Imaging Component: the first frame of an
// image held in memory, as the bottom-up bitmap of wic/wic_image.h.
//
// Each call initialises COM on the calling thread for its own duration and
// releases it before returning (a thread that already has COM keeps it as it
// was). Nothing is kept between calls, so calls on different threads do not
// meet. Results are the .spi return codes.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "spi/spi_interface.h"

// Width, height and bit count (24, or 32 where the picture has
// transparency) of the first frame. kSpiNotSupported when the data are not
// in a claimed family or the system cannot decode them.
int32_t ReadPictureInfo(const uint8_t* data, size_t size, PictureInfo* infoOut);

// Decodes the first frame into a header block and a pixel block, both
// LocalAlloc(LMEM_MOVEABLE), handed to the caller on success:
//   kSpiSuccess       both blocks handed over
//   kSpiNotSupported  not claimed, not decodable, or over 64 Mpixel
//   kSpiAborted       the progress callback asked to stop (at 5/10 before
//                     the blocks exist, or at 1/1 after they were handed
//                     over), or no memory for the blocks
// The out-parameters are written only when the blocks are handed over, and
// then both are set.
int32_t DecodePicture(const uint8_t* data, size_t size, SpiProgress progress,
                      SpiCallerData callerData, SpiHandle* headerOut, SpiHandle* pixelsOut);
