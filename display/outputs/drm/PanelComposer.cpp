// Compiled once per instruction set; the best one this CPU has is picked at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "display/outputs/drm/PanelComposer.cpp"
// clang-format off
#include <hwy/foreach_target.h> // IWYU pragma: keep
#include <hwy/highway.h>
// clang-format on

#include "display/outputs/drm/PanelComposer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// For lambdas on the per-pixel path: left as calls, each call sets up its constants again, and
// the landscape pass spent more time calling than blending.
#ifndef LUMORA_INLINE_LAMBDA
#define LUMORA_INLINE_LAMBDA __attribute__((always_inline))
#endif

HWY_BEFORE_NAMESPACE();
namespace lumora::composer {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using Tables = PanelComposer::Tables;

// Channels are worked on as 16-bit lanes, 16 bytes of pixels at a time.
using D16 = hn::CappedTag<std::int16_t, 16>;
using DU16 = hn::RebindToUnsigned<D16>;
using D8 = hn::Rebind<std::uint8_t, D16>;

// (a * (128 - w) + b * w + 64) >> 7 for bytes a, b: no 16-bit lane overflows.
template <class D, class D8>
HWY_INLINE hn::Vec<D> Lerp(D d, D8 d8, const std::uint8_t* a, const std::uint8_t* b, hn::Vec<D> wa,
                           hn::Vec<D> wb) {
    const auto va = hn::PromoteTo(d, hn::LoadU(d8, a));
    const auto vb = hn::PromoteTo(d, hn::LoadU(d8, b));
    return hn::ShiftRight<7>(
        hn::Add(hn::Add(hn::Mul(va, wa), hn::Mul(vb, wb)), hn::Set(d, std::int16_t{64})));
}

inline std::uint8_t LerpByte(std::uint8_t a, std::uint8_t b, int w) {
    return static_cast<std::uint8_t>((a * (128 - w) + b * w + 64) >> 7);
}

// Rounded average, as AverageRound does it.
inline std::uint8_t Average(std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>((a + b + 1) >> 1);
}

// Rows at whole quarters of the way from a to b (all of them at the panel's 2:1) blend by
// rounded averages; any other row by its weight.
constexpr int byWeight = 5;
inline std::uint8_t BlendByte(std::uint8_t a, std::uint8_t b, int quarter, int weight) {
    switch (quarter) {
    case 0: return a;
    case 1: return Average(a, Average(a, b));
    case 2: return Average(a, b);
    case 3: return Average(Average(a, b), b);
    case 4: return b;
    default: return LerpByte(a, b, weight);
    }
}

// Byte shuffle from four-byte pixels to their first three bytes, per 128-bit block.
constexpr std::uint8_t dropFourth[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 0, 0, 0, 0};

#if HWY_TARGET != HWY_SCALAR
// One turned vector: a frame column's four buffer pixels per 128-bit block, the second block
// four frame columns on (`ts` bytes apart). Narrow, each block's pixels lose their fourth byte
// and take twelve bytes; its store writes four past them, which the next block's store (or
// the run's spare bytes at its end) takes.
template <class D>
HWY_INLINE void StoreTurned(D d, hn::Vec<D> v, std::uint8_t* at, std::size_t ts, bool narrow) {
    const hn::Repartition<std::uint8_t, D> d8;
    if (narrow) {
        v = hn::BitCast(d,
                        hn::TableLookupBytes(hn::BitCast(d8, v), hn::LoadDup128(d8, dropFourth)));
    }
    if constexpr (hn::MaxLanes(d) == 8) {
        const hn::Full128<std::uint8_t> block;
        hn::StoreU(hn::LowerHalf(block, hn::BitCast(d8, v)), block, at);
        hn::StoreU(hn::UpperHalf(block, hn::BitCast(d8, v)), block, at + 4 * ts);
    } else {
        hn::StoreU(hn::BitCast(d8, v), d8, at);
    }
}

// Four buffer columns (r0..r3) of a vector of frame columns, turned: four pixels of each of
// their runs, which lie `ts` bytes apart.
template <class D>
HWY_INLINE void TurnFour(D d, std::uint8_t* at, std::size_t ts, bool narrow, hn::Vec<D> r0,
                         hn::Vec<D> r1, hn::Vec<D> r2, hn::Vec<D> r3) {
    const hn::Repartition<std::uint64_t, D> d64;
    const auto t0 = hn::BitCast(d64, hn::InterleaveLower(d, r0, r1));
    const auto t1 = hn::BitCast(d64, hn::InterleaveLower(d, r2, r3));
    const auto t2 = hn::BitCast(d64, hn::InterleaveUpper(d, r0, r1));
    const auto t3 = hn::BitCast(d64, hn::InterleaveUpper(d, r2, r3));
    StoreTurned(d, hn::BitCast(d, hn::InterleaveLower(d64, t0, t1)), at, ts, narrow);
    StoreTurned(d, hn::BitCast(d, hn::InterleaveUpper(d64, t0, t1)), at + ts, ts, narrow);
    StoreTurned(d, hn::BitCast(d, hn::InterleaveLower(d64, t2, t3)), at + 2 * ts, ts, narrow);
    StoreTurned(d, hn::BitCast(d, hn::InterleaveUpper(d64, t2, t3)), at + 3 * ts, ts, narrow);
}
#endif

// Four-byte pixels to their first three bytes.
void PackRow(const std::uint8_t* from, std::uint8_t* to, std::size_t pixels) {
    std::size_t i = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::Full128<std::uint8_t> d;
    const auto order = hn::LoadU(d, dropFourth);
    // Each store writes four bytes past its twelve: whole stores while the row goes on that far.
    for (; i + 6 <= pixels; i += 4) {
        hn::StoreU(hn::TableLookupBytes(hn::LoadU(d, from + 4 * i), order), d, to + 3 * i);
    }
#endif
    for (; i < pixels; ++i) {
        std::memcpy(to + 3 * i, from + 4 * i, 3);
    }
}

// Frame columns [begin, end) stretched to the panel's depth and turned, so that each becomes
// one contiguous buffer-sized run in the buffer's byte order (three bytes a pixel when narrow,
// else four, with R and B swapped into XRGB8888's order). Frame
// columns on the outside, so each turned run is written whole while the frame rows it reads
// stay in the first-level cache; blended in bytes, then turned in registers.
void Stretch(const Tables& t, const std::uint8_t* frame, std::size_t bytesPerLine,
             std::uint32_t* turned, [[maybe_unused]] std::uint8_t* rows, std::size_t begin,
             std::size_t end) {
    const std::size_t ts = t.tStride;
    const std::size_t depth = static_cast<std::size_t>(t.depth);
    const std::size_t size = t.narrow ? 3 : 4; // bytes a turned pixel
    const auto rowA = [&](std::size_t c) {
        return frame + static_cast<std::size_t>(t.row0[c]) * bytesPerLine;
    };
    const auto rowB = [&](std::size_t c) {
        return frame + static_cast<std::size_t>(t.row1[c]) * bytesPerLine;
    };
    const auto scalarPixel = [&](std::size_t c, std::size_t i) {
        const std::uint8_t* a = rowA(c) + 4 * i;
        const std::uint8_t* b = rowB(c) + 4 * i;
        auto* out = reinterpret_cast<std::uint8_t*>(turned + i % Tables::ring * ts) + c * size;
        for (std::size_t ch = 0; ch < size; ++ch) {
            out[t.order[ch]] = BlendByte(a[ch], b[ch], t.rowQuarter[c], t.rowWeight[c]);
        }
    };
    std::size_t i0 = begin;
#if HWY_TARGET != HWY_SCALAR
    // Two 128-bit blocks of pixels at a time where the CPU has them: each block turns alone.
    const hn::CappedTag<std::uint8_t, 32> d8;
    const hn::Repartition<std::uint32_t, decltype(d8)> d;
    const hn::Repartition<std::uint64_t, decltype(d8)> d64;
    const hn::Repartition<std::uint16_t, decltype(d8)> d16;
    constexpr std::size_t lanes = hn::MaxLanes(d);
    const auto order = hn::LoadU(d8, t.order);
    const std::size_t depth4 = depth / 4 * 4;
    // Whole blocks of columns; the frame's last few (a block would read past its end) as one
    // block ending at its end, which makes some columns again, to the same bytes.
    const auto width = static_cast<std::size_t>(t.srcWidth);
    const std::size_t simdEnd = std::min(end, width / lanes * lanes);
    constexpr std::size_t none = ~std::size_t{0};
    const auto blockAt = [&](std::size_t i) -> std::size_t {
        if (i + lanes <= simdEnd) {
            return i;
        }
        const bool last = i < end && end == width && end >= begin + lanes &&
                          (end - lanes) % Tables::ring + lanes <= Tables::ring;
        return last ? end - lanes : none;
    };
    const auto blend = [&](std::size_t c, std::size_t offset) HWY_ATTR {
        const auto va = hn::LoadU(d8, rowA(c) + offset);
        const auto vb = hn::LoadU(d8, rowB(c) + offset);
        hn::Vec<decltype(d8)> v;
        switch (t.rowQuarter[c]) {
        case 0: v = va; break;
        case 1: v = hn::AverageRound(va, hn::AverageRound(va, vb)); break;
        case 2: v = hn::AverageRound(va, vb); break;
        case 3: v = hn::AverageRound(hn::AverageRound(va, vb), vb); break;
        case 4: v = vb; break;
        default: {
            const int w = t.rowWeight[c];
            const auto wa = hn::Set(d16, static_cast<std::uint16_t>(128 - w));
            const auto wb = hn::Set(d16, static_cast<std::uint16_t>(w));
            // The even and the odd bytes of 16-bit lanes apart: no lane leaves its place.
            const auto low = hn::Set(d16, std::uint16_t{0x00ff});
            const auto half = hn::Set(d16, std::uint16_t{64});
            const auto a = hn::BitCast(d16, va);
            const auto b = hn::BitCast(d16, vb);
            const auto even = hn::ShiftRight<7>(hn::Add(
                hn::Add(hn::Mul(hn::And(a, low), wa), hn::Mul(hn::And(b, low), wb)), half));
            const auto odd = hn::ShiftRight<7>(hn::Add(
                hn::Add(hn::Mul(hn::ShiftRight<8>(a), wa), hn::Mul(hn::ShiftRight<8>(b), wb)),
                half));
            v = hn::BitCast(d8, hn::Or(even, hn::ShiftLeft<8>(odd)));
            break;
        }
        }
        return hn::BitCast(d, hn::TableLookupBytes(v, order));
    };
    // Where every buffer column is a whole number of quarters between two neighbouring frame
    // rows (so at the Touch Bar's 2:1), each is the rounded average of two of the frame's rows
    // and their averages, made once per block in the first-level cache (the swap, a byte
    // shuffle, goes through the averages unchanged). Nothing is chosen per pixel.
    for (; t.quarterRows && blockAt(i0) != none; i0 += lanes) {
        i0 = blockAt(i0);
        const std::size_t offset = 4 * i0;
        const auto height = static_cast<std::size_t>(t.srcHeight);
        for (std::size_t r = 0; r < height; ++r) {
            const auto v = hn::LoadU(d8, frame + r * bytesPerLine + offset);
            hn::StoreU(hn::TableLookupBytes(v, order), d8, rows + r * Tables::rowBytesMax);
        }
        for (std::size_t r = 0; r + 1 < height; ++r) {
            const std::uint8_t* a = rows + r * Tables::rowBytesMax;
            hn::StoreU(hn::AverageRound(hn::LoadU(d8, a), hn::LoadU(d8, a + Tables::rowBytesMax)),
                       d8, rows + (height + r) * Tables::rowBytesMax);
        }
        const auto row = [&](std::size_t c) HWY_ATTR LUMORA_INLINE_LAMBDA {
            return hn::BitCast(d, hn::AverageRound(hn::LoadU(d8, rows + t.rowFirst[c]),
                                                   hn::LoadU(d8, rows + t.rowSecond[c])));
        };
        auto* out = reinterpret_cast<std::uint8_t*>(turned + i0 % Tables::ring * ts);
        for (std::size_t c0 = 0; c0 < depth4; c0 += 4) {
            TurnFour(d, out + c0 * size, ts * 4, t.narrow, row(c0), row(c0 + 1), row(c0 + 2),
                     row(c0 + 3));
        }
        for (std::size_t c = depth4; c < depth; ++c) {
            for (std::size_t i = i0; i < i0 + lanes; ++i) {
                scalarPixel(c, i);
            }
        }
    }
    for (; blockAt(i0) != none; i0 += lanes) {
        i0 = blockAt(i0);
        const std::size_t offset = 4 * i0;
        auto* out = reinterpret_cast<std::uint8_t*>(turned + i0 % Tables::ring * ts);
        for (std::size_t c0 = 0; c0 < depth4; c0 += 4) {
            TurnFour(d, out + c0 * size, ts * 4, t.narrow, blend(c0, offset), blend(c0 + 1, offset),
                     blend(c0 + 2, offset), blend(c0 + 3, offset));
        }
        for (std::size_t c = depth4; c < depth; ++c) {
            for (std::size_t i = i0; i < i0 + lanes; ++i) {
                scalarPixel(c, i);
            }
        }
    }
#endif
    for (; i0 < end; ++i0) {
        for (std::size_t c = 0; c < depth; ++c) {
            scalarPixel(c, i0);
        }
    }
}

// Blends bytes k.. of two rows into `out` while whole vectors of `d` fit; returns where it
// stopped.
template <class D>
HWY_INLINE std::size_t PlainRun(D d, const std::uint8_t* a, const std::uint8_t* b,
                                std::uint8_t* out, std::size_t k, std::size_t bytes, int w) {
    const hn::Rebind<std::uint8_t, D> d8;
    const std::size_t n = hn::Lanes(d);
    const auto wa = hn::Set(d, static_cast<std::int16_t>(128 - w));
    const auto wb = hn::Set(d, static_cast<std::int16_t>(w));
    for (; k + n <= bytes; k += n) {
        hn::StoreU(hn::DemoteTo(d8, Lerp(d, d8, a + k, b + k, wa, wb)), d8, out + k);
    }
    return k;
}

#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
// 32 bytes of a and b blended as below, by the weight pairs (128 - w, w) given for the low and
// the high eight bytes of each 128-bit block.
HWY_INLINE __m256i PairBlend(__m256i a, __m256i b, __m256i lowPairs, __m256i highPairs) {
    const __m256i round = _mm256_set1_epi16(256);
    const __m256i low =
        _mm256_mulhrs_epi16(_mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), lowPairs), round);
    const __m256i high =
        _mm256_mulhrs_epi16(_mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), highPairs), round);
    return _mm256_packus_epi16(low, high);
}

