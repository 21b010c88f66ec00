// Entropy-coded scans: baseline (sequential) blocks, and the four kinds of
// progressive scan (DC first and refinement, AC first and refinement).
#include <cstring>

#include "jpeg/jpeg_internal.h"

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
    r.zeroBytes = zeroBytes;
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
                block[kZigzag[k]] = ToCoef((fast >> 16) * (1 << al));
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
                block[kZigzag[k]] = ToCoef(Extend(GetBits(r, size), size) * (1 << al));
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

// Successive approximation of AC coefficients: coefficients that are already
// non-zero receive one correction bit each as the decoder passes them; newly
// non-zero ones are +-p placed at the position that the zero run names.
void DecodeAcRefineScan(Decoder& d) {
    BitReader& r = d.reader;
    const HuffmanTable& table = d.ac[d.scanAc[0]];
    const int ss = d.ss, se = d.se;
    const int p = 1 << d.al;
    auto correct = [&](int16_t& coef) {
        if (GetBit(r) && (coef & p) == 0) coef = ToCoef(coef >= 0 ? coef + p : coef - p);
    };
    ForEachBlock(d, [&](Component& c, int by, int bx, int) {
        int16_t* block = BlockCoefs(c, by, bx);
        int k = ss;
        if (d.eobRun == 0) {
            for (; k <= se; ++k) {
                int rs = DecodeSymbol(r, table);
                if (rs < 0) return false;
                int run = rs >> 4;
                int size = rs & 15;
                int value = 0;
                if (size != 0) {
                    value = GetBit(r) ? p : -p;
                } else if (run != 15) {
                    d.eobRun = int((1u << run) + GetBits(r, run));
                    break;
                }
                for (; k <= se; ++k) {
                    int16_t& coef = block[kZigzag[k]];
                    if (coef != 0) {
                        correct(coef);
                    } else {
                        if (run == 0) {
                            if (value != 0) coef = ToCoef(value);
                            break;
                        }
                        --run;
                    }
                }
            }
        }
        if (d.eobRun > 0) {
            for (; k <= se; ++k) {
                int16_t& coef = block[kZigzag[k]];
                if (coef != 0) correct(coef);
            }
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
