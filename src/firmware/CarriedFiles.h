#pragma once

#include <cstddef>
#include <span>

// One file carried inside the program, as the build stored it: a 32-bit length
// and a zlib stream of (32-bit size + bytes).
struct TCarriedFile
{
    const char* name;
    const unsigned char* data;
    std::size_t size;     // stored size
    std::size_t fileSize; // size of the file itself
};

// "QLS-WAV.bin", "Bootloader.hex" and "avrdude.zip", generated at build time.
std::span<const TCarriedFile> CarriedFiles();