// The same sums by x86's multiply-add of byte pairs: a and b interleaved meet weights
// 128 - w and w (both within a signed byte for 0 < w < 128, and no sum past 32640), and the
// rounding multiply by 256 is the + 64 >> 7. Returns where it stopped.
HWY_INLINE std::size_t PairRun(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out,
                               std::size_t bytes, int w) {
    const __m256i weights = _mm256_set1_epi16(static_cast<short>(w << 8 | (128 - w)));
    const __m256i round = _mm256_set1_epi16(256);
    std::size_t k = 0;
    for (; k + 32 <= bytes; k += 32) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + k));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + k));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k),
                            PairBlend(va, vb, weights, weights));
    }
    if (k + 16 <= bytes) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
        const __m128i w16 = _mm256_castsi256_si128(weights);
        const __m128i r16 = _mm256_castsi256_si128(round);
        const __m128i low = _mm_mulhrs_epi16(_mm_maddubs_epi16(_mm_unpacklo_epi8(va, vb), w16), r16);
        const __m128i high =
            _mm_mulhrs_epi16(_mm_maddubs_epi16(_mm_unpackhi_epi8(va, vb), w16), r16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(low, high));
        k += 16;
    }
    return k;
}
#endif

#if HWY_TARGET != HWY_SCALAR
// At a quarter weight the blend needs no widening: (a (128 - w) + b w + 64) >> 7 is the
// rounded average at w = 64 and, at 32 (96), the rounded average of a (b) with the floored
// average of both, floor((3a + b + 2) / 4). `second`, when not null, is a neighbouring column
// blending the same two at weight w1: both come from one floored average.
inline bool Quarter(int w) {
    return w == 32 || w == 64 || w == 96;
}

