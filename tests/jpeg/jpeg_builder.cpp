#include "tests/jpeg/jpeg_builder.h"

void BitWriter::Put(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
        acc_ = (acc_ << 1) | ((bits >> i) & 1);
        if (++used_ == 8) {
            bytes_.push_back(uint8_t(acc_));
            if (acc_ == 0xFF) bytes_.push_back(0);
            acc_ = 0;
            used_ = 0;
        }
    }
}

Bytes BitWriter::Finish() {
    while (used_ != 0) Put(1, 1);
    return bytes_;
}

JpegBuilder& JpegBuilder::Marker(uint16_t code) {
    bytes_.push_back(uint8_t(code >> 8));
    bytes_.push_back(uint8_t(code));
    return *this;
}

JpegBuilder& JpegBuilder::Segment(uint16_t code, const Bytes& body) {
    Marker(code);
    size_t length = body.size() + 2;
    bytes_.push_back(uint8_t(length >> 8));
    bytes_.push_back(uint8_t(length));
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    return *this;
}

JpegBuilder& JpegBuilder::Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

JpegBuilder& JpegBuilder::Frame(uint16_t code, int width, int height,
                                std::initializer_list<FrameComponent> components, uint8_t precision) {
    Bytes body = {precision, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width),
                  uint8_t(components.size())};
    for (const FrameComponent& c : components) body.insert(body.end(), {c.id, c.sampling, c.table});
    return Segment(code, body);
}

JpegBuilder& JpegBuilder::FlatQuant(uint8_t table, uint8_t value) {
    Bytes body(65, value);
    body[0] = table;
    return Segment(0xFFDB, body);
}

JpegBuilder& JpegBuilder::Huffman(uint8_t tableClass, uint8_t number, const Bytes& counts, const Bytes& symbols) {
    Bytes body = {uint8_t(tableClass << 4 | number)};
    Bytes padded = counts;
    padded.resize(16, 0);
    body.insert(body.end(), padded.begin(), padded.end());
    body.insert(body.end(), symbols.begin(), symbols.end());
    return Segment(0xFFC4, body);
}

JpegBuilder& JpegBuilder::ZeroTables() {
    Huffman(0, 0, {1}, {0});
    return Huffman(1, 0, {1}, {0});
}

JpegBuilder& JpegBuilder::Scan(std::initializer_list<uint8_t> ids, uint8_t ss, uint8_t se, uint8_t ahal,
                               uint8_t tables) {
    Bytes body = {uint8_t(ids.size())};
    for (uint8_t id : ids) body.insert(body.end(), {id, tables});
    body.insert(body.end(), {ss, se, ahal});
    return Segment(0xFFDA, body);
}

JpegBuilder& JpegBuilder::Restart(uint16_t interval) {
    return Segment(0xFFDD, {uint8_t(interval >> 8), uint8_t(interval)});
}

Bytes GreyBlockJpeg(int width, int height) {
    JpegBuilder b;
    b.Soi().FlatQuant(0, 1).Frame(0xFFC0, width, height, {{1, 0x11, 0}}).ZeroTables().Scan({1});
    BitWriter bits;
    int blocks = ((width + 7) / 8) * ((height + 7) / 8);
    for (int i = 0; i < blocks; ++i) bits.Put(0, 2);  // DC difference 0, end of block
    b.Raw(bits.Finish()).Eoi();
    return b.bytes();
}
