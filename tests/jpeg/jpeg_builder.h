// Hand-made JPEG streams for the decoder's unit and hostile-input tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Entropy-coded data, most significant bit first, with 0xFF bytes stuffed.
class BitWriter {
public:
    void Put(uint32_t bits, int count);
    // Pads the last byte with 1 bits, as encoders do before a marker.
    Bytes Finish();

private:
    Bytes bytes_;
    uint32_t acc_ = 0;
    int used_ = 0;
};

struct FrameComponent {
    uint8_t id, sampling, table;
};

class JpegBuilder {
public:
    JpegBuilder& Soi() { return Marker(0xFFD8); }
    JpegBuilder& Eoi() { return Marker(0xFFD9); }
    JpegBuilder& Marker(uint16_t code);
    JpegBuilder& Segment(uint16_t code, const Bytes& body);
    JpegBuilder& Raw(const Bytes& bytes);
    JpegBuilder& Frame(uint16_t code, int width, int height, std::initializer_list<FrameComponent> components,
                       uint8_t precision = 8);
    JpegBuilder& FlatQuant(uint8_t table, uint8_t value);
    JpegBuilder& Huffman(uint8_t tableClass, uint8_t number, const Bytes& counts, const Bytes& symbols);
    // The simplest tables: DC and AC table 0 each with the one 1-bit code 0
    // for symbol 0 (a zero DC difference; end of block).
    JpegBuilder& ZeroTables();
    JpegBuilder& Scan(std::initializer_list<uint8_t> ids, uint8_t ss = 0, uint8_t se = 63, uint8_t ahal = 0,
                      uint8_t tables = 0x00);
    JpegBuilder& Restart(uint16_t interval);
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// An 8 x 8 greyscale baseline picture whose one block has a zero DC
// difference and no AC terms: mid-grey everywhere.
Bytes GreyBlockJpeg(int width = 8, int height = 8);