template <class D>
HWY_INLINE std::size_t QuarterRun(D d, const std::uint8_t* a, const std::uint8_t* b,
                                  std::uint8_t* first, int w0, std::uint8_t* second, int w1,
                                  std::size_t k, std::size_t bytes) {
    const std::size_t n = hn::Lanes(d);
    const auto bit = hn::Set(d, std::uint8_t{1});
    const auto blend = [](auto va, auto vb, auto up, auto down, int w) HWY_ATTR {
        return w == 64 ? up : hn::AverageRound(w == 32 ? va : vb, down);
    };
    for (; k + n <= bytes; k += n) {
        const auto va = hn::LoadU(d, a + k);
        const auto vb = hn::LoadU(d, b + k);
        const auto up = hn::AverageRound(va, vb);
        const auto down = hn::Sub(up, hn::And(hn::Xor(va, vb), bit));
        hn::StoreU(blend(va, vb, up, down, w0), d, first + k);
        if (second != nullptr) {
            hn::StoreU(blend(va, vb, up, down, w1), d, second + k);
        }
    }
    return k;
}
#endif

// Buffer rows [begin, end), one per bar column: two turned frame columns blended, then the
// coverage and the sprite where this column has any.
void Rows(const Tables& t, const std::uint32_t* turned, std::uint8_t* buffer,
          std::size_t bytesPerLine, std::size_t begin, std::size_t end) {
    const D16 d;
    const DU16 du;
    const D8 d8;
    const std::size_t n = hn::Lanes(d);
    const std::size_t bytes = t.rowBytes;
    // Made into `out` (and `twin`, the next bar column, when it is made alongside); returns
    // whether the twin was.
    const auto blendRow = [&](std::size_t x, std::uint8_t* out,
                              [[maybe_unused]] std::uint8_t* twin) HWY_ATTR LUMORA_INLINE_LAMBDA {
        const int slot = t.overlay[x];
        const std::uint16_t* mul = slot < 0 ? nullptr : t.multiply.data() + slot * bytes;
        const std::uint8_t* add = slot < 0 ? nullptr : t.add.data() + slot * bytes;
        const int i0 = t.col0[x];
        if (i0 < 0) {
            if (add) {
                std::memcpy(out, add, bytes);
            } else {
                std::memset(out, 0, bytes);
            }
            return false;
        }
        const auto* a = reinterpret_cast<const std::uint8_t*>(
            turned + static_cast<std::size_t>(i0) % Tables::ring * t.tStride);
        const auto* b = reinterpret_cast<const std::uint8_t*>(
            turned + static_cast<std::size_t>(t.col1[x]) % Tables::ring * t.tStride);
        const int w = t.colWeight[x];
        std::size_t k = 0;
        if (!mul) {
            if (w == 0 || w == 128) {
                std::memcpy(out, w == 0 ? a : b, bytes); // what the sums give
                return false;
            }
#if HWY_TARGET != HWY_SCALAR
            if (Quarter(w)) {
                // At the Touch Bar's 2:1 every two neighbouring columns share their frame columns.
                const std::size_t next = x + 1;
                const bool pair = next < end && t.overlay[next] < 0 && t.col0[next] == i0 &&
                                  t.col1[next] == t.col1[x] && Quarter(t.colWeight[next]);
                std::uint8_t* second = pair ? twin : nullptr;
                const int w1 = pair ? t.colWeight[next] : w;
                k = QuarterRun(hn::ScalableTag<std::uint8_t>(), a, b, out, w, second, w1, k, bytes);
                k = QuarterRun(hn::Full128<std::uint8_t>(), a, b, out, w, second, w1, k, bytes);
                if (k < bytes && bytes >= 16) {
                    // The last 16 bytes again (a row of three-byte pixels ends mid-vector).
                    k = QuarterRun(hn::Full128<std::uint8_t>(), a, b, out, w, second, w1,
                                   bytes - 16, bytes);
                }
                for (; k < bytes; ++k) {
                    out[k] = LerpByte(a[k], b[k], w);
                    if (second != nullptr) {
                        second[k] = LerpByte(a[k], b[k], w1);
                    }
                }
                return pair;
            }
#endif
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2
            k = PairRun(a, b, out, bytes, w);
#else
            // As wide as the CPU goes, then 16 bytes.
            k = PlainRun(hn::ScalableTag<std::int16_t>(), a, b, out, k, bytes, w);
            k = PlainRun(d, a, b, out, k, bytes, w);
#endif
            for (; k < bytes; ++k) {
                out[k] = LerpByte(a[k], b[k], w);
            }
            return false;
        }
        const auto wa = hn::Set(d, static_cast<std::int16_t>(128 - w));
        const auto wb = hn::Set(d, static_cast<std::int16_t>(w));
        for (; k + n <= bytes; k += n) {
            const auto v = hn::BitCast(du, Lerp(d, d8, a + k, b + k, wa, wb));
            // v * 257 scaled by the multiplier, back to a byte: full coverage keeps v exactly.
            const auto scaled = hn::ShiftRight<8>(
                hn::MulHigh(hn::Or(hn::ShiftLeft<8>(v), v), hn::LoadU(du, mul + k)));
            const auto sum = hn::Add(scaled, hn::PromoteTo(du, hn::LoadU(d8, add + k)));
            hn::StoreU(hn::DemoteTo(d8, hn::BitCast(d, sum)), d8, out + k);
        }
        for (; k < bytes; ++k) {
            const unsigned v = LerpByte(a[k], b[k], w);
            const unsigned scaled = ((v * 257u * mul[k]) >> 16) >> 8;
            out[k] = static_cast<std::uint8_t>(std::min(255u, scaled + add[k]));
        }
        return false;
    };
    for (std::size_t x = begin; x < end; ++x) {
        std::uint8_t* row = buffer + x * bytesPerLine;
        x += blendRow(x, row, x + 1 < end ? row + bytesPerLine : nullptr) ? 1 : 0;
    }
}

