// Entropy-coded scans: baseline (sequential) blocks, and the four kinds of
// progressive scan (DC first and refinement, AC first and refinement).
#include <cstring>

#include "jpeg/jpeg_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace jpeg {
namespace {

// DC predictors wrap at 16 bits: hostile streams can push them anywhere, and
// a wrapped value keeps every later product inside 32 bits.
inline int WrapDc(int value) {
    return int16_t(uint16_t(uint32_t(value)));
}

inline int16_t ToCoef(int value) {
    return int16_t(uint16_t(uint32_t(value)));
}

// Restart marker handling between two restart intervals: the bit buffer's
// padding is dropped, an RSTn marker is stepped over, and the predictors and
// end-of-band run start again. A missing marker is searched for forward; if
// another marker comes first, the reader stays stopped in front of it.
void Restart(Decoder& d) {
    BitReader& r = d.reader;
    size_t pos = r.pos;
    while (pos + 1 < r.length) {
        if (r.data[pos] == 0xFF && r.data[pos + 1] != 0 && r.data[pos + 1] != 0xFF) break;
        ++pos;
    }
    bool restartMarker = pos + 1 < r.length && r.data[pos + 1] >= 0xD0 && r.data[pos + 1] <= 0xD7;
    uint32_t zeroBytes = r.zeroBytes;
    r.bits = 0;
    r.count = 0;
    if (restartMarker) {
        r.pos = pos + 2;
        r.stopped = false;
    } else {
        r.pos = pos < r.length ? pos : r.length;
        r.stopped = true;
    }
    // The zeros read in front of a restart marker are the interval's
    // padding, not missing data: only a missing marker keeps them counted.
    r.zeroBytes = restartMarker ? 0 : zeroBytes;
    for (int i = 0; i < d.componentCount; ++i)
        d.comp[i].dcPred = 0;
    d.eobRun = 0;
}

inline bool ScanBroken(const BitReader& r) {
    return r.corrupt || r.zeroBytes > kMaxPhantomBytes;
}

// Visits the blocks of the current scan in stream order. One component: its
// own blocks row by row; several: MCU by MCU. fn(component, blockRow,
// blockColumn, slot) decodes one block and returns false to abandon the scan.
template <typename BlockFn> void ForEachBlock(Decoder& d, BlockFn fn) {
    int restartsLeft = d.restartInterval;
    auto afterUnit = [&](bool last) {
        if (ScanBroken(d.reader)) return false;
        if (d.restartInterval != 0 && --restartsLeft == 0 && !last) {
            Restart(d);
            restartsLeft = d.restartInterval;
        }
        return true;
    };
    if (d.scanCount == 1) {
        Component& c = *d.scanComp[0];
        for (int by = 0; by < c.blocksHigh; ++by) {
            for (int bx = 0; bx < c.blocksWide; ++bx) {
                if (!fn(c, by, bx, 0)) return;
                if (!afterUnit(by == c.blocksHigh - 1 && bx == c.blocksWide - 1)) return;
            }
        }
        return;
    }
    for (int my = 0; my < d.mcusDown; ++my) {
        for (int mx = 0; mx < d.mcusAcross; ++mx) {
            for (int i = 0; i < d.scanCount; ++i) {
                Component& c = *d.scanComp[i];
                for (int v = 0; v < c.v; ++v) {
                    for (int h = 0; h < c.h; ++h) {
                        if (!fn(c, my * c.v + v, mx * c.h + h, i)) return;
                    }
                }
            }
            if (!afterUnit(my == d.mcusDown - 1 && mx == d.mcusAcross - 1)) return;
        }
    }
}

// A DC difference: one look-up for a short code with its magnitude bits.
inline bool DecodeDcDifference(BitReader& r, const HuffmanTable& table, int* diff) {
    if (r.count < 16) Refill(r);
    const int32_t fast = table.fastDc[r.bits >> (64 - kLookBits)];
    if (fast != 0) {
        const int len = fast & 0xFF;
        r.bits <<= len;
        r.count -= len;
        *diff = fast >> 16;
        return true;
    }
    int t = DecodeSymbol(r, table);
    if (t < 0 || t > 15) {
        r.corrupt = true;
        return false;
    }
    *diff = Extend(GetBits(r, t), t);
    return true;
}

// One sequential block into natural order (not yet dequantised). Returns
// false on an impossible symbol; *acOut tells whether any AC coefficient
// was present.
bool DecodeBaselineBlock(BitReader& r, const HuffmanTable& dcTable, const HuffmanTable& acTable,
                         int& pred, int16_t* coef, bool* acOut) {
    int diff = 0;
    if (!DecodeDcDifference(r, dcTable, &diff)) return false;
    pred = WrapDc(pred + diff);
    coef[0] = ToCoef(pred);
    bool any = false;
    int k = 1;
    while (k < 64) {
        if (r.count < 16) Refill(r);
        int32_t fast = acTable.fastAc[r.bits >> (64 - kLookBits)];
        if (fast != 0) {
            int len = fast & 0xFF;
            r.bits <<= len;
            r.count -= len;
            if ((fast >> 16) == 0) break; // end of block
            k += (fast >> 8) & 15;
            if (k > 63) break;
            coef[kZigzag[k]] = ToCoef(fast >> 16);
            any = true;
            ++k;
            continue;
        }
        int rs = DecodeSymbol(r, acTable);
        if (rs < 0) return false;
        int run = rs >> 4;
        int size = rs & 15;
        if (size == 0) {
            if (run != 15) break; // end of block
            k += 16;
            continue;
        }
        k += run;
        if (k > 63) break;
        coef[kZigzag[k]] = ToCoef(Extend(GetBits(r, size), size));
        any = true;
        ++k;
    }
    if (k > 64) {
        r.corrupt = true; // a run past the last coefficient
        return false;
    }
    *acOut = any;
    return true;
}

// The quantisation tables of the scan's components in natural order.
struct ScanQuant {
    uint16_t q[kMaxComponents][64];
};

ScanQuant NaturalQuant(const Decoder& d) {
    ScanQuant s;
    for (int i = 0; i < d.scanCount; ++i)
        for (int k = 0; k < 64; ++k)
            s.q[i][kZigzag[k]] = d.quant[d.scanComp[i]->tq][k];
    return s;
}

void DecodeBaselineScan(Decoder& d) {
    BitReader& r = d.reader;
    const ScanQuant sq = NaturalQuant(d);
    alignas(16) int16_t coef[64];
    ForEachBlock(d, [&](Component& c, int by, int bx, int slot) {
        std::memset(coef, 0, sizeof coef);
        bool ac = false;
        if (!DecodeBaselineBlock(r, d.dc[d.scanDc[slot]], d.ac[d.scanAc[slot]], c.dcPred, coef,
                                 &ac))
            return false;
        uint8_t* out = c.plane + size_t(by) * 8 * c.stride + size_t(bx) * 8;
        TransformOne(d.kernels, coef, sq.q[slot], ac, out, c.stride);
        return true;
    });
}

// Mid-grey for the part of an MCU row that the data did not reach.
void FillRowGrey(Decoder& d, int fromMcu) {
    for (int i = 0; i < d.componentCount; ++i) {
        Component& c = d.comp[i];
        size_t from = size_t(fromMcu) * c.h * 8;
        if (from >= c.stride) continue;
        for (int y = 0; y < c.v * 8; ++y)
            std::memset(c.plane + size_t(y) * c.stride + from, 128, c.stride - from);
    }
}

// Blocks of up to two MCUs waiting for their transform, so that the same
// block of neighbouring MCUs goes through the two-block transform together.
constexpr int kMaxMcuBlocks = kMaxComponents * 16;
struct McuPair {
    int16_t coefs[kMaxMcuBlocks][2][64];
    uint8_t* out[kMaxMcuBlocks][2];
    bool ac[kMaxMcuBlocks][2];
    uint8_t slot[kMaxMcuBlocks]; // scan slot of each block
    int blocks = 0;              // blocks per MCU
};

void TransformMcus(const Decoder& d, const ScanQuant& sq, McuPair& m, int count) {
    if (count == 0) return;
    for (int b = 0; b < m.blocks; ++b) {
        const Component& c = *d.scanComp[m.slot[b]];
        const uint16_t* q = sq.q[m.slot[b]];
        if (count == 2)
            TransformTwo(d.kernels, m.coefs[b][0], q, m.ac[b][0], m.ac[b][1], m.out[b][0],
                         m.out[b][1], c.stride);
        else
            TransformOne(d.kernels, m.coefs[b][0], q, m.ac[b][0], m.out[b][0], c.stride);
    }
}

// The streamed form of a sequential scan that carries every component: each
// MCU row is decoded into row-tall planes and converted into pixels at once,
// so the samples are still in the cache when they are converted.
void DecodeStreamedScan(Decoder& d) {
    BitReader& r = d.reader;
    const ScanQuant sq = NaturalQuant(d);
    McuPair m;
    for (int i = 0; i < d.scanCount; ++i)
        for (int n = 0; n < d.scanComp[i]->h * d.scanComp[i]->v; ++n)
            m.slot[m.blocks++] = uint8_t(i);
    const int rowHeight = 8 * d.vMax;
    int restartsLeft = d.restartInterval;
    bool alive = true;
    for (int my = 0; my < d.mcusDown; ++my) {
        int mx = 0;
        int pending = 0; // decoded MCUs not yet transformed
        for (; mx < d.mcusAcross && alive; ++mx) {
            int b = 0;
            for (int i = 0; i < d.scanCount && alive; ++i) {
                Component& c = *d.scanComp[i];
                for (int v = 0; v < c.v && alive; ++v) {
                    for (int h = 0; h < c.h; ++h, ++b) {
                        int16_t* coef = m.coefs[b][pending];
                        std::memset(coef, 0, 64 * sizeof(int16_t));
                        if (!DecodeBaselineBlock(r, d.dc[d.scanDc[i]], d.ac[d.scanAc[i]], c.dcPred,
                                                 coef, &m.ac[b][pending])) {
                            alive = false;
                            break;
                        }
                        m.out[b][pending] =
                            c.plane + size_t(v) * 8 * c.stride + (size_t(mx) * c.h + size_t(h)) * 8;
                    }
                }
            }
            if (!alive) {
                TransformMcus(d, sq, m, pending);
                FillRowGrey(d, mx);
                break;
            }
            ++pending;
            if (pending == 2 || mx == d.mcusAcross - 1) {
                TransformMcus(d, sq, m, pending);
                pending = 0;
            }
            bool last = my == d.mcusDown - 1 && mx == d.mcusAcross - 1;
            if (ScanBroken(r)) {
                alive = false;
                TransformMcus(d, sq, m, pending);
                FillRowGrey(d, mx + 1);
                break;
            }
            if (d.restartInterval != 0 && --restartsLeft == 0 && !last) {
                Restart(d);
                restartsLeft = d.restartInterval;
            }
        }
        if (!alive && mx == 0) FillRowGrey(d, 0);
        int first[kMaxComponents] = {};
        for (int i = 0; i < d.componentCount; ++i)
            first[i] = my * d.comp[i].v * 8;
        int y0 = my * rowHeight;
        int y1 = y0 + rowHeight < d.height ? y0 + rowHeight : d.height;
        ConvertRows(d, d.image, y0, y1, first);
    }
}

inline int16_t* BlockCoefs(Component& c, int by, int bx) {
    return c.coefs + (size_t(by) * size_t(c.blocksPerLine) + size_t(bx)) * 64;
}

void DecodeDcScan(Decoder& d) {
    BitReader& r = d.reader;
    const int al = d.al;
    if (d.ah == 0) {
        ForEachBlock(d, [&](Component& c, int by, int bx, int slot) {
            int diff = 0;
            if (!DecodeDcDifference(r, d.dc[d.scanDc[slot]], &diff)) return false;
            c.dcPred = WrapDc(c.dcPred + diff);
            BlockCoefs(c, by, bx)[0] = ToCoef(c.dcPred * (1 << al));
            return true;
        });
    } else {
        ForEachBlock(d, [&](Component& c, int by, int bx, int) {
            int16_t* block = BlockCoefs(c, by, bx);
            if (GetBit(r)) block[0] = ToCoef(block[0] | (1 << al));
            return true;
        });
    }
}

void DecodeAcFirstScan(Decoder& d) {
    BitReader& r = d.reader;
    const HuffmanTable& table = d.ac[d.scanAc[0]];
    const int ss = d.ss, se = d.se, al = d.al;
    ForEachBlock(d, [&](Component& c, int by, int bx, int) {
        if (d.eobRun > 0) {
            --d.eobRun;
            return true;
        }
        int16_t* block = BlockCoefs(c, by, bx);
        for (int k = ss; k <= se;) {
            // A short code with its magnitude bits: one look-up.
            if (r.count < 16) Refill(r);
            const int32_t fast = table.fastAc[r.bits >> (64 - kLookBits)];
            if (fast != 0) {
                const int len = fast & 0xFF;
                r.bits <<= len;
                r.count -= len;
                if ((fast >> 16) == 0) break; // end of band, no run after it
                k += (fast >> 8) & 15;
                if (k > se) {
                    r.corrupt = true;
                    return false;
                }
                block[k] = ToCoef((fast >> 16) * (1 << al));
                ++k;
                continue;
            }
            int rs = DecodeSymbol(r, table);
            if (rs < 0) return false;
            int run = rs >> 4;
            int size = rs & 15;
            if (size != 0) {
                k += run;
                if (k > se) {
                    r.corrupt = true;
                    return false;
                }
                block[k] = ToCoef(Extend(GetBits(r, size), size) * (1 << al));
                ++k;
            } else if (run < 15) {
                d.eobRun = int((1u << run) + GetBits(r, run)) - 1;
                break;
            } else {
                k += 16;
            }
        }
        return true;
    });
}

// Bit k set where coefficient k (zig-zag order) of the block is not zero.
inline uint64_t NonZeroMask(const int16_t* block) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    uint64_t zeros = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i* p = reinterpret_cast<const __m128i*>(block + 16 * i);
        __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(p), zero);
        __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(p + 1), zero);
        zeros |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_packs_epi16(a, b)))) << (16 * i);
    }
    return ~zeros;
