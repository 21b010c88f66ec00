// The input of a plug-in's GetPictureInfo and GetPicture when it names a
// file: the file's bytes from an offset on, shared by every plug-in Ferrow
// ships.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "spi/spi_interface.h"

// The caller's memory, or a file's bytes in a block released with the record.
struct SpiInput {
    const uint8_t* data = nullptr;
    size_t size = 0;
    HLOCAL fileBlock = nullptr;
    ~SpiInput() {
        if (fileBlock) LocalFree(fileBlock);
    }
};

// Reads path from offset to its end into in (at most 1 GiB); kSpiSuccess,
// kSpiFileError or kSpiNoMemory.
int32_t ReadSpiFile(const char* path, SpiLength offset, SpiInput* in);