// A landscape picture row by row, with no turn: each buffer row blends its two frame rows into
// one line (R and B swapped), then every buffer pixel blends two pixels of that line. The same
// sums as Stretch and Rows, in the same order, so the bytes are the same as the portrait way's.
void Landscape(const Tables& t, const std::uint8_t* frame, std::size_t bytesPerLine,
               std::uint32_t* line, std::uint8_t* buffer, std::size_t bufferBytesPerLine,
               std::uint32_t* packLine) {
    const std::uint8_t* swap = t.order;
    const std::size_t width = static_cast<std::size_t>(t.srcWidth);
    const std::size_t length = static_cast<std::size_t>(t.length);
    const std::size_t depth = static_cast<std::size_t>(t.depth);
    auto* lineBytes = reinterpret_cast<std::uint8_t*>(line);
    const std::size_t lineBytesUsed = width * 4;
    const std::size_t overlaid = t.overlaidRows();
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<std::uint8_t> d8;
    const hn::ScalableTag<std::uint16_t> d16;
    const hn::ScalableTag<std::uint32_t> d32;
    const hn::RebindToSigned<decltype(d32)> di32;
    const std::size_t n8 = hn::Lanes(d8);
    const std::size_t n32 = hn::Lanes(d32);
    const auto order = hn::LoadDup128(d8, swap);
    const auto zero = hn::Zero(di32);
#if HWY_TARGET == HWY_AVX2
    // Blended by byte pairs, which take no weight of 128: see colBytePairs.
    const std::int32_t* col0 = t.pairCol0.data();
    const std::int32_t* col1 = t.pairCol1.data();
#else
    const std::int32_t* col0 = t.col0.data();
    const std::int32_t* col1 = t.col1.data();
    const auto lowBytes = hn::Set(d16, std::uint16_t{0x00ff});
    const auto half = hn::Set(d16, std::uint16_t{64});
    // (a * (128 - w) + b * w + 64) >> 7 on the even and the odd bytes of 16-bit lanes apart.
    const auto lerp = [&](auto va, auto vb, auto wa, auto wb) HWY_ATTR {
        const auto a = hn::BitCast(d16, va);
        const auto b = hn::BitCast(d16, vb);
        const auto even = hn::ShiftRight<7>(hn::Add(
            hn::Add(hn::Mul(hn::And(a, lowBytes), wa), hn::Mul(hn::And(b, lowBytes), wb)), half));
        const auto odd = hn::ShiftRight<7>(hn::Add(
            hn::Add(hn::Mul(hn::ShiftRight<8>(a), wa), hn::Mul(hn::ShiftRight<8>(b), wb)), half));
        return hn::Or(even, hn::ShiftLeft<8>(odd));
    };
    const auto whole = hn::Set(d32, 128u * 0x10001u);
#endif
#endif
    for (std::size_t y = 0; y < depth; ++y) {
        const std::size_t c = depth - 1 - y;
        const std::uint8_t* a = frame + static_cast<std::size_t>(t.row0[c]) * bytesPerLine;
        const std::uint8_t* b = frame + static_cast<std::size_t>(t.row1[c]) * bytesPerLine;
        const int q = t.rowQuarter[c];
        const int w = t.rowWeight[c];
        std::size_t k = 0;
#if HWY_TARGET != HWY_SCALAR
#if HWY_TARGET == HWY_AVX2
        const __m256i rowPairs = _mm256_set1_epi16(static_cast<short>(w << 8 | (128 - w)));
#else
        const auto wa = hn::Set(d16, static_cast<std::uint16_t>(128 - w));
        const auto wb = hn::Set(d16, static_cast<std::uint16_t>(w));
#endif
        for (; k + n8 <= lineBytesUsed; k += n8) {
            const auto va = hn::LoadU(d8, a + k);
            const auto vb = hn::LoadU(d8, b + k);
            hn::Vec<decltype(d8)> v;
            switch (q) {
            case 0: v = va; break;
            case 1: v = hn::AverageRound(va, hn::AverageRound(va, vb)); break;
            case 2: v = hn::AverageRound(va, vb); break;
            case 3: v = hn::AverageRound(hn::AverageRound(va, vb), vb); break;
            case 4: v = vb; break;
            default:
#if HWY_TARGET == HWY_AVX2
                v = hn::Vec<decltype(d8)>{PairBlend(va.raw, vb.raw, rowPairs, rowPairs)};
#else
                v = hn::BitCast(d8, lerp(va, vb, wa, wb));
#endif
                break;
            }
            hn::StoreU(hn::TableLookupBytes(v, order), d8, lineBytes + k);
        }
#endif
        for (; k < lineBytesUsed; ++k) {
            lineBytes[(k & ~std::size_t{3}) + swap[k & 3]] = BlendByte(a[k], b[k], q, w);
        }

        std::uint8_t* row = buffer + y * bufferBytesPerLine;
        std::uint32_t* out = t.packLines ? packLine : reinterpret_cast<std::uint32_t*>(row);
        std::size_t x = 0;
#if HWY_TARGET != HWY_SCALAR
        const auto columns = [&](std::size_t x0) HWY_ATTR LUMORA_INLINE_LAMBDA {
            // Columns outside the view read the line's first pixel; the overlay puts them right.
            const auto i0 = hn::Max(hn::LoadU(di32, col0 + x0), zero);
            const auto i1 = hn::Max(hn::LoadU(di32, col1 + x0), zero);
            const std::int32_t first = std::max(col0[x0], 0);
            hn::Vec<decltype(d32)> va;
            hn::Vec<decltype(d32)> vb;
            const std::int32_t span = col1[x0 + n32 - 1] - first;
            const auto lanes = static_cast<std::int32_t>(n32);
            if (span < 2 * lanes) {
                // Every pixel wanted lies in the next two vectors of the line (always, unless
                // shrunk by half): permutes within them are far cheaper than gathering.
                const auto base = hn::Set(di32, first);
                const auto r0 = hn::Max(hn::Sub(i0, base), zero);
                const auto r1 = hn::Max(hn::Sub(i1, base), zero);
                const auto near = hn::LoadU(d32, line + first);
                if (span < lanes) {
                    va = hn::TableLookupLanes(near, hn::IndicesFromVec(d32, r0));
                    vb = hn::TableLookupLanes(near, hn::IndicesFromVec(d32, r1));
                } else {
                    const auto far = hn::LoadU(d32, line + first + lanes);
                    const auto within = hn::Set(di32, lanes - 1);
                    const auto pick = [&](auto r) HWY_ATTR {
                        const auto at = hn::IndicesFromVec(d32, hn::And(r, within));
                        return hn::IfThenElse(hn::RebindMask(d32, hn::Gt(r, within)),
                                              hn::TableLookupLanes(far, at),
                                              hn::TableLookupLanes(near, at));
                    };
                    va = pick(r0);
                    vb = pick(r1);
                }
            } else {
                va = hn::GatherIndex(d32, line, i0);
                vb = hn::GatherIndex(d32, line, i1);
            }
#if HWY_TARGET == HWY_AVX2
            // Each pixel's byte pairs, twice over: four channels' worth.
            const __m256i pairs =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t.colBytePairs.data() + x0));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x0),
                                PairBlend(va.raw, vb.raw, _mm256_unpacklo_epi32(pairs, pairs),
                                          _mm256_unpackhi_epi32(pairs, pairs)));