#else
    uint64_t mask = 0;
    for (int k = 0; k < 64; ++k)
        mask |= uint64_t(block[k] != 0) << k;
    return mask;
#endif
}

// Bit positions of the set bits of each byte value, lowest first.
struct ByteSelect {
    uint8_t at[256][8];
};
constexpr ByteSelect MakeByteSelect() {
    ByteSelect t{};
    for (int v = 0; v < 256; ++v) {
        int n = 0;
        for (int b = 0; b < 8; ++b)
            if (v & (1 << b)) t.at[v][n++] = uint8_t(b);
    }
    return t;
}
constexpr ByteSelect kByteSelect = MakeByteSelect();

// Position of the set bit of x with n set bits below it; -1 when x has no
// more than n. Byte counts summed up the word find the byte, a table the
// bit in it.
inline int SelectBit(uint64_t x, int n) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    uint64_t s = x - ((x >> 1) & 0x5555555555555555ull);
    s = (s & 0x3333333333333333ull) + ((s >> 2) & 0x3333333333333333ull);
    s = (s + (s >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    const uint64_t sums = s * kOnes; // byte i: set bits in bytes 0..i
    if (int(sums >> 56) <= n) return -1;
    // High bit of each byte whose sum exceeds n (sums are below 128).
    const uint64_t above = ((sums | kHigh) - uint64_t(n + 1) * kOnes) & kHigh;
    const int byte = __builtin_ctzll(above) >> 3;
    const int before = byte == 0 ? 0 : int((sums >> (8 * byte - 8)) & 0xFF);
    return 8 * byte + kByteSelect.at[(x >> (8 * byte)) & 0xFF][n - before];
}

// Successive approximation of AC coefficients: coefficients that are already
// non-zero receive one correction bit each as the decoder passes them; newly
// non-zero ones are +-p placed at the position that the zero run names.
// Which coefficients are non-zero is taken once per block as a bit mask, so
// runs and corrections walk set bits instead of every coefficient.
void DecodeAcRefineScan(Decoder& d) {
    BitReader& r = d.reader;
    const HuffmanTable& table = d.ac[d.scanAc[0]];
    const int ss = d.ss, se = d.se;
    const int p = 1 << d.al;
    const uint64_t band = (se == 63 ? ~uint64_t(0) : (uint64_t(1) << (se + 1)) - 1) &
                          ~((uint64_t(1) << ss) - 1);
    // One correction bit for each coefficient in mask, in order: it adds p
    // away from zero when that bit of the magnitude is not yet set.
    auto correct = [&](int16_t* block, uint64_t mask) {
        while (mask != 0) {
            const int k = __builtin_ctzll(mask);
            mask &= mask - 1;
            if (r.count == 0) Refill(r);
            const int bit = int(r.bits >> 63);
            r.bits <<= 1;
            r.count -= 1;
            const int coef = block[k];
            const int add = -(bit & int((coef & p) == 0)) & p;
            block[k] = ToCoef(coef + (coef < 0 ? -add : add));
        }
    };
    ForEachBlock(d, [&](Component& c, int by, int bx, int) {
        int16_t* block = BlockCoefs(c, by, bx);
        const uint64_t nonZero = NonZeroMask(block) & band;
        int k = ss;
        if (d.eobRun == 0) {
            while (k <= se) {
                int run = 0, value = 0;
                // A short code with its sign bit: one look-up. Only entries
                // of size 1 (values +-1) or the end of block (0) qualify: a
                // larger size, wrong in a refinement scan, still takes just
                // one sign bit on the slow path.
                if (r.count < 16) Refill(r);
                const int32_t fast = table.fastAc[r.bits >> (64 - kLookBits)];
                if (fast != 0 && uint32_t((fast >> 16) + 1) <= 2) {
                    const int len = fast & 0xFF;
                    r.bits <<= len;
                    r.count -= len;
                    if ((fast >> 16) == 0) {
                        d.eobRun = 1;
                        break;
                    }
                    run = (fast >> 8) & 15;
                    value = (fast >> 16) * p;
                } else {
                    int rs = DecodeSymbol(r, table);
                    if (rs < 0) return false;
                    run = rs >> 4;
                    int size = rs & 15;
                    if (size != 0) {
                        value = GetBit(r) ? p : -p;
                    } else if (run != 15) {
                        d.eobRun = int((1u << run) + GetBits(r, run));
                        break;
                    }
                }
                // The run counts zero coefficients from k; the coefficient
                // after them receives the value (none for 16 zeros).
                const uint64_t ahead = band & (~uint64_t(0) << k);
                const int at = SelectBit(~nonZero & ahead, run);
                if (at < 0) { // the run leaves the band
                    correct(block, nonZero & ahead);
                    k = se + 1;
                    break;
                }
                correct(block, nonZero & ahead & ((uint64_t(1) << at) - 1));
                if (value != 0) block[at] = ToCoef(value);
                k = at + 1;
            }
        }
        if (d.eobRun > 0) {
            if (k <= se) correct(block, nonZero & (~uint64_t(0) << k));
            --d.eobRun;
        }
        return true;
    });
}

} // namespace

size_t DecodeScan(Decoder& d, const uint8_t* data, size_t length) {
    StartBitReader(d.reader, data, length);
    for (int i = 0; i < d.componentCount; ++i)
        d.comp[i].dcPred = 0;
    d.eobRun = 0;
    if (d.streamed)
        DecodeStreamedScan(d);
    else if (!d.progressive)
        DecodeBaselineScan(d);
    else if (d.ss == 0)
        DecodeDcScan(d);
    else if (d.ah == 0)
        DecodeAcFirstScan(d);
    else
        DecodeAcRefineScan(d);
    return d.reader.pos;
}

} // namespace jpeg