#else
            const auto weight = hn::LoadU(d32, t.colPair.data() + x0);
            const auto v =
                lerp(va, vb, hn::BitCast(d16, hn::Sub(whole, weight)), hn::BitCast(d16, weight));
            hn::StoreU(hn::BitCast(d32, v), d32, out + x0);
#endif
        };
        for (; x + n32 <= length; x += n32) {
            columns(x);
        }
        if (x < length && length >= n32) {
            columns(length - n32); // the last vector again, ending at the row's end
            x = length;
        }
#endif
        for (; x < length; ++x) {
            const auto* pa = reinterpret_cast<const std::uint8_t*>(line + std::max(t.col0[x], 0));
            const auto* pb = reinterpret_cast<const std::uint8_t*>(line + std::max(t.col1[x], 0));
            auto* o = reinterpret_cast<std::uint8_t*>(out + x);
            for (int ch = 0; ch < 4; ++ch) {
                o[ch] = LerpByte(pa[ch], pb[ch], t.colWeight[x]);
            }
        }
        // The runs of columns the outline or the sprite touch get the multiplier and addend
        // that Rows gives them, from tables laid out along this row.
        const std::size_t rowAt = y * overlaid * 4;
        for (const Tables::Run& run : t.runs) {
            auto* o = reinterpret_cast<std::uint8_t*>(out + run.x);
            const std::uint16_t* mul = t.rowMultiply.data() + rowAt + run.first * 4;
            const std::uint8_t* add = t.rowAdd.data() + rowAt + run.first * 4;
            const std::size_t bytes = run.count * 4;
            std::size_t k = 0;
#if HWY_TARGET != HWY_SCALAR
            const D16 dI;
            const DU16 dU;
            const D8 dB;
            for (; k + hn::Lanes(dU) <= bytes; k += hn::Lanes(dU)) {
                const auto v = hn::PromoteTo(dU, hn::LoadU(dB, o + k));
                const auto scaled = hn::ShiftRight<8>(
                    hn::MulHigh(hn::Or(hn::ShiftLeft<8>(v), v), hn::LoadU(dU, mul + k)));
                const auto sum = hn::Add(scaled, hn::PromoteTo(dU, hn::LoadU(dB, add + k)));
                hn::StoreU(hn::DemoteTo(dB, hn::BitCast(dI, sum)), dB, o + k);
            }
#endif
            for (; k < bytes; ++k) {
                const unsigned scaled = ((o[k] * 257u * mul[k]) >> 16) >> 8;
                o[k] = static_cast<std::uint8_t>(std::min(255u, scaled + add[k]));
            }
        }
        if (t.packLines) {
            PackRow(reinterpret_cast<const std::uint8_t*>(out), row, length);
        }
    }
}

const char* Target() {
    return hwy::TargetName(HWY_TARGET);
}

// RGBA8888 pixels as opaque 0xAARRGGBB: R and B swapped, alpha set.
void ToArgb(const std::uint8_t* rgba, std::uint32_t* out, std::size_t pixels) {
    std::size_t i = 0;
#if HWY_TARGET != HWY_SCALAR
    static constexpr std::uint8_t swap[16] = {2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15};
    const hn::ScalableTag<std::uint8_t> d8;
    const hn::ScalableTag<std::uint32_t> d32;
    const std::size_t n = hn::Lanes(d32);
    const auto order = hn::LoadDup128(d8, swap);
    const auto alpha = hn::Set(d32, 0xff000000u);
    for (; i + n <= pixels; i += n) {
        const auto v = hn::TableLookupBytes(hn::LoadU(d8, rgba + 4 * i), order);
        hn::StoreU(hn::Or(hn::BitCast(d32, v), alpha), d32, out + i);
    }
#endif
    for (; i < pixels; ++i) {
        const std::uint8_t* p = rgba + 4 * i;
        out[i] = 0xff000000u | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
    }
}

} // namespace HWY_NAMESPACE
} // namespace lumora::composer
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace lumora {
namespace composer {
HWY_EXPORT(Stretch);
HWY_EXPORT(Rows);
HWY_EXPORT(Landscape);
HWY_EXPORT(Target);
HWY_EXPORT(ToArgb);
} // namespace composer

namespace {

std::size_t roundUp4(std::size_t value) {
    return (value + 3) / 4 * 4;
}

// The two source samples and the second one's weight (0..128) for the output pixel centred at
// `centre` (in output pixels) of a stretch of `count` samples over [start, start + size).
struct Sample {
    int first = -1;
    int second = -1;
    std::int16_t weight = 0;
};
Sample sample(double centre, double start, double size, int count) {
    if (!(size > 0.0) || count <= 0 || centre < start || centre >= start + size) {
        return {};
    }
    const double at = std::clamp((centre - start) * count / size - 0.5, 0.0, count - 1.0);
    const int first = static_cast<int>(at);
    const int second = std::min(first + 1, count - 1);
    return {first, second, static_cast<std::int16_t>(std::lround((at - first) * 128.0))};
}

} // namespace

PanelComposer::PanelComposer(PanelLayout layout) : m_layout(layout) {
    build();
}

void PanelComposer::setScene(PanelScene scene) {
    m_scene = std::move(scene);
    build();
}

void PanelComposer::build() {
    Tables& t = m_tables;
    const PanelScene& s = m_scene;
    t.length = std::max(0, m_layout.length());
    t.depth = std::max(0, m_layout.depth());
    t.srcWidth = std::max(0, s.frameWidth);
    t.srcHeight = std::max(0, s.frameHeight);
    const auto length = static_cast<std::size_t>(t.length);
    const auto depth = static_cast<std::size_t>(t.depth);
    t.rowBytes = depth * 4;
    const bool rgb = s.format == PixelFormat::bgr888;
    for (std::size_t i = 0; i < sizeof t.order; ++i) {
        const std::size_t channel = i % 4;
        t.order[i] =
            static_cast<std::uint8_t>(i - channel + (rgb || channel == 3 ? channel : 2 - channel));
    }
    const bool portrait = m_layout.portrait();
    t.narrow = rgb && portrait;
    t.packLines = rgb && !portrait;
    t.packLine.assign(t.packLines ? length + 16 : 0, 0);
    const bool frame = t.srcWidth > 0 && t.srcHeight > 0;

    t.row0.assign(depth, 0);
    t.row1.assign(depth, 0);
    t.rowQuarter.assign(depth, 0);
    t.rowWeight.assign(depth, 0);
    for (std::size_t c = 0; c < depth && frame; ++c) {
        const double y = static_cast<double>(depth - 1 - c) + 0.5;
        Sample row = sample(y, s.viewY, s.viewHeight, t.srcHeight);
        if (row.first < 0) {
            // Outside the view the coverage keeps it dark; any row will do.
            row = {0, 0, 0};
        }
        t.row0[c] = row.first;
        t.row1[c] = row.second;
        t.rowWeight[c] = row.weight;
        t.rowQuarter[c] = static_cast<std::int8_t>(row.weight % 32 == 0 ? row.weight / 32 : 5);
    }
    t.col0.assign(length, -1);
    t.col1.assign(length, -1);
    t.colWeight.assign(length, 0);
    for (std::size_t x = 0; x < length && frame; ++x) {
        const Sample column =
            sample(static_cast<double>(x) + 0.5, s.viewX, s.viewWidth, t.srcWidth);
        t.col0[x] = column.first;
        t.col1[x] = column.second;
        t.colWeight[x] = column.weight;
    }

    // Every buffer column by whole quarters: which two of the frame's rows (r) and their
    // averages (height + r, of r and r + 1) each one averages, as offsets into the scratch.
    t.quarterRows = frame && portrait;
    t.rowFirst.assign(depth, 0);
    t.rowSecond.assign(depth, 0);
    for (std::size_t c = 0; c < depth && t.quarterRows; ++c) {
        const int a = t.row0[c];
        const int b = t.row1[c];
        const int mid = b == a + 1 ? t.srcHeight + a : a;
        static constexpr int none = -1;
        int first = none, second = none;
        switch (t.rowQuarter[c]) {
        case 0: first = second = a; break;
        case 1: first = a, second = mid; break;
        case 2: first = second = mid; break;
        case 3: first = mid, second = b; break;
        case 4: first = second = b; break;
        default: break;
        }
        t.quarterRows = first != none && (b == a || b == a + 1);
        t.rowFirst[c] = first * static_cast<std::int32_t>(Tables::rowBytesMax);
        t.rowSecond[c] = second * static_cast<std::int32_t>(Tables::rowBytesMax);
    }
    t.rows.assign(
        t.quarterRows ? 2 * static_cast<std::size_t>(t.srcHeight) * Tables::rowBytesMax : 0, 0);
    t.tStride = roundUp4(depth);
    t.turned.assign(frame && portrait ? Tables::ring * t.tStride : 0, 0);
    // Two vectors' worth more than the frame is wide, so windows read at the end stay inside.
    t.line.assign(frame && !portrait ? static_cast<std::size_t>(t.srcWidth) + 128 : 0, 0);
    t.colPair.resize(length);
    t.colBytePairs.resize(length);
    t.pairCol0 = t.col0;
    t.pairCol1 = t.col1;
    for (std::size_t x = 0; x < length; ++x) {
        const int w = t.colWeight[x];
        t.colPair[x] = static_cast<std::uint32_t>(w) * 0x10001u;
        // (a 64 + a 64 + 64) >> 7 is a, as (a 128 + 64) >> 7 is.
        const bool whole = w == 0 || w == 128;
        if (w == 0) {
            t.pairCol1[x] = t.col0[x];
        } else if (w == 128) {
            t.pairCol0[x] = t.col1[x];
        }
        const auto pair = static_cast<std::uint32_t>(whole ? 64 | 64 << 8 : (128 - w) | w << 8);
        t.colBytePairs[x] = pair * 0x10001u;
    }

    // The columns that the outline or the sprite touch get a multiplier and an addend per byte.
    const bool covered = s.coverage.size() == length * depth;
    const std::uint32_t backdrop = s.alpha ? 0u : s.backdrop.value_or(0u); // black adds nothing
    const bool sprite = s.spriteWidth > 0 && s.spriteHeight > 0 &&
                        s.sprite.size() == static_cast<std::size_t>(s.spriteWidth) *
                                               static_cast<std::size_t>(s.spriteHeight);
    const auto spriteAt = [&](std::size_t x, std::size_t y) -> std::uint32_t {
        const long sx = static_cast<long>(x) - s.spriteX;
        const long sy = static_cast<long>(y) - s.spriteY;
        if (!sprite || sx < 0 || sy < 0 || sx >= s.spriteWidth || sy >= s.spriteHeight) {
            return 0;
        }
        return s.sprite[static_cast<std::size_t>(sy) * static_cast<std::size_t>(s.spriteWidth) +
                        static_cast<std::size_t>(sx)];
    };
    t.overlay.assign(length, -1);
    t.runs.clear();
    t.multiply.clear();
    t.add.clear();
    for (std::size_t x = 0; x < length; ++x) {
        bool plain = t.col0[x] >= 0;
        for (std::size_t y = 0; y < depth && plain; ++y) {
            plain = (!covered || s.coverage[y * length + x] == 255) && spriteAt(x, y) == 0;
        }
        if (plain || depth == 0) {
            continue;
        }
        t.overlay[x] = static_cast<std::int32_t>(t.add.size() / t.rowBytes);
        if (!t.runs.empty() && t.runs.back().x + t.runs.back().count == x) {
            ++t.runs.back().count;
        } else {
            t.runs.push_back({x, 1, static_cast<std::size_t>(t.overlay[x])});
        }
        for (std::size_t c = 0; c < depth; ++c) {
            const std::size_t y = depth - 1 - c;
            const unsigned cover =
                t.col0[x] < 0 ? 0u : (covered ? s.coverage[y * length + x] : 255u);
            const std::uint32_t over = spriteAt(x, y);
            const unsigned alpha = over >> 24;
            const unsigned keep = cover * (255u - alpha); // of 255 * 255
            const auto scale = static_cast<std::uint16_t>((keep * 65535u + 32512u) / 65025u);
            // The backdrop shows through what the outline leaves, under the sprite.
            const unsigned through = (255u - cover) * (255u - alpha); // of 255 * 255
            const auto channel = [&](int shift) {
                const unsigned under = (backdrop >> shift) & 0xffu;
                return static_cast<std::uint8_t>(((over >> shift) & 0xffu) +
                                                 (under * through + 32512u) / 65025u);
            };
            // Bytes in memory: B, G, R (R, G, B for BGR888), then X or A. X always ends up
            // 255; A, from the frame's opaque 255, becomes the coverage with the sprite over it.
            const std::uint8_t bytes[4] = {channel(rgb ? 16 : 0), channel(8), channel(rgb ? 0 : 16),
                                           static_cast<std::uint8_t>(s.alpha ? alpha : 255u)};
            for (int ch = 0; ch < 4; ++ch) {
                t.multiply.push_back(ch == 3 && !s.alpha ? 0 : scale);
                t.add.push_back(bytes[ch]);
            }
        }
    }
    // The same, laid out along the rows for a landscape picture.
    const std::size_t count = overlaidRows();
    t.rowMultiply.assign(portrait ? 0 : depth * count * 4, 0);
    t.rowAdd.assign(t.rowMultiply.size(), 0);
    for (std::size_t y = 0; y < depth && !portrait; ++y) {
        for (std::size_t j = 0; j < count; ++j) {
            for (std::size_t ch = 0; ch < 4; ++ch) {
                const std::size_t from = j * t.rowBytes + (depth - 1 - y) * 4 + ch;
                const std::size_t to = (y * count + j) * 4 + ch;
                t.rowMultiply[to] = t.multiply[from];
                t.rowAdd[to] = t.add[from];
            }
        }
    }
    // Turned runs of three-byte pixels: the same without every fourth byte.
    if (t.narrow) {
        const auto keep = [](auto& bytes) {
            std::size_t kept = 0;
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                if (i % 4 != 3) {
                    bytes[kept++] = bytes[i];
                }
            }
            bytes.resize(kept);
        };
        keep(t.multiply);
        keep(t.add);
        t.rowBytes = depth * 3;
    }
}

void PanelComposer::compose(const std::uint8_t* frame, std::size_t bytesPerLine,
                            std::uint32_t* buffer, std::size_t bufferStride) {
    compose(
        frame, bytesPerLine,
        ScanOut{reinterpret_cast<std::uint8_t*>(buffer), bufferStride * 4, PixelFormat::xrgb8888});
}

void PanelComposer::compose(const std::uint8_t* frame, std::size_t bytesPerLine,
                            const ScanOut& out) {
    Tables& t = m_tables;
    if (t.length == 0 || t.depth == 0 || out.pixels == nullptr || out.format != m_scene.format) {
        return; // pixels of another size would land in the wrong places, or past the end
    }
    std::uint8_t* buffer = out.pixels;
    const std::size_t pitch = out.bytesPerLine;
    const bool landscape = !m_layout.portrait();
    const bool picture = frame && t.srcWidth > 0 && t.srcHeight > 0;
    if (picture && landscape) {
        const auto landscapeRows = HWY_DYNAMIC_DISPATCH(composer::Landscape);
        landscapeRows(t, frame, bytesPerLine, t.line.data(), buffer, pitch, t.packLine.data());
        return;
    }
    if (picture) {
        // A block of frame columns turned, then every buffer row that needs nothing further:
        // what Rows reads was written moments before and is still in the first-level cache.
        const auto stretch = HWY_DYNAMIC_DISPATCH(composer::Stretch);
        const auto rows = HWY_DYNAMIC_DISPATCH(composer::Rows);
        constexpr std::size_t block = Tables::ring / 2; // a bar column reads two neighbours
        const auto width = static_cast<std::size_t>(t.srcWidth);
        const auto length = static_cast<std::size_t>(t.length);
        std::size_t x = 0;
        for (std::size_t i = 0; i < width; i += block) {
            const std::size_t end = std::min(i + block, width);
            stretch(t, frame, bytesPerLine, t.turned.data(), t.rows.data(), i, end);
            std::size_t ready = x;
            while (ready < length &&
                   (t.col0[ready] < 0 || static_cast<std::size_t>(t.col1[ready]) < end)) {
                ++ready;
            }
            rows(t, t.turned.data(), buffer, pitch, x, ready);
            x = ready;
        }
        rows(t, t.turned.data(), buffer, pitch, x, length);
        return;
    }
    // No picture: every column is outside the view, black but where it is overlaid.
    const auto depth = static_cast<std::size_t>(t.depth);
    const std::size_t size = bytesPerPixel(m_scene.format);
    for (std::size_t x = 0; x < static_cast<std::size_t>(t.length); ++x) {
        const int slot = t.overlay[x];
        const std::uint8_t* add =
            slot < 0 ? nullptr : t.add.data() + static_cast<std::size_t>(slot) * t.rowBytes;
        for (std::size_t c = 0; c < depth; ++c) {
            std::uint8_t pixel[4] = {};
            if (add) {
                const std::size_t entry = t.rowBytes / depth; // the tables' bytes a pixel
                std::memcpy(pixel, add + c * entry, entry);
            }
            const std::size_t row = landscape ? depth - 1 - c : x;
            const std::size_t column = landscape ? x : c;
            std::memcpy(buffer + row * pitch + column * size, pixel, size);
        }
    }
}

void PanelComposer::toArgb(const std::uint8_t* rgba, std::uint32_t* out, std::size_t pixels) {
    HWY_DYNAMIC_DISPATCH(composer::ToArgb)(rgba, out, pixels);
}

const char* PanelComposer::activeTarget() {
    return HWY_DYNAMIC_DISPATCH(composer::Target)();
}

} // namespace lumora
#endif
