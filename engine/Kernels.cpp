// Compiled once per instruction set; the best one this CPU has is picked at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "engine/Kernels.cpp"
// clang-format off
// Order matters: foreach_target re-includes this file once per target, before highway.h.
#include <hwy/foreach_target.h> // IWYU pragma: keep
#include <hwy/highway.h>
#include <hwy/contrib/math/math-inl.h>
// clang-format on

#include "engine/Kernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <type_traits>

// For lambdas that take vectors: left as calls, they pass each vector through memory, which
// cost neon breath a tenth of its time.
#ifndef LUMORA_INLINE_LAMBDA
#define LUMORA_INLINE_LAMBDA __attribute__((always_inline))
#endif

HWY_BEFORE_NAMESPACE();
namespace lumora::kernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using DU = hn::Rebind<std::uint32_t, D>;
using DI = hn::Rebind<std::int32_t, D>;

// Channel value to byte exactly as the straightforward renderer does it: negative or NaN is 0,
// otherwise the integer part of min(v, 1) * 255 + 0.5. Max returns its other operand for a NaN
// on every target, so NaN lands on 0 too. Without clamping the caller guarantees v is within
// [-0.5/255, 1 + 0.5/255), where clamping changes no byte; each bound can be dropped alone.
HWY_INLINE V Scaled(D d, V v, bool clampLow, bool clampHigh) {
    if (clampLow) {
        v = hn::Max(v, hn::Zero(d));
    }
    if (clampHigh) {
        v = hn::Min(v, hn::Set(d, 1.0));
    }
    return hn::Add(hn::Mul(v, hn::Set(d, 255.0)), hn::Set(d, 0.5));
}

// Brightness, quantisation and one 32-bit store per pixel (R, G, B, opaque A in memory order).
// The three bytes are packed while still doubles, so one conversion serves all three.
struct Writer {
    D d;
    V brightness;
    int w;
    bool clampLow;
    bool clampHigh;
    bool dim; // brightness other than 1 (multiplying by exactly 1 changes nothing)
    // Without clamps a byte may be floor(v b 255 + 0.5) in one multiply-add: a few 1e-16 from
    // the step-by-step value, and exactly it where v is 0 or 1. Only for values that do not
    // land on exact halves, as exact fractions of 255 do.
    bool oneStep;
    V byteScale; // brightness times 255

    Writer(D tag, const Plan& p, int width)
        : d(tag), brightness(hn::Set(tag, p.brightness)), w(width), clampLow(p.clampLow),
          clampHigh(p.clampHigh), dim(p.brightness != 1.0), oneStep(!p.clampLow && !p.clampHigh),
          byteScale(hn::Set(tag, p.brightness * 255.0)) {}

    // One channel's byte, as a double.
    HWY_INLINE V byte(V v) const {
        if (dim) {
            v = hn::Mul(brightness, v);
        }
        return hn::Floor(Scaled(d, v, clampLow, clampHigh));
    }

    HWY_INLINE void put(std::uint32_t* row, int x, V r, V g, V b) const {
        storeOpaque(row, x, pack(r, g, b, kOpaque));
    }

    // R + 256 G + 65536 B + alpha, all exact integers. Alpha goes on first, beside the other
    // channels' work rather than after it, which shortens each pixel's chain of steps.
    HWY_INLINE V pack(V r, V g, V b, double alpha = 0.0) const {
        if (dim) {
            r = hn::Mul(brightness, r);
            g = hn::Mul(brightness, g);
            b = hn::Mul(brightness, b);
        }
        V packed = hn::Floor(Scaled(d, r, clampLow, clampHigh));
        if (alpha != 0.0) {
            packed = hn::Add(packed, hn::Set(d, alpha));
        }
        packed =
            hn::MulAdd(hn::Floor(Scaled(d, g, clampLow, clampHigh)), hn::Set(d, 256.0), packed);
        return hn::MulAdd(hn::Floor(Scaled(d, b, clampLow, clampHigh)), hn::Set(d, 65536.0),
                          packed);
    }

    // Bytes already worked out (whole numbers as doubles), packed with opaque alpha.
    HWY_INLINE V packBytes(V r, V g, V b) const {
        return hn::MulAdd(b, hn::Set(d, 65536.0),
                          hn::MulAdd(g, hn::Set(d, 256.0), hn::Add(r, hn::Set(d, kOpaque))));
    }

    // The byte of an already scaled value (v b 255) in one step; see oneStep.
    HWY_INLINE V oneStepByte(V scaled) const { return hn::Floor(hn::Add(scaled, hn::Set(d, 0.5))); }
    // The same for v times a part, with the half added by the part's own multiply-add.
    HWY_INLINE V oneStepByte(V scaled, V part) const {
        return hn::Floor(hn::MulAdd(scaled, part, hn::Set(d, 0.5)));
    }

    // Stores R + 256 G + 65536 B, packed while still doubles (all exact integers).
    HWY_INLINE void store(std::uint32_t* row, int x, V packed) const {
        if constexpr (kOpaque != 0.0) {
            packed = hn::Add(packed, hn::Set(d, kOpaque));
        }
        storeOpaque(row, x, packed);
    }

    // Where the instruction set allows, opaque alpha goes on as a double, so that the packed
    // pixel converts straight to its 32 bits: unsigned on AVX-512 (one instruction fewer than
    // a saturating conversion and an OR, on the two ports 512-bit work shares), signed on AVX2,
    // where 0xFF000000 + v is v - 2^24. Packed pixels are whole numbers below 2^24, so neither
    // needs a clamp.
#if HWY_TARGET == HWY_AVX3
    static constexpr double kOpaque = 4278190080.0;
#elif HWY_TARGET == HWY_AVX2
    static constexpr double kOpaque = -16777216.0;
#else
    static constexpr double kOpaque = 0.0;
#endif

    // The same for a packed pixel that already holds kOpaque.
    HWY_INLINE void storeOpaque(std::uint32_t* row, int x, V packed) const {
        const DU du;
#if HWY_TARGET == HWY_AVX3
        const hn::Vec<DU> px{_mm512_cvttpd_epu32(packed.raw)};
#elif HWY_TARGET == HWY_AVX2
        const hn::Vec<DU> px{_mm256_cvttpd_epi32(packed.raw)};
#else
        const auto px =
            hn::Or(hn::BitCast(du, hn::DemoteTo(DI(), packed)), hn::Set(du, 0xFF000000u));
#endif
        storePixels(row, x, px);
    }

    // The largest byte each channel may take: red and green alike, and blue.
    struct Tops {
#if HWY_TARGET == HWY_AVX2
        __m128i rg, ba; // 16-bit: red's and green's four times; blue's four, then 255s
#else
        hn::Vec<DI> rg, b;
#endif
    };
    HWY_INLINE Tops tops(int rg, int b) const {
#if HWY_TARGET == HWY_AVX2
        return {_mm_set1_epi16(static_cast<short>(rg)),
                _mm_setr_epi16(static_cast<short>(b), static_cast<short>(b), static_cast<short>(b),
                               static_cast<short>(b), 255, 255, 255, 255)};
#else
        const DI di;
        return {hn::Set(di, rg), hn::Set(di, b)};
#endif
    }

    // Bytes already whole (truncated from doubles, so anything below 0 is 0 or less), held to
    // [0, their top] and stored with opaque alpha.
    HWY_INLINE void storeBytes(std::uint32_t* row, int x, hn::Vec<DI> r, hn::Vec<DI> g,
                               hn::Vec<DI> b, const Tops& top) const {
        const DU du;
#if HWY_TARGET == HWY_AVX2
        // Unsigned saturation holds each at 0 below, a 16-bit minimum at its top; the bytes,
        // R, G, B and A four by four, then take their places in one shuffle.
        const __m128i rg = _mm_min_epu16(_mm_packus_epi32(r.raw, g.raw), top.rg);
        const __m128i ba = _mm_min_epu16(_mm_packus_epi32(b.raw, _mm_set1_epi32(255)), top.ba);
        const __m128i bytes = _mm_packus_epi16(rg, ba);
        const __m128i order = _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
        storePixels(row, x, hn::Vec<DU>{_mm_shuffle_epi8(bytes, order)});
#else
        const DI di;
        const auto zero = hn::Zero(di);
        r = hn::Min(hn::Max(r, zero), top.rg);
        g = hn::Min(hn::Max(g, zero), top.rg);
        b = hn::Min(hn::Max(b, zero), top.b);
        const auto px =
            hn::Or(hn::Or(hn::BitCast(du, r), hn::BitCast(du, hn::ShiftLeft<8>(g))),
                   hn::Or(hn::BitCast(du, hn::ShiftLeft<16>(b)), hn::Set(du, 0xFF000000u)));
        storePixels(row, x, px);
#endif
    }

    // Doubles well within the range of int32, truncated.
    HWY_INLINE hn::Vec<DI> truncated(V v) const {
#if HWY_TARGET == HWY_AVX3
        return hn::Vec<DI>{_mm512_cvttpd_epi32(v.raw)};
#elif HWY_TARGET == HWY_AVX2
        return hn::Vec<DI>{_mm256_cvttpd_epi32(v.raw)};
#else
        return hn::DemoteTo(DI(), v);
#endif
    }

    HWY_INLINE void storePixels(std::uint32_t* row, int x, hn::Vec<DU> px) const {
        const DU du;
        const int n = static_cast<int>(hn::Lanes(d));
        if (x + n <= w) {
            hn::StoreU(px, du, row + x);
        } else {
            alignas(64) std::uint32_t tail[64];
            hn::StoreU(px, du, tail);
            std::memcpy(row + x, tail, static_cast<std::size_t>(w - x) * 4);
        }
    }
};

// The plan's colour mixed towards white by some amount, then scaled: colour + w (1 - colour).
struct Tint {
    V c0, c1, c2, w0, w1, w2;
    bool finite;

    Tint(D d, const Plan& p)
        : c0(hn::Set(d, p.color[0])), c1(hn::Set(d, p.color[1])), c2(hn::Set(d, p.color[2])),
          w0(hn::Sub(hn::Set(d, 1.0), c0)), w1(hn::Sub(hn::Set(d, 1.0), c1)),
          w2(hn::Sub(hn::Set(d, 1.0), c2)),
          finite(std::isfinite(p.color[0]) && std::isfinite(p.color[1]) &&
                 std::isfinite(p.color[2])) {}

    HWY_INLINE void put(const Writer& out, std::uint32_t* row, int x, V whiten, V scale) const {
        out.put(row, x, hn::Mul(scale, hn::Add(c0, hn::Mul(whiten, w0))),
                hn::Mul(scale, hn::Add(c1, hn::Mul(whiten, w1))),
                hn::Mul(scale, hn::Add(c2, hn::Mul(whiten, w2))));
    }

    // The colour not whitened at all, packed: c + 0 (1 - c) is c for any finite colour.
    HWY_INLINE V packUnwhitened(D d, const Writer& out, V scale) const {
        if (!finite) {
            const V zero = hn::Zero(d);
            return out.pack(hn::Mul(scale, hn::Add(c0, hn::Mul(zero, w0))),
                            hn::Mul(scale, hn::Add(c1, hn::Mul(zero, w1))),
                            hn::Mul(scale, hn::Add(c2, hn::Mul(zero, w2))));
        }
        return out.pack(hn::Mul(scale, c0), hn::Mul(scale, c1), hn::Mul(scale, c2));
    }
};

// How far a channel's value v may move and keep its byte, floor(v 255 + 0.5): upwards only, or
// either way; less a margin far above what the steps' roundings can add.
inline double ByteRoom(double v, bool eitherWay) {
    const double q = v * 255.0 + 0.5;
    const double rest = q - std::floor(q);
    return (eitherWay ? std::min(rest, 1.0 - rest) : 1.0 - rest) - 1e-9;
}

HWY_INLINE std::uint32_t* RowOf(const Plan& p, int y) {
    // The frame buffer is only ever written through these 32-bit stores and memcpy.
    return reinterpret_cast<std::uint32_t*>(p.out) + static_cast<std::size_t>(y) * p.w;
}

// Within sector k of six, one channel holds the value, one the low and one moves between them
// (rising in even sectors, falling in odd ones).
template <int k> HWY_INLINE void SectorChannels(V value, V low, V moving, V& r, V& g, V& b) {
    if constexpr (k == 0) {
        r = value, g = moving, b = low;
    } else if constexpr (k == 1) {
        r = moving, g = value, b = low;
    } else if constexpr (k == 2) {
        r = low, g = value, b = moving;
    } else if constexpr (k == 3) {
        r = low, g = moving, b = value;
    } else if constexpr (k == 4) {
        r = moving, g = low, b = value;
    } else {
        r = value, g = low, b = moving;
    }
}

// hsv(h, s, 1) scaled by k, with the same arithmetic as the scalar version: within one of the
// six sectors each channel is 1, p = 1 - s, q = 1 - s f or t = 1 - s (1 - f). A vector almost
// always lies in one sector, which is then a plain switch; otherwise selects pick per lane.
template <bool kFullSaturation> HWY_INLINE void Hsv(D d, V h, V s, V k, V& r, V& g, V& b) {
    const V one = hn::Set(d, 1.0);
    const V hh = hn::Mul(hn::Sub(h, hn::Floor(h)), hn::Set(d, 6.0));
    const V i = hn::Floor(hh);
    const V f = hn::Sub(hh, i);
    // The three values, already scaled by k (a scale of 1 when fully saturated).
    const auto value = [&]() HWY_ATTR { return kFullSaturation ? one : k; };
    const auto low = [&]() HWY_ATTR {
        return kFullSaturation ? hn::Zero(d) : hn::Mul(k, hn::Sub(one, s));
    };
    const auto falling = [&]() HWY_ATTR {
        return kFullSaturation ? hn::Sub(one, f) : hn::Mul(k, hn::Sub(one, hn::Mul(s, f)));
    };
    const auto rising = [&]() HWY_ATTR {
        return kFullSaturation ? hn::Sub(one, hn::Sub(one, f))
                               : hn::Mul(k, hn::Sub(one, hn::Mul(s, hn::Sub(one, f))));
    };
    const double first = hn::GetLane(i);
    if (hn::AllTrue(d, hn::Eq(i, hn::Set(d, first)))) {
        switch (static_cast<int>(first) % 6) {
        case 0: SectorChannels<0>(value(), low(), rising(), r, g, b); break;
        case 1: SectorChannels<1>(value(), low(), falling(), r, g, b); break;
        case 2: SectorChannels<2>(value(), low(), rising(), r, g, b); break;
        case 3: SectorChannels<3>(value(), low(), falling(), r, g, b); break;
        case 4: SectorChannels<4>(value(), low(), rising(), r, g, b); break;
        default: SectorChannels<5>(value(), low(), falling(), r, g, b); break;
        }
        return;
    }
    const V v = value();
    const V p = low();
    const V q = falling();
    const V t = rising();
    const V sector = hn::IfThenElseZero(hn::Lt(i, hn::Set(d, 6.0)), i); // 6 is 0 again
    const auto is0 = hn::Eq(sector, hn::Zero(d));
    const auto is1 = hn::Eq(sector, one);
    const auto is2 = hn::Eq(sector, hn::Set(d, 2.0));
    const auto is3 = hn::Eq(sector, hn::Set(d, 3.0));
    const auto is4 = hn::Eq(sector, hn::Set(d, 4.0));
    const auto is5 = hn::Eq(sector, hn::Set(d, 5.0));
    r = hn::IfThenElse(is1, q, hn::IfThenElse(hn::Or(is2, is3), p, hn::IfThenElse(is4, t, v)));
    g = hn::IfThenElse(is0, t, hn::IfThenElse(hn::Or(is1, is2), v, hn::IfThenElse(is3, q, p)));
    b = hn::IfThenElse(hn::Or(is0, is1), p, hn::IfThenElse(is2, t, hn::IfThenElse(is5, q, v)));
}

HWY_INLINE void Spectrum(D d, V h, V& r, V& g, V& b) {
    Hsv<true>(d, h, h, h, r, g, b);
}

// Fully saturated hues: within each sector two channels are 1 and 0 and only the third moves,
// so a vector within one sector quantises one channel and adds the other two, packed once.
struct SpectrumWriter {
    const Writer& out;
    V constant[6];
    V opaque[6]; // constant with the writer's alpha
    V scale[6];

    SpectrumWriter(D d, const Writer& writer) : out(writer) {
        const V high = out.byte(hn::Set(d, 1.0));
        const V low = out.byte(hn::Zero(d));
        const V shifts[3] = {hn::Set(d, 1.0), hn::Set(d, 256.0), hn::Set(d, 65536.0)};
        // Per sector: the moving channel, and which channel is 1 (the third is 0).
        const int moving[6] = {1, 0, 2, 1, 0, 2};
        const int full[6] = {0, 1, 1, 2, 2, 0};
        for (int k = 0; k < 6; ++k) {
            const int zero = 3 - moving[k] - full[k];
            constant[k] = hn::MulAdd(high, shifts[full[k]], hn::Mul(low, shifts[zero]));
            opaque[k] = hn::Add(constant[k], hn::Set(d, Writer::kOpaque));
            scale[k] = shifts[moving[k]];
        }
    }

    // hh is six times the hue's fraction of a turn, all of it in sector k (i = k).
    HWY_INLINE void putInSector(D, std::uint32_t* row, int x, V hh, V i, int k, V one) const {
        const V falling = hn::Sub(one, hn::Sub(hh, i));
        const V v = (k & 1) != 0 ? falling : hn::Sub(one, falling);
        putByte(row, x, out.byte(v), k);
    }

    // The moving channel's byte (as a double) in sector k.
    HWY_INLINE void putByte(std::uint32_t* row, int x, V byte, int k) const {
        out.storeOpaque(row, x, hn::MulAdd(byte, scale[k], opaque[k]));
    }

    // The same where the lanes in `first` are in sector i and the others in sector j.
    template <class M>
    HWY_INLINE void putBytes(std::uint32_t* row, int x, V byte, M first, int i, int j) const {
        out.storeOpaque(row, x,
                        hn::IfThenElse(first, hn::MulAdd(byte, scale[i], opaque[i]),
                                       hn::MulAdd(byte, scale[j], opaque[j])));
    }

    HWY_INLINE void put(D d, std::uint32_t* row, int x, V h) const {
        const V one = hn::Set(d, 1.0);
        const V hh = hn::Mul(hn::Sub(h, hn::Floor(h)), hn::Set(d, 6.0));
        const V i = hn::Floor(hh);
        const double first = hn::GetLane(i);
        if (hn::AllTrue(d, hn::Eq(i, hn::Set(d, first))) && first < 6.0) {
            putInSector(d, row, x, hh, i, static_cast<int>(first), one);
            return;
        }
        V r, g, b;
        Spectrum(d, h, r, g, b);
        out.put(row, x, r, g, b);
    }
};

// z^e for z <= 1 (anything below 1e-150 gives 0) as exp(e log z), with the polynomials of the
// library's Log and Exp but leaner range reductions: z is never subnormal here (anything below
// 1e-150 gives 0, which no byte can tell from the true value) and the result never overflows.
template <int N> HWY_INLINE void PowUnits(D d, V (&z)[N], double e) {
    using DI64 = hn::RebindToSigned<D>;
    const DI64 di;
    const V one = hn::Set(d, 1.0);
    const V tiny = hn::Set(d, 1e-150);
    // Each step for all N vectors before the next: the compiler keeps this order, and the
    // processor then overlaps the N long chains.
#define LUMORA_EACH _Pragma("GCC unroll 4") for (int i = 0; i < N; ++i)
    V x[N], k[N], y[N];
    LUMORA_EACH x[i] = hn::Max(z[i], tiny);

    // x = y 2^k with y in [sqrt(1/2), sqrt(2)).
#if HWY_TARGET == HWY_AVX3
    // AVX-512 splits a double into mantissa and exponent with one instruction each.
    LUMORA_EACH {
        const __m512d mant = _mm512_getmant_pd(x[i].raw, _MM_MANT_NORM_1_2, _MM_MANT_SIGN_zero);
        const __mmask8 high =
            _mm512_cmp_pd_mask(mant, _mm512_set1_pd(1.4142135623730951), _CMP_GT_OQ);
        y[i] = V{_mm512_mask_mul_pd(mant, high, mant, _mm512_set1_pd(0.5))};
        const __m512d exponent = _mm512_getexp_pd(x[i].raw);
        k[i] = V{_mm512_mask_add_pd(exponent, high, exponent, _mm512_set1_pd(1.0))};
    }
#else
    const auto kMagic = hn::Set(di, 0x3FE6A09E00000000LL);
    LUMORA_EACH {
        const auto expBits = hn::Add(hn::BitCast(di, x[i]),
                                     hn::Set(di, 0x3FF0000000000000LL - 0x3FE6A09E00000000LL));
        const auto biased = hn::ShiftRight<52>(expBits);
        k[i] = hn::Sub(hn::BitCast(d, hn::Or(biased, hn::Set(di, 0x4330000000000000LL))),
                       hn::Set(d, 4503599627370496.0 + 1023.0));
        y[i] = hn::Or(
            hn::And(x[i], hn::BitCast(d, hn::Set(di, 0xFFFFFFFFLL))),
            hn::BitCast(d, hn::Add(hn::And(expBits, hn::Set(di, 0xFFFFF00000000LL)), kMagic)));
    }
#endif
    V ym1[N], s[N], t[N];
    LUMORA_EACH ym1[i] = hn::Sub(y[i], one);
    LUMORA_EACH s[i] = hn::Div(ym1[i], hn::Add(y[i], one));
    LUMORA_EACH {
        const V ln = hn::MulSub(
            k[i], hn::Set(d, 0.693147180369123816490),
            hn::Sub(hn::MulSub(s[i], hn::Sub(ym1[i], hn::impl::LogImpl<double>().LogPoly(d, s[i])),
                               hn::Mul(k[i], hn::Set(d, 1.90821492927058770002e-10))),
                    ym1[i]));
        // exp(t) = 2^n exp(r), |r| <= ln(2) / 2.
        t[i] = hn::Mul(hn::Set(d, e), ln);
    }
#if HWY_TARGET == HWY_AVX3
    V n[N];
    LUMORA_EACH n[i] = hn::Round(hn::Mul(t[i], hn::Set(d, 1.442695040888963407359924681)));
#else
    // n rounded with the 1.5 * 2^52 trick, which also leaves it in the low bits.
    const V shifter = hn::Set(d, 6755399441055744.0);
    V nShifted[N], n[N];
    LUMORA_EACH {
        nShifted[i] = hn::MulAdd(t[i], hn::Set(d, 1.442695040888963407359924681), shifter);
        n[i] = hn::Sub(nShifted[i], shifter);
    }
#endif
    V mantissa[N];
    LUMORA_EACH {
        V r = hn::MulAdd(n[i], hn::Set(d, -0.6931471805596629565116018), t[i]);
        r = hn::MulAdd(n[i], hn::Set(d, -0.28235290563031577122588448175e-12), r);
        mantissa[i] = hn::Add(hn::impl::ExpImpl<double>().ExpPoly(d, r), one);
    }
    LUMORA_EACH {
#if HWY_TARGET == HWY_AVX3
        const V power{_mm512_scalef_pd(mantissa[i].raw, n[i].raw)};
#else
        const auto scale =
            hn::ShiftLeft<52>(hn::Sub(hn::BitCast(di, nShifted[i]), hn::BitCast(di, shifter)));
        const V power = hn::BitCast(d, hn::Add(hn::BitCast(di, mantissa[i]), scale));
#endif
        z[i] = hn::IfThenElseZero(hn::Gt(z[i], tiny), power);
    }
#undef LUMORA_EACH
}

HWY_INLINE V PowUnit(D d, V z, double e) {
    V single[1] = {z};
    PowUnits(d, single, e);
    return single[0];
}

HWY_INLINE V AxisU(D d, const Plan& p, int x, V rowP) {
    const V pos = hn::Add(hn::LoadU(d, p.colP + x), rowP);
    return hn::Mul(hn::Sub(pos, hn::Set(d, p.pMin)), hn::Set(d, p.invSpan));
}

// Where the run of pixels that share runOf(inside) ends along a row (runs are intervals: the
// position only grows or only shrinks along a row). The row before usually ended the same run
// a pixel or two away, so that guess is tried first; otherwise a binary search.
template <class RunOf, class Run>
HWY_INLINE int RunEnd(const RunOf& runOf, const Run& run, int inside, int w, int guess) {
    if (guess > inside && guess <= w) {
        int end = guess;
        for (int step = 0; step < 6; ++step) {
            if (end < w && runOf(end) == run) {
                ++end;
            } else if (end - 1 > inside && !(runOf(end - 1) == run)) {
                --end;
            } else {
                return end;
            }
        }
    }
    int end = w;
    while (end - inside > 1) {
        const int mid = inside + (end - inside) / 2;
        (runOf(mid) == run ? inside : end) = mid;
    }
    return end;
}

// The ends of a row's runs, kept for the next row's guesses.
struct RunEnds {
    static constexpr int capacity = 16;
    int ends[2][capacity] = {};
    int counts[2] = {0, 0};
    int row = 0;
    int index = 0;

    void nextRow() {
        row ^= 1;
        counts[row] = 0;
        index = 0;
    }
    int guess() const { return index < counts[row ^ 1] ? ends[row ^ 1][index] : -1; }
    void keep(int end) {
        if (counts[row] < capacity) {
            ends[row][counts[row]++] = end;
        }
        ++index;
    }
};

// Walks one row's vectors through its runs: `run` is the run of the last vector asked about,
// and at() says whether all of that vector's pixels lie in it.
template <class RunOf, class Run> struct RowRuns {
    const RunOf& runOf;
    RunEnds& ends;
    int w;
    int n;
    Run run{};
    int end = 0;

    RowRuns(const RunOf& of, RunEnds& kept, int width, int lanes)
        : runOf(of), ends(kept), w(width), n(lanes) {
        ends.nextRow();
    }
    HWY_INLINE bool at(int x) {
        if (x >= end) {
            run = runOf(x);
            end = RunEnd(runOf, run, x, w, ends.guess());
            ends.keep(end);
        }
        return std::min(x + n, w) <= end;
    }
};

// a / b for a b fixed per frame: a times its rounded reciprocal, then one fused correction step,
// which lands on the correctly rounded quotient, the same double as the division. Without a
// fused multiply-add the correction would round twice, so those targets divide.
HWY_INLINE V Quotient(V a, V b, V inverse) {
#if HWY_NATIVE_FMA
    const V q = hn::Mul(a, inverse);
    return hn::MulAdd(hn::NegMulAdd(q, b, a), inverse, q);
#else
    (void)inverse;
    return hn::Div(a, b);
#endif
}

// How far from a whole number a byte's value worked out the short way must lie to be certain.
constexpr double kSpectrumMargin = 1e-4;

// The straightforward wave: the hue per pixel, then its sector per vector.
struct ExactWave {
    const Plan& p;
    const SpectrumWriter& spectrum;
    V k, s, waveScale, amplitude;

    ExactWave(D d, const Plan& plan, const SpectrumWriter& writer)
        : p(plan), spectrum(writer), k(hn::Set(d, plan.k)), s(hn::Set(d, plan.s)),
          waveScale(hn::Set(d, plan.waveScale)), amplitude(hn::Set(d, 0.05)) {}

    HWY_INLINE void put(D d, std::uint32_t* row, int x, int y) const {
        const V pos = hn::Add(hn::LoadU(d, p.colP + x), hn::Set(d, p.rowP[y]));
        const V base = hn::Sub(hn::Mul(k, hn::Mul(waveScale, pos)), s);
        const V wobble = hn::Add(hn::Mul(hn::LoadU(d, p.colSin + x), hn::Set(d, p.rowCos[y])),
                                 hn::Mul(hn::LoadU(d, p.colCos + x), hn::Set(d, p.rowSin[y])));
        spectrum.put(d, row, x, hn::Add(base, hn::Mul(amplitude, wobble)));
    }
};

#undef LUMORA_SHORT_WAVE // this file is compiled once per target
#if HWY_MAX_BYTES == 64 || HWY_TARGET == HWY_AVX2
#define LUMORA_SHORT_WAVE 1
// With a per-lane table lookup the wave takes a shorter way. Its hue as 1530 (six sectors of
// 255) times its fraction of a turn, G, is a few multiply-adds with the whole turns of s
// taken out first, within 3e-8 of the exact arithmetic while |s| <= 2^16 and the width <= 64.
// Within sector k the moving channel is q = +-b G + offset[k], looked up per lane (sectors are
// short at steep angles, so vectors often span two); a pixel whose q lies further than the margin
// from a whole number has the exact bytes. At a sector edge both sectors give the same pixel,
// so an uncertain sector only matters where q is uncertain too.
constexpr double kWaveMargin = 1e-6;

#if HWY_MAX_BYTES == 64
struct WaveSectors {
    // Entry j is sector j - 1: a G a rounding past either end reads entry 0 (-1, near 0:
    // sector 5 a turn back) or entry 7 (6, near 1530: sector 0 a turn on).
    V slopes, offsets, scales, constants;

    // Opaque alpha rides in every sector's constant, so a packed pixel converts straight to
    // its 32 bits.
    WaveSectors(D d, const SpectrumWriter& spectrum, double b) {
        alignas(64) double table[4][8] = {};
        for (int k = 0; k < 6; ++k) {
            const bool rising = (k & 1) == 0;
            table[0][k + 1] = rising ? b : -b;
            table[1][k + 1] = rising ? 0.5 - 255.0 * b * k : 255.0 * b * (k + 1) + 0.5;
            table[2][k + 1] = hn::GetLane(spectrum.scale[k]);
            table[3][k + 1] = hn::GetLane(spectrum.opaque[k]);
        }
        table[0][7] = b;
        table[1][7] = 0.5 - 1530.0 * b;
        table[2][7] = table[2][1];
        table[3][7] = table[3][1];
        table[0][0] = -b;
        table[1][0] = 0.5;
        table[2][0] = table[2][6];
        table[3][0] = table[3][6];
        slopes = hn::Load(d, table[0]);
        offsets = hn::Load(d, table[1]);
        scales = hn::Load(d, table[2]);
        constants = hn::Load(d, table[3]);
    }

    // The pixels for G in [0, 1530), alpha included, and how far each lane's q lies from the
    // middle between two whole numbers: past 0.5 - kWaveMargin it could be a byte off.
    HWY_INLINE V put(D d, V, V g, hn::Vec<DU>& pixels) const {
        using DI64 = hn::RebindToSigned<D>;
        const V sector = hn::Floor(hn::Mul(g, hn::Set(d, 1.0 / 255.0)));
        // Adding 2^52 leaves a small whole number (0 to 7) in the low bits: no conversion.
        const auto index = hn::IndicesFromVec(
            d, hn::And(hn::BitCast(DI64(), hn::Add(sector, hn::Set(d, 4503599627370497.0))),
                       hn::Set(DI64(), 7)));
        const V q = hn::MulAdd(hn::TableLookupLanes(slopes, index), g,
                               hn::TableLookupLanes(offsets, index));
        const V byte = hn::Floor(q);
        // Packed pixels are whole numbers below 2^32: truncation is exact.
        pixels =
            hn::Vec<DU>{_mm512_cvttpd_epu32(hn::MulAdd(byte, hn::TableLookupLanes(scales, index),
                                                       hn::TableLookupLanes(constants, index))
                                                .raw)};
        return hn::Abs(hn::Sub(hn::Sub(q, byte), hn::Set(d, 0.5)));
    }
};
#else
// Four lanes, where permutations across the vector are slow: q comes from the distance to the
// nearest multiple of 510 (the wave is a triangle, rising in even sectors and falling in odd
// ones), and only the moving channel's shift and the two fixed channels, as 32-bit integers,
// are looked up per lane.
struct WaveSectors {
    __m256i shifts, constants; // entry j is sector j - 1, as above
    V slope;

    WaveSectors(D d, const SpectrumWriter& spectrum, double b) : slope(hn::Set(d, b)) {
        alignas(32) std::int32_t shift[8];
        alignas(32) std::uint32_t constant[8];
        for (int k = 0; k < 6; ++k) {
            const double scale = hn::GetLane(spectrum.scale[k]);
            shift[k + 1] = scale == 1.0 ? 0 : scale == 256.0 ? 8 : 16;
            constant[k + 1] =
                0xFF000000u + static_cast<std::uint32_t>(hn::GetLane(spectrum.constant[k]));
        }
        shift[0] = shift[6];
        constant[0] = constant[6];
        shift[7] = shift[1];
        constant[7] = constant[1];
        shifts = _mm256_load_si256(reinterpret_cast<const __m256i*>(shift));
        constants = _mm256_load_si256(reinterpret_cast<const __m256i*>(constant));
    }

    // G is taken whole (whole turns of 1530 are whole periods of the triangle) and reduced
    // to [0, 1530) for the sector, two shorter chains than one through the reduction.
    HWY_INLINE V put(D d, V whole, V g, hn::Vec<DU>& pixels) const {
        // |G - 510 n| is exact; a tie in the rounding is at a sector's far end, the same
        // distance either way.
        const V n = hn::Round(hn::Mul(whole, hn::Set(d, 1.0 / 510.0)));
        const V q =
            hn::MulAdd(hn::Abs(hn::NegMulAdd(n, hn::Set(d, 510.0), whole)), slope, hn::Set(d, 0.5));
        const V byte = hn::Floor(q);
        // Entry j, truncated from a positive value.
        const __m256i j = _mm256_castsi128_si256(
            _mm256_cvttpd_epi32(hn::MulAdd(g, hn::Set(d, 1.0 / 255.0), hn::Set(d, 1.0)).raw));
        const __m128i shift = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(shifts, j));
        const __m128i constant = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(constants, j));
        pixels = hn::Vec<DU>{
            _mm_add_epi32(_mm_sllv_epi32(_mm256_cvttpd_epi32(byte.raw), shift), constant)};
        return hn::Abs(hn::Sub(hn::Sub(q, byte), hn::Set(d, 0.5)));
    }
};
#endif

// Every vector is stored the short way; in the rare row where some pixel could be a byte off,
// its vectors are checked again and the unsure ones drawn the exact way (a branch per vector
// would cost a quarter of the time).
HWY_INLINE void ShortWave(D d, const Plan& p, const Writer& out, const SpectrumWriter& spectrum,
                          const ExactWave& exact) {
    const DU du;
    const int n = static_cast<int>(hn::Lanes(d));
    const WaveSectors sectors(d, spectrum, p.brightness);
    const double kw = p.k * p.waveScale;
    const V slope = hn::Set(d, 1530.0 * kw);
    const V perTurn = hn::Set(d, 1530.0);
    const V perTurnInverse = hn::Set(d, 1.0 / 1530.0);
    const V unsure = hn::Set(d, 0.5 - kWaveMargin);
    const double fraction = p.s - std::floor(p.s);
    alignas(64) std::uint32_t tail[16];
    // Held locally: the row stores could otherwise alias the plan, reloaded every vector.
    const double* colP = p.colP;
    const double* colSin = p.colSin;
    const double* colCos = p.colCos;
    const int w = p.w;
    for (int y = 0; y < p.h; ++y) {
        std::uint32_t* row = RowOf(p, y);
        const V start = hn::Set(d, 1530.0 * (kw * p.rowP[y] - fraction));
        const V sinPart = hn::Set(d, 1530.0 * 0.05 * p.rowCos[y]);
        const V cosPart = hn::Set(d, 1530.0 * 0.05 * p.rowSin[y]);
        const auto shortWay = [&](int x, hn::Vec<DU>& pixels) HWY_ATTR {
            // The axis and the wobble summed apart: shorter chains.
            const V wobble = hn::MulAdd(cosPart, hn::LoadU(d, colCos + x),
                                        hn::Mul(sinPart, hn::LoadU(d, colSin + x)));
            const V g = hn::Add(hn::MulAdd(slope, hn::LoadU(d, colP + x), start), wobble);
            return sectors.put(
                d, g, hn::NegMulAdd(hn::Floor(hn::Mul(g, perTurnInverse)), perTurn, g), pixels);
        };
        V farthest = hn::Zero(d);
        hn::Vec<DU> pixels;
        int x = 0;
        // Two vectors at a time, so their chains overlap.
        for (; x + 2 * n <= w; x += 2 * n) {
            hn::Vec<DU> next;
            const V first = shortWay(x, pixels);
            const V second = shortWay(x + n, next);
            farthest = hn::Max(farthest, hn::Max(first, second));
            hn::StoreU(pixels, du, row + x);
            hn::StoreU(next, du, row + x + n);
        }
        for (; x + n <= w; x += n) {
            farthest = hn::Max(farthest, shortWay(x, pixels));
            hn::StoreU(pixels, du, row + x);
        }
        if (x < w) {
            farthest = hn::Max(farthest, shortWay(x, pixels));
            hn::Store(pixels, du, tail);
            std::memcpy(row + x, tail, static_cast<std::size_t>(w - x) * 4);
        }
        if (!hn::AllFalse(d, hn::Gt(farthest, unsure))) {
            for (int x = 0; x < w; x += n) {
                if (!hn::AllFalse(d, hn::Gt(shortWay(x, pixels), unsure))) {
                    exact.put(d, row, x, y);
                }
            }
        }
    }
}
#endif

void RainbowWave(const Plan& p) {
    const D d;
    const Writer out(d, p, p.w);
    const int n = static_cast<int>(hn::Lanes(d));
    const SpectrumWriter spectrum(d, out);
    const ExactWave exact(d, p, spectrum);
#ifdef LUMORA_SHORT_WAVE
    if (!p.clampLow && std::abs(p.s) <= 65536.0 && std::abs(p.k) <= 64.0) {
        ShortWave(d, p, out, spectrum, exact);
        return;
    }
#endif
    for (int y = 0; y < p.h; ++y) {
        std::uint32_t* row = RowOf(p, y);
        for (int x = 0; x < p.w; x += n) {
            exact.put(d, row, x, y);
        }
    }
}

// Inside one run a pixel's moving channel, q = 255 b v + 0.5 before its floor, is affine in
// colP[x] up to the rounding of the exact arithmetic, which stays below 3e-6 while the hue's
// whole turns fit in 24 bits. One fused multiply-add then gives q, and a byte that lies further
// than kSpectrumMargin from a whole number is the exact one; a vector with any pixel nearer
// draws the exact way.
void SpectrumCycle(const Plan& p) {
    const D d;
    RunEnds runEnds;
    const Writer out(d, p, p.w);
    const int n = static_cast<int>(hn::Lanes(d));
    const V s = hn::Set(d, p.s);
    const V spread = hn::Set(d, 0.05);
    const SpectrumWriter spectrum(d, out);
    const V one = hn::Set(d, 1.0);
    const V six = hn::Set(d, 6.0);
    // Brightness within [0, 1] and a colour-free effect: no clamp can change a byte.
    const bool affine = !p.clampLow && std::abs(p.s) <= 16777216.0;
    const double slope = 255.0 * p.brightness * (6.0 * (0.05 * p.invSpan));
    const V low = hn::Set(d, kSpectrumMargin);
    const V high = hn::Set(d, 1.0 - kSpectrumMargin);
    for (int y = 0; y < p.h; ++y) {
        std::uint32_t* row = RowOf(p, y);
        const V rowP = hn::Set(d, p.rowP[y]);
        // The hue only grows (or only shrinks) along a row, so its whole turns and its sector
        // each hold for a run of pixels, found with the same arithmetic one pixel at a time.
        const double rowPos = p.rowP[y];
        struct Run {
            double turns, sector;
            bool operator==(const Run&) const = default;
        };
        const auto runOf = [&](int x) {
            const double h = p.s + ((p.colP[x] + rowPos - p.pMin) * p.invSpan) * 0.05;
            const double turns = std::floor(h);
            return Run{turns, std::floor((h - turns) * 6.0)};
        };
        RowRuns<decltype(runOf), Run> runs(runOf, runEnds, p.w, n);
        for (int x = 0; x < p.w;) {
            const bool whole = runs.at(x);
            const Run& run = runs.run;
            const bool inSector = whole && run.sector >= 0.0 && run.sector < 6.0;
            const int k = static_cast<int>(inSector ? run.sector : 0.0);
            if (inSector && affine) {
                // 6 (h - turns) - k where colP[x] is 0; rising sectors count up from it.
                const double g =
                    6.0 * ((p.s - run.turns) + 0.05 * (p.invSpan * (rowPos - p.pMin))) - k;
                const bool rising = (k & 1) == 0;
                const V alpha = hn::Set(d, 255.0 * p.brightness * (rising ? g : 1.0 - g) + 0.5);
                const V beta = hn::Set(d, rising ? slope : -slope);
                // Every vector is stored the short way; only a run where some byte could be
                // off is gone over again, its unsure vectors the exact way.
                const int first = x;
                V nearest = one; // the smallest and largest fraction of the run's q
                V farthest = hn::Zero(d);
                for (; x < p.w && std::min(x + n, p.w) <= runs.end; x += n) {
                    const V q = hn::MulAdd(beta, hn::LoadU(d, p.colP + x), alpha);
                    const V byte = hn::Floor(q);
                    const V rest = hn::Sub(q, byte);
                    nearest = hn::Min(nearest, rest);
                    farthest = hn::Max(farthest, rest);
                    spectrum.putByte(row, x, byte, k);
                }
                if (hn::AllFalse(d, hn::Or(hn::Lt(nearest, low), hn::Gt(farthest, high)))) {
                    continue;
                }
                for (int at = first; at < x; at += n) {
                    const V q = hn::MulAdd(beta, hn::LoadU(d, p.colP + at), alpha);
                    const V rest = hn::Sub(q, hn::Floor(q));
                    if (!hn::AllFalse(d, hn::Or(hn::Lt(rest, low), hn::Gt(rest, high)))) {
                        const V h = hn::Add(s, hn::Mul(AxisU(d, p, at, rowP), spread));
                        spectrum.putInSector(d, row, at,
                                             hn::Mul(hn::Sub(h, hn::Set(d, run.turns)), six),
                                             hn::Set(d, run.sector), k, one);
                    }
                }
                continue;
            }
            const V h = hn::Add(s, hn::Mul(AxisU(d, p, x, rowP), spread));
            if (inSector) {
                spectrum.putInSector(d, row, x, hn::Mul(hn::Sub(h, hn::Set(d, run.turns)), six),
                                     hn::Set(d, run.sector), k, one);
            } else {
                spectrum.put(d, row, x, h);
            }
            x += n;
        }
    }
}

// Lagrange weights of the nodes at -1, 0, 1 and 2 for a point at f in [0, 1). On a table of
// one phase a pixel's nodes follow each other; on more (kPhased) each lies in a run of its own.
// Two definitions on purpose: one written for both (a pointer or an array, one load helper)
// cost the bar's wide frame 4 to 9 % through the code GCC made around it.
template <bool kPhased> struct CubicSide {
    const double* nodes; // nodes[x] is node -1 for pixel x
    V w0, w1, w2, w3;

    HWY_INLINE V at(D d, int x) const {
        const double* n = nodes + x;
        V v = hn::Mul(w0, hn::LoadU(d, n));
        v = hn::MulAdd(w1, hn::LoadU(d, n + 1), v);
        v = hn::MulAdd(w2, hn::LoadU(d, n + 2), v);
        return hn::MulAdd(w3, hn::LoadU(d, n + 3), v);
    }
};

template <> struct CubicSide<true> {
    const double* nodes[4]; // nodes[i][x] is node i - 1 for pixel x
    V w0, w1, w2, w3;

    HWY_INLINE V at(D d, int x) const {
        V v = hn::Mul(w0, hn::LoadU(d, nodes[0] + x));
        v = hn::MulAdd(w1, hn::LoadU(d, nodes[1] + x), v);
        v = hn::MulAdd(w2, hn::LoadU(d, nodes[2] + x), v);
        return hn::MulAdd(w3, hn::LoadU(d, nodes[3] + x), v);
    }
};

// Where node m of a level table is kept (see Plan::levelPhases); the node a pixel step
// further on is kept right after it.
HWY_INLINE std::ptrdiff_t LevelIndex(const Plan& p, std::ptrdiff_t m) {
    const std::ptrdiff_t phases = p.levelPhases;
    return phases == 1 ? m : m % phases * p.levelPhaseStride + m / phases;
}

// Where a side of a row reads a level table: the distance from the middle is side * 2 (e0 +
// alpha x), so a pixel step is levelPhases nodes forwards or backwards. Sets the first node
// the row's first pixel reads (`first` before it) and the fraction past it.
template <class Side>
HWY_INLINE double PlaceSide(const Plan& p, const double* table, const double* reversed, double e0,
                            double side, int before, Side& s) {
    const double alpha = p.axisCos * p.invSpan;
    double q = (side * 2.0 * e0 - p.levelStart) / p.levelStep;
    if (side * alpha < 0.0) { // the distance shrinks along the row: read the reversed copy
        table = reversed;
        q = (p.levelCount - 1) - q;
    }
    const double k = std::floor(q);
    const auto first = static_cast<std::ptrdiff_t>(k) - before;
    if constexpr (std::is_pointer_v<decltype(s.nodes)>) {
        s.nodes = table + first;
    } else {
        for (std::size_t i = 0; i < std::size(s.nodes); ++i) {
            s.nodes[i] = table + LevelIndex(p, first + static_cast<std::ptrdiff_t>(i));
        }
    }
    return q - k;
}

template <bool kPhased>
HWY_INLINE CubicSide<kPhased> LevelSide(D d, const Plan& p, double e0, double side) {
    CubicSide<kPhased> s;
    const double f = PlaceSide(p, p.levels, p.levelsReversed, e0, side, 1, s);
    s.w0 = hn::Set(d, -f * (f - 1.0) * (f - 2.0) / 6.0);
    s.w1 = hn::Set(d, (f + 1.0) * (f - 1.0) * (f - 2.0) / 2.0);
    s.w2 = hn::Set(d, -(f + 1.0) * f * (f - 2.0) / 2.0);
    s.w3 = hn::Set(d, (f + 1.0) * f * (f - 1.0) / 6.0);
    return s;
}

// Calls fill(at, i, end, nodeAt) once per phase of the level tables, for the nodes of
// [first, last) in that phase: table entries at + i .. at + end. nodeAt(i) gives, exactly, the
// node numbers of a vector from entry at + i on. Stores may run up to `pad` entries past end.
template <class Fill>
HWY_INLINE void ForEachPhase(const Plan& p, int first, int last, const Fill& fill) {
    const D d;
    const int phases = p.levelPhases;
    const V times = hn::Set(d, static_cast<double>(phases));
    for (int phase = 0; phase < phases; ++phase) {
        const auto entry = [&](int m) {
            return m <= phase ? 0 : (m - phase + phases - 1) / phases;
        };
        const V plus = hn::Set(d, static_cast<double>(phase));
        const auto nodeAt = [&](int i) HWY_ATTR {
            const V at = hn::Iota(d, static_cast<double>(i));
            return phases == 1 ? at : hn::MulAdd(at, times, plus);
        };
        fill(phase * p.levelPhaseStride, entry(first), entry(last), nodeAt);
    }
}

// The reversed copy of a level table's nodes [first, end): node m becomes levelCount - 1 - m.
HWY_INLINE void Reverse(const Plan& p, const double* table, double* reversed, int first, int end) {
    for (int m = first; m < end; ++m) {
        reversed[LevelIndex(p, p.levelCount - 1 - m)] = table[LevelIndex(p, m)];
    }
}

// The exact level at each node: 0.03 + 0.97 (0.5 - 0.5 cos(2 pi (a - 0.18 d)))^1.6.
void FillLevels(const Plan& p) {
    const D d;
    const int n = static_cast<int>(hn::Lanes(d));
    const V half = hn::Set(d, 0.5);
    // Pixels lie at distances 0 to 1; a vector across the middle reads one side's nodes up to
    // a vector and a node past it. Nodes that no pixel reads are left as they are.
    const auto node = [&](double dist) {
        return std::clamp(static_cast<int>((dist - p.levelStart) / p.levelStep), 0, p.levelCount);
    };
    const double margin = (2.0 * n + 4.0) * p.levelPhases * p.levelStep;
    const int first = node(-margin);
    const int last = node(1.0 + margin) + 1;
    ForEachPhase(p, first, last, [&](std::ptrdiff_t at, int i, int end, auto nodeAt) HWY_ATTR {
        double* out = p.levels + at;
        // Four vectors at a time (each phase has room past its end), so that their long
        // chains overlap.
        constexpr int kWide = 4;
        for (; i < end; i += kWide * n) {
            V lift[kWide];
            for (int j = 0; j < kWide; ++j) {
                const V dist = hn::Add(hn::Mul(nodeAt(i + j * n), hn::Set(d, p.levelStep)),
                                       hn::Set(d, p.levelStart));
                const V arg =
                    hn::Sub(hn::Set(d, p.breathPhase),
                            hn::Mul(dist, hn::Set(d, 2.0 * 3.14159265358979323846 * 0.18)));
                lift[j] = hn::Sub(half, hn::Mul(half, hn::Cos(d, arg)));
            }
            PowUnits(d, lift, 1.6);
            for (int j = 0; j < kWide; ++j) {
                hn::StoreU(hn::Add(hn::Mul(lift[j], hn::Set(d, 0.97)), hn::Set(d, 0.03)), d,
                           out + i + j * n);
            }
        }
    });
    Reverse(p, p.levels, p.levelsReversed, first, std::min(last + n, p.levelCount));
}

void NeonBreath(const Plan& p) {
    const D d;
    RunEnds runEnds;
    if (p.levels != nullptr) {
        FillLevels(p);
    }
    const Writer out(d, p, p.w);
    const int n = static_cast<int>(hn::Lanes(d));
    const V one = hn::Set(d, 1.0);
    const V half = hn::Set(d, 0.5);
    const V drift = hn::Set(d, p.hueDrift);
    for (int y = 0; y < p.h; ++y) {
        std::uint32_t* row = RowOf(p, y);
        const V rowP = hn::Set(d, p.rowP[y]);
        // cos(2 pi (a - 0.18 d)) = cos(A - k |e|) with k e = column angle + row angle: by angle
        // addition it is colCos * alpha + colSin * beta, with one pair of row constants for
        // each side of the middle (where the sign of e flips).
        const double rs = p.rowSin[y];
        const double rc = p.rowCos[y];
        const V alphaAfter = hn::Set(d, p.cosA * rc + p.sinA * rs);
        const V betaAfter = hn::Set(d, p.sinA * rc - p.cosA * rs);
        const V alphaBefore = hn::Set(d, p.cosA * rc - p.sinA * rs);
        const V betaBefore = hn::Set(d, -(p.cosA * rs + p.sinA * rc));
        // The level (a long chain of dependent steps) for one vector of pixels.
        const auto levelAt = [&](int x, V& e) HWY_ATTR {
            e = hn::Sub(AxisU(d, p, x, rowP), half);
            const auto before = hn::Lt(e, hn::Zero(d));
            const V c = hn::Add(
                hn::Mul(hn::LoadU(d, p.colCos + x),
                        hn::IfThenElse(before, alphaBefore, alphaAfter)),
                hn::Mul(hn::LoadU(d, p.colSin + x), hn::IfThenElse(before, betaBefore, betaAfter)));
            const V lift = hn::Sub(half, hn::Mul(half, c));
            return hn::Add(hn::Mul(PowUnit(d, lift, 1.6), hn::Set(d, 0.97)), hn::Set(d, 0.03));
        };
        // The saturation and hue that go with a level at distance e from the middle.
        const auto tone = [&](V e, V level, V& saturation, V& hue) HWY_ATTR LUMORA_INLINE_LAMBDA {
            const V l3 = hn::Mul(hn::Mul(level, level), level);
            saturation = hn::Add(hn::Mul(hn::Mul(l3, l3), hn::Set(d, -0.55)), one);
            // (2 |e|) 0.22 and |e| 0.44 are the same double: scaling by 2 is exact.
            hue = hn::Add(drift, hn::Mul(hn::Abs(e), hn::Set(d, 0.44)));
        };
        const auto draw = [&](int x, V e, V level) HWY_ATTR LUMORA_INLINE_LAMBDA {
            V saturation, hue;
            tone(e, level, saturation, hue);
            V r, g, b;
            Hsv<false>(d, hue, saturation, level, r, g, b);
            out.put(row, x, r, g, b);
        };
        if (p.levels != nullptr) {
            const double e0 = (0.5 * p.axisCos + p.rowP[y] - p.pMin) * p.invSpan - 0.5;
            // A narrow frame steps over several nodes a pixel: its reads are laid out apart.
            const auto fromTables = [&](auto phased) HWY_ATTR {
                using Side = CubicSide<decltype(phased)::value>;
                const Side after = LevelSide<decltype(phased)::value>(d, p, e0, 1.0);
                const Side before = LevelSide<decltype(phased)::value>(d, p, e0, -1.0);
                // The hue grows with the distance from the middle, so the side of the middle, the
                // hue's whole turns and its sector each hold for a run of pixels, found with the
                // same arithmetic one pixel at a time. Inside a run nothing is chosen per vector.
                const double rowPos = p.rowP[y];
                struct Run {
                    bool left;
                    double turns, sector;
                    bool operator==(const Run&) const = default;
                };
                const auto runOf = [&](int x) {
                    const double e = ((p.colP[x] + rowPos) - p.pMin) * p.invSpan - 0.5;
                    const double h = p.hueDrift + std::abs(e) * 0.44;
                    const double turns = std::floor(h);
                    return Run{e < 0.0, turns, std::floor((h - turns) * 6.0)};
                };
                RowRuns<decltype(runOf), Run> runs(runOf, runEnds, p.w, n);
                // Hsv's arithmetic for one sector, with its floors known. Inside a run the side of
                // the middle is known too, so the sector's fraction, 6 (drift + 0.44 |e| - turns) -
                // k, is linear in the column's position: one multiply-add from two constants per
                // run instead of ten steps. It lands within a few 1e-15 of the step-by-step value,
                // far closer than the level's reading from its table. The runs themselves are still
                // found the step-by-step way.
                const double slope = 6.0 * 0.44 * p.invSpan;
                const double rowAt = (p.rowP[y] - p.pMin) * p.invSpan - 0.5;
                const auto inSector = [&](auto sector, auto fused, int& x, const Side& side,
                                          bool left, double turns) HWY_ATTR {
                    constexpr int k = decltype(sector)::value;
                    constexpr bool kFused = decltype(fused)::value;
                    // f = fAt + fSlope colP[x]; rising sectors use 1 - f.
                    const double sign = left ? -1.0 : 1.0;
                    const double fAt = 6.0 * (p.hueDrift - turns) - k + 6.0 * 0.44 * sign * rowAt;
                    const double fSlope = sign * slope;
                    const V at = hn::Set(d, k % 2 == 0 ? 1.0 - fAt : fAt);
                    const V along = hn::Set(d, k % 2 == 0 ? -fSlope : fSlope);
                    // Local copies: the pixel stores could otherwise alias the position and the
                    // writer's settings, which the compiler would then read again after every
                    // store.
                    const Side levels = side;
                    const Writer w = out;
                    const double* const colP = p.colP;
                    // The pixel, packed.
                    const auto pixel = [&](int x) HWY_ATTR LUMORA_INLINE_LAMBDA {
                        const V level = levels.at(d, x);
                        const V l3 = hn::Mul(hn::Mul(level, level), level);
                        const V s = hn::Add(hn::Mul(hn::Mul(l3, l3), hn::Set(d, -0.55)), one);
                        // Rising in even sectors (t = 1 - f), falling in odd ones (t = f).
                        const V t = hn::MulAdd(hn::LoadU(d, colP + x), along, at);
                        V r, g, b;
                        if constexpr (kFused) {
                            // The level scaled to bytes once; each channel is a part of it.
                            const V scaled = hn::Mul(level, w.byteScale);
                            const V value = w.oneStepByte(scaled);
                            const V low = w.oneStepByte(scaled, hn::Sub(one, s));
                            const V moving = w.oneStepByte(scaled, hn::NegMulAdd(s, t, one));
                            SectorChannels<k>(value, low, moving, r, g, b);
                            return w.packBytes(r, g, b);
                        } else {
                            const V low = hn::Mul(level, hn::Sub(one, s));
                            const V moving = hn::Mul(level, hn::Sub(one, hn::Mul(s, t)));
                            SectorChannels<k>(level, low, moving, r, g, b);
                            return w.pack(r, g, b, Writer::kOpaque);
                        }
                    };
                    const int end = runs.end;
                    int i = x;
                    // Four vectors at a time, so their chains overlap.
                    for (; i + 4 * n <= end && i + 4 * n <= p.w; i += 4 * n) {
                        const V p0 = pixel(i);
                        const V p1 = pixel(i + n);
                        const V p2 = pixel(i + 2 * n);
                        const V p3 = pixel(i + 3 * n);
                        w.storeOpaque(row, i, p0);
                        w.storeOpaque(row, i + n, p1);
                        w.storeOpaque(row, i + 2 * n, p2);
                        w.storeOpaque(row, i + 3 * n, p3);
                    }
                    for (; i < p.w && std::min(i + n, p.w) <= end; i += n) {
                        w.storeOpaque(row, i, pixel(i));
                    }
                    x = i;
                };
                for (int x = 0; x < p.w;) {
                    const bool whole = runs.at(x);
                    const Run& run = runs.run;
                    if (whole && run.sector >= 0.0 && run.sector < 6.0) {
                        const Side& side = run.left ? before : after;
                        const auto in = [&](auto k) HWY_ATTR {
                            if (out.oneStep) {
                                inSector(k, std::true_type{}, x, side, run.left, run.turns);
                            } else {
                                inSector(k, std::false_type{}, x, side, run.left, run.turns);
                            }
                        };
                        switch (static_cast<int>(run.sector)) {
                        case 0: in(std::integral_constant<int, 0>{}); break;
                        case 1: in(std::integral_constant<int, 1>{}); break;
                        case 2: in(std::integral_constant<int, 2>{}); break;
                        case 3: in(std::integral_constant<int, 3>{}); break;
                        case 4: in(std::integral_constant<int, 4>{}); break;
                        default: in(std::integral_constant<int, 5>{}); break;
                        }
                        continue;
                    }
                    const V e = hn::Sub(AxisU(d, p, x, rowP), half);
                    const auto left = hn::Lt(e, hn::Zero(d));
                    draw(x, e, hn::IfThenElse(left, before.at(d, x), after.at(d, x)));
                    x += n;
                }
            };
            if (p.levelPhases == 1) {
                fromTables(std::false_type{});
            } else {
                fromTables(std::true_type{});
            }
            continue;
        }
        int x = 0;
        // Two vectors at a time, so their chains overlap.
        for (; x + 2 * n <= p.w; x += 2 * n) {
            V e0, e1;
            const V level0 = levelAt(x, e0);
            const V level1 = levelAt(x + n, e1);
            draw(x, e0, level0);
            draw(x + n, e1, level1);
        }
        for (; x < p.w; x += n) {
            V e;
            const V level = levelAt(x, e);
            draw(x, e, level);
        }
    }
}

// Lagrange weights of the nodes at -2 ... 3 for a point at f in [0, 1): a quintic read, whose
// error on the pulse's narrow bumps stays near 1e-13, far below what a byte can show.
template <bool kPhased> struct QuinticSide {
    const double* nodes; // nodes[x] is node -2 for pixel x
    V w[6];

    HWY_INLINE V at(D d, int x) const {
        const double* n = nodes + x;
        // Two chains of three, which a processor overlaps better than one of six.
        V v = hn::Mul(w[0], hn::LoadU(d, n));
        V u = hn::Mul(w[3], hn::LoadU(d, n + 3));
        v = hn::MulAdd(w[1], hn::LoadU(d, n + 1), v);
        u = hn::MulAdd(w[4], hn::LoadU(d, n + 4), u);
        v = hn::MulAdd(w[2], hn::LoadU(d, n + 2), v);
        u = hn::MulAdd(w[5], hn::LoadU(d, n + 5), u);
        return hn::Add(v, u);
    }
};

template <> struct QuinticSide<true> {
    const double* nodes[6]; // nodes[i][x] is node i - 2 for pixel x
    V w[6];

    HWY_INLINE V at(D d, int x) const {
        V v = hn::Mul(w[0], hn::LoadU(d, nodes[0] + x));
        V u = hn::Mul(w[3], hn::LoadU(d, nodes[3] + x));
        v = hn::MulAdd(w[1], hn::LoadU(d, nodes[1] + x), v);
        u = hn::MulAdd(w[4], hn::LoadU(d, nodes[4] + x), u);
        v = hn::MulAdd(w[2], hn::LoadU(d, nodes[2] + x), v);
        u = hn::MulAdd(w[5], hn::LoadU(d, nodes[5] + x), u);
        return hn::Add(v, u);
    }
};

// Like LevelSide, for one of the pulse tables.
template <bool kPhased>
HWY_INLINE QuinticSide<kPhased> PulseSide(D d, const Plan& p, const double* table,
                                          const double* reversed, double e0, double side) {
    QuinticSide<kPhased> s;
    const double f = PlaceSide(p, table, reversed, e0, side, 2, s);
    const double a = f + 2.0, b = f + 1.0, c = f - 1.0, e = f - 2.0, g = f - 3.0;
    s.w[0] = hn::Set(d, -(b * f * c * e * g) / 120.0);
    s.w[1] = hn::Set(d, (a * f * c * e * g) / 24.0);
    s.w[2] = hn::Set(d, -(a * b * c * e * g) / 12.0);
    s.w[3] = hn::Set(d, (a * b * f * e * g) / 12.0);
    s.w[4] = hn::Set(d, -(a * b * f * c * g) / 24.0);
    s.w[5] = hn::Set(d, (a * b * f * c * e) / 120.0);
    return s;
}

// The two bumps of a beat at time lt into it, before the clamp. Between thumps both are below
// e^-45: too small to move 0.05 by half an ulp, so they are exactly nothing and need no
// exponentials.
struct Pulse {
    V quiet, first, second, offsetA, offsetC, widthA, widthC, inverseA, inverseC;

    explicit Pulse(D d)
        : quiet(hn::Set(d, 45.0)), first(hn::Set(d, 0.95)), second(hn::Set(d, 0.6)),
          offsetA(hn::Set(d, -0.12)), offsetC(hn::Set(d, -0.4)), widthA(hn::Set(d, 0.08)),
          widthC(hn::Set(d, 0.09)), inverseA(hn::Set(d, 1.0 / 0.08)),
          inverseC(hn::Set(d, 1.0 / 0.09)) {}

    // Zero where both bumps are negligible when `zeroQuiet`; otherwise only a whole quiet
    // vector is zero.
    HWY_INLINE V at(D d, V lt, bool zeroQuiet) const {
        const V a = Quotient(hn::Add(lt, offsetA), widthA, inverseA);
        const V c = Quotient(hn::Add(lt, offsetC), widthC, inverseC);
        const V a2 = hn::Mul(a, a);
        const V c2 = hn::Mul(c, c);
        const auto isQuiet = hn::And(hn::Gt(a2, quiet), hn::Gt(c2, quiet));
        if (hn::AllTrue(d, isQuiet)) {
            return hn::Zero(d);
        }
        const V sum = hn::Add(hn::Mul(first, hn::Exp(d, hn::Neg(a2))),
                              hn::Mul(second, hn::Exp(d, hn::Neg(c2))));
        return zeroQuiet ? hn::IfThenZeroElse(isQuiet, sum) : sum;
    }
};

// The pulse at each node, with the beat wrapped once (levels) and not (pulses). Pixels lie at
// distances 0 to 1 and read three nodes either side; the beat wraps at distance beat / 0.35.
// Nodes that no pixel reads are left as they are.
void FillPulses(const Plan& p) {
    const D d;
    const int n = static_cast<int>(hn::Lanes(d));
    const Pulse pulse(d);
    const V period = hn::Set(d, 1.6);
    const V beat = hn::Set(d, p.beat);
    const auto node = [&](double dist) {
        return std::clamp(static_cast<int>((dist - p.levelStart) / p.levelStep), 0, p.levelCount);
    };
    const double margin = 8.0 * p.levelStep;
    const double wrap = p.beat / 0.35;
    const int first = node(-margin);
    const int last = node(1.0 + margin) + 1;
    const int wrapped[2] = {first, std::max(first, std::min(last, node(wrap + margin) + 1))};
    const int unwrapped[2] = {std::min(last, std::max(first, node(wrap - margin))), last};
    const double phases = p.levelPhases;
    ForEachPhase(p, first, last, [&](std::ptrdiff_t at, int i, int end, auto nodeAt) HWY_ATTR {
        for (; i < end; i += n) {
            const V m = nodeAt(i);
            const V dist = hn::Add(hn::Mul(m, hn::Set(d, p.levelStep)), hn::Set(d, p.levelStart));
            const V v = hn::Add(period, hn::Add(beat, hn::Mul(dist, hn::Set(d, -0.35))));
            // The vector's first and last node.
            const double low = hn::GetLane(m);
            const double high = low + (n - 1) * phases;
            if (high >= wrapped[0] && low < wrapped[1]) {
                hn::StoreU(pulse.at(d, hn::Sub(v, period), true), d, p.levels + at + i);
            }
            if (high >= unwrapped[0] && low < unwrapped[1]) {
                hn::StoreU(pulse.at(d, v, true), d, p.pulses + at + i);
            }
        }
    });
    const int end = std::min(last + n, p.levelCount);
    Reverse(p, p.levels, p.levelsReversed, first, end);
    Reverse(p, p.pulses, p.pulsesReversed, first, end);
}

void Heartbeat(const Plan& p) {
    const D d;
    RunEnds runEnds;
    if (p.levels != nullptr) {
        FillPulses(p);
    }
    const Writer out(d, p, p.w);
    const int n = static_cast<int>(hn::Lanes(d));
    const V one = hn::Set(d, 1.0);
    const V half = hn::Set(d, 0.5);
    const V period = hn::Set(d, 1.6);
    const V twoPeriods = hn::Set(d, 3.2);
    const V beat = hn::Set(d, p.beat);
    const Pulse pulses(d);
    const Tint tint(d, p);
    // Between beats most pixels show no pulse at all: the base pixel, a glow of 0.05.
    const V basePixel = tint.packUnwhitened(d, out, hn::Set(d, 0.05));
    // A pulse of at most this much (either sign) leaves every byte of the base pixel as it
    // is: it moves a channel, (b (glow (c + whiten (1 - c)))) 255 + 0.5 before its floor, by
    // at most |p| (0.95 c + 0.05) b 255 (whiten is 0.5 p^3), which stays within the room to
    // the channel's nearest whole number, less a margin far above the steps' roundings. Zero
    // where clamps or an unusual colour could act: only no pulse at all is then the base.
    double faint = 0.0;
    if (!p.clampLow && tint.finite) {
        faint = 1e-3;
        for (const double c : p.color) {
            const double room = ByteRoom(p.brightness * (0.05 * c), true);
            const double perPulse = (0.95 * c + 0.05) * p.brightness * 255.0;
            if (perPulse > 0.0) {
                faint = std::min(faint, room / perPulse);
            }
        }
        faint = std::max(faint, 0.0);
    }
    const V faintPulse = hn::Set(d, faint);
    const auto draw = [&](std::uint32_t* row, int x, V pulse) HWY_ATTR LUMORA_INLINE_LAMBDA {
        const V whiten = hn::Mul(half, hn::Mul(hn::Mul(pulse, pulse), pulse));
        const V glow = hn::Add(hn::Mul(hn::Set(d, 0.95), pulse), hn::Set(d, 0.05));
        tint.put(out, row, x, whiten, glow);
    };
    for (int y = 0; y < p.h; ++y) {
        std::uint32_t* row = RowOf(p, y);
        const V rowP = hn::Set(d, p.rowP[y]);
        // fmod(v, 1.6) for v in [1.25, 3.2]: the subtraction is exact there.
        const auto beatAt = [&](V e) HWY_ATTR {
            const V dist = hn::Mul(hn::Set(d, 2.0), hn::Abs(e));
            return hn::Add(period, hn::Add(beat, hn::Mul(dist, hn::Set(d, -0.35))));
        };
        const auto exact = [&](int x, V v) HWY_ATTR LUMORA_INLINE_LAMBDA {
            V lt = hn::IfThenElse(hn::Ge(v, period), hn::Sub(v, period), v);
            lt = hn::IfThenElse(hn::Ge(v, twoPeriods), hn::Sub(v, twoPeriods), lt);
            draw(row, x, hn::Min(pulses.at(d, lt, false), one));
        };
        if (p.levels == nullptr) {
            for (int x = 0; x < p.w; x += n) {
                exact(x, beatAt(hn::Sub(AxisU(d, p, x, rowP), half)));
            }
            continue;
        }
        // One reading per side of the middle and of the wrap. Along a row the position only
        // grows (or only shrinks), so each side, wrap and the second wrap at exactly 3.2 holds
        // for one run of pixels; a vector that straddles two runs is worked out in full.
        const double e0 = (0.5 * p.axisCos + p.rowP[y] - p.pMin) * p.invSpan - 0.5;
        const double rowPos = p.rowP[y];
        // The same arithmetic as beatAt, one pixel at a time.
        const auto runOf = [&](int x) {
            const double e = (p.colP[x] + rowPos - p.pMin) * p.invSpan - 0.5;
            const double v = 1.6 + (p.beat + (2.0 * std::abs(e)) * -0.35);
            return (e < 0.0 ? 1 : 0) + (v >= 1.6 ? 0 : 2) + (v >= 3.2 ? 4 : 0);
        };
        RowRuns<decltype(runOf), int> runs(runOf, runEnds, p.w, n);
        // A narrow frame steps over several nodes a pixel: its reads are laid out apart.
        const auto fromTables = [&](auto phased) HWY_ATTR LUMORA_INLINE_LAMBDA {
            constexpr bool kPhased = decltype(phased)::value;
            const QuinticSide<kPhased> sides[4] = {
                PulseSide<kPhased>(d, p, p.levels, p.levelsReversed, e0, 1.0),
                PulseSide<kPhased>(d, p, p.levels, p.levelsReversed, e0, -1.0),
                PulseSide<kPhased>(d, p, p.pulses, p.pulsesReversed, e0, 1.0),
                PulseSide<kPhased>(d, p, p.pulses, p.pulsesReversed, e0, -1.0),
            };
            for (int x = 0; x < p.w;) {
                if (runs.at(x) && runs.run < 4) {
                    const QuinticSide<kPhased>& side = sides[runs.run];
                    // Four vectors at a time, so their chains overlap.
                    for (; x + 4 * n <= runs.end && x + 4 * n <= p.w; x += 4 * n) {
                        const V pulse0 = hn::Min(side.at(d, x), one);
                        const V pulse1 = hn::Min(side.at(d, x + n), one);
                        const V pulse2 = hn::Min(side.at(d, x + 2 * n), one);
                        const V pulse3 = hn::Min(side.at(d, x + 3 * n), one);
                        const V largest = hn::Max(hn::Max(hn::Abs(pulse0), hn::Abs(pulse1)),
                                                  hn::Max(hn::Abs(pulse2), hn::Abs(pulse3)));
                        if (hn::AllTrue(d, hn::Le(largest, faintPulse))) {
                            out.store(row, x, basePixel);
                            out.store(row, x + n, basePixel);
                            out.store(row, x + 2 * n, basePixel);
                            out.store(row, x + 3 * n, basePixel);
                            continue;
                        }
                        draw(row, x, pulse0);
                        draw(row, x + n, pulse1);
                        draw(row, x + 2 * n, pulse2);
                        draw(row, x + 3 * n, pulse3);
                    }
                    for (; x < p.w && std::min(x + n, p.w) <= runs.end; x += n) {
                        draw(row, x, hn::Min(side.at(d, x), one));
                    }
                    continue;
                }
                exact(x, beatAt(hn::Sub(AxisU(d, p, x, rowP), half)));
                x += n;
            }
        };
        if (p.levelPhases == 1) {
            fromTables(std::false_type{});
        } else {
            fromTables(std::true_type{});
        }
    }
}

// e^x for x = -r^2 (sign bit set, -0 included): the library's Exp step for step down to
// e^-700, without its range checks. The power of two goes on with one exact scaling instead
// of the library's two multiplies by built powers (also exact while the result is normal), so
// the doubles are the library's own.
HWY_INLINE V ExpHead(D d, V x) {
#if HWY_HAVE_FLOAT64 && HWY_HAVE_INTEGER64
    hn::impl::ExpImpl<double> impl;
#if HWY_TARGET != HWY_AVX3
    x = hn::Max(x, hn::Set(d, -700.0));
#endif
    const V q =
        hn::Trunc(hn::MulAdd(x, hn::Set(d, 1.442695040888963407359924681), hn::Set(d, -0.5)));
    V r = hn::MulAdd(q, hn::Set(d, -0.6931471805596629565116018), x);
    r = hn::MulAdd(q, hn::Set(d, -0.28235290563031577122588448175e-12), r);
    const V y = hn::Add(impl.ExpPoly(d, r), hn::Set(d, 1.0));
#if HWY_TARGET == HWY_AVX3
    return V{_mm512_scalef_pd(y.raw, q.raw)};
#else
    // q + 2^52 + 1023 holds q's biased exponent in its low bits; shifted up, it is 2^q.
    // Lanes past the head's reach (its sum is then exactly nothing) stop at e^-700, where
    // the built power would leave the normal range.
    const hn::RebindToSigned<D> di;
    const V power = hn::BitCast(
        d, hn::ShiftLeft<52>(hn::BitCast(di, hn::Add(q, hn::Set(d, 4503599627370496.0 + 1023.0)))));
    return hn::Mul(y, power);
#endif
#else
    return hn::Exp(d, x);
#endif
}

void Scanner(const Plan& p) {
    const D d;
    RunEnds runEnds;
    const Writer out(d, p, p.w);
    const int n = static_cast<int>(hn::Lanes(d));
    const V one = hn::Set(d, 1.0);
    const V pos = hn::Set(d, p.pos);
    const V dir = hn::Set(d, p.dir);
    const V sigma = hn::Set(d, p.sigma);
    const V invSigma = hn::Set(d, p.invSigma);
    const V lambda = hn::Set(d, p.lambda);
    // Nine head sizes away the head is below e^-81: less than an ulp of anything it is added
    // to, so it is exactly nothing. Seven away it is below e^-49 (5.3e-22), still exactly
    // nothing where nothing else lights the pixel, and below half an ulp of any trail of 1e-5
    // or more; the whitening it adds vanishes in the +0.5 before the floor. So where the
    // trail at nine head sizes is well above that, seven is as exact as nine.
    const double headReach = 0.8 * std::exp(-9.0 * p.sigma / p.lambda) >= 2e-5 ? 49.0 : 81.0;
    const V far = hn::Set(d, headReach);
    const V trailPeak = hn::Set(d, 0.8);
    const V dimmest = hn::Set(d, 0.04);
    const V span = hn::Set(d, 0.96);
    const Tint tint(d, p);
    // Ahead of the comet and away from its head: the dimmest glow, the same for every pixel.
    const V aheadPixel = tint.packUnwhitened(d, out, hn::Add(hn::Mul(hn::Zero(d), span), dimmest));
    // A trail of at most this much leaves every byte of the ahead pixel as it is: each channel,
    // (b (glow c)) 255 + 0.5 before its floor, grows with the trail and stays short of its
    // next whole number, with a margin far above what the steps' roundings can add. Zero where
    // clamps or an unusual colour could act: only no trail at all is then the ahead pixel.
    // Ahead of the comet, a head of at most faintHead (0.01 or less) moves no byte either: it
    // adds at most h (0.96 c + 0.6 (1 - c) 0.05) to a channel before the brightness and 255.
    double faintTail = 0.0;
    double faintHead = 0.0;
    if (!p.clampLow && tint.finite) {
        faintTail = std::numeric_limits<double>::infinity();
        faintHead = 0.01;
        for (const double c : p.color) {
            const double room = ByteRoom(p.brightness * (0.04 * c), false);
            const double perTail = 0.96 * c * p.brightness * 255.0;
            if (perTail > 0.0) {
                faintTail = std::min(faintTail, room / perTail);
            }
            const double perHead = (0.96 * c + 0.03 * (1.0 - c)) * p.brightness * 255.0;
            if (perHead > 0.0) {
                faintHead = std::min(faintHead, room / perHead);
            }
        }
        faintTail = std::max(faintTail, 0.0);
    }
    // Where e^-(r^2) is below faintHead (with room for the exp's last ulp), to be exact.
    const double aheadReach =
        faintHead > 0.0 ? std::min(headReach, -std::log(faintHead) + 1e-6) : headReach;
    for (int y = 0; y < p.h; ++y) {
        std::uint32_t* row = RowOf(p, y);
        const V rowP = hn::Set(d, p.rowP[y]);
        const V rowTail = hn::Set(d, p.tailRows != nullptr ? p.tailRows[y] : 0.0);
        const auto light = [&](V head, V tail, V& whiten, V& glow) HWY_ATTR LUMORA_INLINE_LAMBDA {
            whiten = hn::Mul(head, hn::Set(d, 0.6));
            glow = hn::Add(hn::Mul(hn::Min(hn::Add(head, tail), one), span), dimmest);
        };
        // The head and trail glow of pixels wholly ahead of (side 2) or behind (3) the comet
        // and near its head.
        const auto near = [&](int x, int side, V& whiten, V& glow) HWY_ATTR LUMORA_INLINE_LAMBDA {
            const V delta = hn::Sub(AxisU(d, p, x, rowP), pos);
            const V tail =
                side == 3 ? hn::Mul(trailPeak, hn::Mul(hn::LoadU(d, p.tailColumns + x), rowTail))
                          : hn::Zero(d);
            const V r = Quotient(delta, sigma, invSigma);
            light(ExpHead(d, hn::Neg(hn::Mul(r, r))), tail, whiten, glow);
        };
        // Any vector, lane by lane.
        const auto exact = [&](int x) HWY_ATTR LUMORA_INLINE_LAMBDA {
            const V delta = hn::Sub(AxisU(d, p, x, rowP), pos);
            V tail = hn::Zero(d); // ahead of the comet there is no trail
            const auto behind = hn::Lt(hn::Mul(dir, delta), hn::Zero(d));
            if (!hn::AllFalse(d, behind)) {
                const V fade = p.tailColumns != nullptr
                                   ? hn::Mul(hn::LoadU(d, p.tailColumns + x), rowTail)
                                   : hn::Exp(d, hn::Div(hn::Neg(hn::Abs(delta)), lambda));
                tail = hn::IfThenElseZero(behind, hn::Mul(trailPeak, fade));
            }
            const V r = Quotient(delta, sigma, invSigma);
            const V r2 = hn::Mul(r, r);
            V head = hn::Zero(d);
            if (!hn::AllTrue(d, hn::Gt(r2, far))) {
                head = ExpHead(d, hn::Neg(r2));
            }
            V whiten, glow;
            light(head, tail, whiten, glow);
            tint.put(out, row, x, whiten, glow);
        };
        if (p.tailColumns == nullptr) {
            for (int x = 0; x < p.w; x += n) {
                exact(x);
            }
            continue;
        }
        // Along a row the position only grows (or only shrinks), so being behind the comet,
        // being near its head and the trail being too faint to show each hold for one run of
        // pixels. Away from the head the trail is all there is, and where it is too faint the
        // ahead pixel; a vector that straddles two runs is worked out in full.
        const double rowPos = p.rowP[y];
        const double rowTailFactor = p.tailRows[y];
        const auto runOf = [&](int x) {
            const double delta = (p.colP[x] + rowPos - p.pMin) * p.invSpan - p.pos;
            const double r = delta / p.sigma;
            const bool behind = p.dir * delta < 0.0;
            if (!(r * r > (behind ? headReach : aheadReach))) {
                return behind ? 3 : 2;
            }
            if (!behind) {
                return 0;
            }
            return 0.8 * (p.tailColumns[x] * rowTailFactor) <= faintTail ? 4 : 1;
        };
        RowRuns<decltype(runOf), int> runs(runOf, runEnds, p.w, n);
        for (int x = 0; x < p.w;) {
            const bool whole = runs.at(x);
            const int run = runs.run;
            if (whole && (run == 2 || run == 3)) {
                // Near the head every pixel needs its exp: two vectors at a time, so their
                // chains overlap.
                for (; x + 2 * n <= runs.end && x + 2 * n <= p.w; x += 2 * n) {
                    V whiten0, glow0, whiten1, glow1;
                    near(x, run, whiten0, glow0);
                    near(x + n, run, whiten1, glow1);
                    tint.put(out, row, x, whiten0, glow0);
                    tint.put(out, row, x + n, whiten1, glow1);
                }
                for (; x < p.w && std::min(x + n, p.w) <= runs.end; x += n) {
                    V whiten, glow;
                    near(x, run, whiten, glow);
                    tint.put(out, row, x, whiten, glow);
                }
                continue;
            }
            if (!whole) {
                exact(x);
            } else if (run == 0 || run == 4) {
                out.store(row, x, aheadPixel);
            } else {
                // 0.8 times e^-(distance / lambda): never past 1, so no clamp acts.
                const V tail =
                    hn::Mul(trailPeak, hn::Mul(hn::LoadU(d, p.tailColumns + x), rowTail));
                out.store(row, x,
                          tint.packUnwhitened(d, out, hn::Add(hn::Mul(tail, span), dimmest)));
            }
            x += n;
        }
    }
}

void Inferno(const Plan& p) {
    const D d;
    const Writer out(d, p, p.w);
    const int n = static_cast<int>(hn::Lanes(d));
    const V zero = hn::Zero(d);
    const V one = hn::Set(d, 1.0);
    // Held locally: the row stores could otherwise alias the plan, reloaded every vector.
    const double* const col0 = p.infernoCol[0];
    const double* const col1 = p.infernoCol[1];
    const double* const col2 = p.infernoCol[2];
    const double* const col3 = p.infernoCol[3];
    const double* const col4 = p.infernoCol[4];
    const double* const col5 = p.infernoCol[5];
    const int w = p.w;
    // Without clamps (brightness within [0, 1]) the heat goes straight to byte units: u is
    // (heat - 0.3) 2.6 times 255 b, which is red's byte before rounding, and green's and blue's
    // are straight lines in it. Each byte is then u's line plus a half, truncated and held to
    // [0, the byte at k = 1] as whole numbers: what clamping k and each channel to [0, 1]
    // gives, with no rounding of doubles and no clamps of doubles.
    const double scale = p.brightness * 255.0;
    const double toRed = 2.6 * scale;
    const V redHalf = hn::Set(d, 0.5);
    const V greenHalf = hn::Set(d, 0.5 - 0.9 * scale);
    const V blueSlope = hn::Set(d, 3.0 / 2.6);
    const V blueHalf = hn::Set(d, 0.5 - 2.2 * scale);
    const Writer::Tops tops =
        out.tops(static_cast<int>(std::floor(scale + 0.5)),
                 static_cast<int>(std::floor(std::fma(scale, 3.0 - 2.2, 0.5))));
    for (int y = 0; y < p.h; ++y) {
        std::uint32_t* row = RowOf(p, y);
        // heat = base + (0.2 c + (0.5 a + 0.3 b)) 0.5 with a, b, c each a column sine pair
        // times a row pair: the weights fold into the row pairs, six multiplies a pixel.
        const double unit = out.oneStep ? toRed : 1.0;
        const auto weighted = [&](int i, double weight) HWY_ATTR {
            return hn::Set(d, p.infernoRow[i][y] * weight * unit);
        };
        const V sinA = weighted(0, 0.25), cosA = weighted(1, 0.25);
        const V sinB = weighted(2, 0.15), cosB = weighted(3, 0.15);
        const V sinC = weighted(4, 0.1), cosC = weighted(5, 0.1);
        const V heatBase = hn::Set(d, out.oneStep ? (p.heatBase[y] - 0.3) * toRed : p.heatBase[y]);
        const auto heatAt = [&](int x) HWY_ATTR LUMORA_INLINE_LAMBDA {
            // Two chains of three, not one of six: each pixel is one long chain of dependent
            // steps, and a shorter one lets the processor overlap more pixels.
            V heat = hn::MulAdd(hn::LoadU(d, col5 + x), sinC, heatBase);
            V other = hn::Mul(hn::LoadU(d, col4 + x), cosC);
            heat = hn::MulAdd(hn::LoadU(d, col3 + x), sinB, heat);
            other = hn::MulAdd(hn::LoadU(d, col2 + x), cosB, other);
            heat = hn::MulAdd(hn::LoadU(d, col1 + x), sinA, heat);
            other = hn::MulAdd(hn::LoadU(d, col0 + x), cosA, other);
            return hn::Add(heat, other);
        };
        if (out.oneStep) {
            const auto put = [&](int x, V u) HWY_ATTR LUMORA_INLINE_LAMBDA {
                out.storeBytes(row, x, out.truncated(hn::Add(u, redHalf)),
                               out.truncated(hn::Add(u, greenHalf)),
                               out.truncated(hn::MulAdd(u, blueSlope, blueHalf)), tops);
            };
            int x = 0;
            for (; x + 2 * n <= w; x += 2 * n) {
                const V u0 = heatAt(x);
                const V u1 = heatAt(x + n);
                put(x, u0);
                put(x + n, u1);
            }
            for (; x < w; x += n) {
                put(x, heatAt(x));
            }
            continue;
        }
        for (int x = 0; x < w; x += n) {
            const V heat = heatAt(x);
            const V k = hn::Min(hn::Max(hn::Sub(heat, hn::Set(d, 0.3)), zero), one);
            const V k26 = hn::Mul(k, hn::Set(d, 2.6));
            const V red = hn::Min(k26, one);
            const V green = hn::Min(hn::Max(hn::Sub(k26, hn::Set(d, 0.9)), zero), one);
            const V blue =
                hn::Min(hn::Max(hn::Sub(hn::Mul(k, hn::Set(d, 3.0)), hn::Set(d, 2.2)), zero), one);
            out.put(row, x, red, green, blue);
        }
    }
}

// Appends the lanes of a and b where `keep` is set to a[at..] and b[at..]; returns the new end.
// Up to a vector past the end may be written.
HWY_INLINE int Pack(D d, hn::Mask<D> keep, V a, V b, double* toA, double* toB, int at) {
#if HWY_TARGET == HWY_AVX2
    // Highway's compress copies its table for every call here; one permute from a fixed table.
    alignas(32) static constexpr std::int32_t order[16][8] = {
        {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}, {2, 3, 0, 1, 4, 5, 6, 7},
        {0, 1, 2, 3, 4, 5, 6, 7}, {4, 5, 0, 1, 2, 3, 6, 7}, {0, 1, 4, 5, 2, 3, 6, 7},
        {2, 3, 4, 5, 0, 1, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}, {6, 7, 0, 1, 2, 3, 4, 5},
        {0, 1, 6, 7, 2, 3, 4, 5}, {2, 3, 6, 7, 0, 1, 4, 5}, {0, 1, 2, 3, 6, 7, 4, 5},
        {4, 5, 6, 7, 0, 1, 2, 3}, {0, 1, 4, 5, 6, 7, 2, 3}, {2, 3, 4, 5, 6, 7, 0, 1},
        {0, 1, 2, 3, 4, 5, 6, 7}};
    const int bits = _mm256_movemask_pd(hn::VecFromMask(d, keep).raw);
    const __m256i pick = _mm256_load_si256(reinterpret_cast<const __m256i*>(order[bits]));
    const auto packed = [&](V v) {
        return _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(v.raw), pick));
    };
    _mm256_storeu_pd(toA + at, packed(a));
    _mm256_storeu_pd(toB + at, packed(b));
    return at + __builtin_popcount(static_cast<unsigned>(bits));
#elif HWY_TARGET == HWY_AVX3
    // Compressed in a register and stored whole: the compressing store to memory is
    // microcoded on Zen 4, and Highway's register compress copies a table per call.
    _mm512_storeu_pd(toA + at, _mm512_maskz_compress_pd(keep.raw, a.raw));
    _mm512_storeu_pd(toB + at, _mm512_maskz_compress_pd(keep.raw, b.raw));
    return at + __builtin_popcount(static_cast<unsigned>(keep.raw));
#else
    HWY_ALIGN double va[hn::MaxLanes(d)], vb[hn::MaxLanes(d)], vk[hn::MaxLanes(d)];
    hn::Store(a, d, va);
    hn::Store(b, d, vb);
    hn::Store(hn::IfThenElseZero(keep, hn::Set(d, 1.0)), d, vk);
    for (size_t i = 0; i < hn::Lanes(d); ++i) {
        toA[at] = va[i];
        toB[at] = vb[i];
        at += vk[i] != 0.0 ? 1 : 0;
    }
    return at;
#endif
}

void Matrix(const Plan& p) {
    const D d;
    const int n = static_cast<int>(hn::Lanes(d));
    const Writer out(d, p, p.cellColumns * p.glyphW + n);
    const V zero = hn::Zero(d);
    const V one = hn::Set(d, 1.0);
    const V trail = hn::Set(d, 7.0);
    const V trailInverse = hn::Set(d, 1.0 / 7.0);
    const int block = p.cellColumns + pad;
    double* intensity = p.scratch;
    double* white = p.scratch + block;
    // The cells of a row within a trail, packed: only they need the power.
    double* fades = p.scratch + 2 * block;
    double* picked = p.scratch + 3 * block;
    // Every cell outside a trail is its glyph at the dim intensity in the plain colour. The
    // whole atlas drawn that way is a small fraction of a frame, and those cells become copies.
    constexpr double dimLevel = 0.09;
    const V dim = hn::Set(d, dimLevel);
    const V color0 = hn::Set(d, p.color[0]);
    const V color1 = hn::Set(d, p.color[1]);
    const V color2 = hn::Set(d, p.color[2]);
    const Writer glyphs(d, p, p.atlasSize + p.glyphW + pad);
    for (int i = 0; i < p.atlasSize; i += n) {
        const V k = hn::Mul(hn::LoadU(d, p.coverage + i), dim);
        glyphs.put(p.dimGlyphs, i, hn::Mul(k, color0), hn::Mul(k, color1), hn::Mul(k, color2));
    }
    // Dim cells are copied as wide as the CPU goes.
    const hn::ScalableTag<std::uint32_t> duWide;
    const int nWide = static_cast<int>(hn::Lanes(duWide));
    for (int y = 0; y < p.h; ++y) {
        // Per cell column: how far behind its drop's head this pixel row is.
        const V rf = hn::Set(d, p.rowCells[y]);
        int lit = 0;
        for (int c = 0; c < p.cellColumns; c += n) {
            V dist = hn::Sub(hn::LoadU(d, p.head + c), rf);
            dist =
                hn::IfThenElse(hn::Lt(dist, zero), hn::Add(dist, hn::LoadU(d, p.cycle + c)), dist);
            hn::StoreU(dim, d, intensity + c);
            hn::StoreU(hn::IfThenElseZero(hn::Lt(dist, hn::Set(d, 0.9)), one), d, white + c);
            const auto inTrail = hn::And(hn::Lt(dist, trail), hn::FirstN(d, p.cellColumns - c));
            const V fade = hn::Sub(one, Quotient(dist, trail, trailInverse));
            lit = Pack(d, inTrail, fade, hn::Iota(d, static_cast<double>(c)), fades, picked, lit);
        }
        // Several vectors at a time: the power is a long chain of dependent steps.
        constexpr int kWide = 4;
        for (int i = lit; i < lit + kWide * n; ++i) {
            fades[i] = 1.0; // any unit value: the lanes past the last are not read back
        }
        for (int i0 = 0; i0 < lit; i0 += kWide * n) {
            V fade[kWide];
            for (int i = 0; i < kWide; ++i) {
                fade[i] = hn::LoadU(d, fades + i0 + i * n);
            }
            PowUnits(d, fade, 1.1);
            for (int i = 0; i < kWide; ++i) {
                const V glow = hn::Min(hn::Add(hn::Mul(hn::Set(d, 1.15), fade[i]), dim), one);
                hn::StoreU(glow, d, fades + i0 + i * n);
            }
        }
        for (int i = 0; i < lit; ++i) {
            intensity[static_cast<int>(picked[i])] = fades[i];
        }
        // Per cell: its glyph's row of coverage, lit by the drop. Stores may run into the next
        // cell, or past the row into the next row, which overwrite them; only the last row
        // needs room past its end.
        const double* glyphRow = p.coverage + p.glyphRow[y];
        const std::int32_t* offsets =
            p.glyphOffset + static_cast<std::size_t>(p.rowCell[y]) * p.cellColumns;
        const bool last = y + 1 == p.h;
        std::uint32_t* row = last ? p.rowScratch : RowOf(p, y);
        const std::uint32_t* dimRow = p.dimGlyphs + p.glyphRow[y];
        for (int c = 0; c < p.cellColumns; ++c) {
            const int x0 = c * p.glyphW;
            if (intensity[c] == dimLevel && white[c] == 0.0) {
                const std::uint32_t* from = dimRow + offsets[c];
                for (int gx = 0; gx < p.glyphW; gx += nWide) {
                    hn::StoreU(hn::LoadU(duWide, from + gx), duWide, row + x0 + gx);
                }
                continue;
            }
            const V it = hn::Set(d, intensity[c]);
            const double* tint = white[c] != 0.0 ? p.whitened : p.color;
            const V m0 = hn::Set(d, tint[0]), m1 = hn::Set(d, tint[1]), m2 = hn::Set(d, tint[2]);
            const double* cv = glyphRow + offsets[c];
            for (int gx = 0; gx < p.glyphW; gx += n) {
                const V k = hn::Mul(hn::LoadU(d, cv + gx), it);
                out.put(row, x0 + gx, hn::Mul(k, m0), hn::Mul(k, m1), hn::Mul(k, m2));
            }
        }
        if (last) {
            std::memcpy(RowOf(p, y), row, static_cast<std::size_t>(p.w) * 4);
        }
    }
}

// Fills row[x, end) with one pixel, a vector at a time; a run shorter than a vector only
// happens at the end of a row.
HWY_INLINE void FillRun(std::uint32_t* row, int x, int end, std::uint32_t pixel) {
    const hn::ScalableTag<std::uint32_t> du;
    const int n = static_cast<int>(hn::Lanes(du));
    if (end - x < n) {
        std::fill(row + x, row + end, pixel);
        return;
    }
    const auto v = hn::Set(du, pixel);
    for (; x + n <= end; x += n) {
        hn::StoreU(v, du, row + x);
    }
    if (x < end) {
        hn::StoreU(v, du, row + end - n);
    }
}

void Starfield(const Plan& p) {
    const D d;
    const Writer out(d, p, p.w);
    const int n = static_cast<int>(hn::Lanes(d));
    double* columns[3] = {p.columns[0], p.columns[1], p.columns[2]};
    const double deepSpace[3] = {0.015, 0.0, 0.045};
    for (int ch = 0; ch < 3; ++ch) {
        const V space = hn::Set(d, deepSpace[ch]);
        for (int x = 0; x < p.w; x += n) {
            hn::StoreU(space, d, columns[ch] + x);
        }
    }
    for (int i = 0; i < p.starCount; ++i) {
        const int star = p.starIndex[i];
        const int x0 = p.starSpan[2 * star];
        const int length = p.starSpan[2 * star + 1] - x0 + 1;
        const double* weights = p.starWeights + static_cast<std::size_t>(star) * p.starStride;
        const V c0 = hn::Set(d, p.starColor[3 * i]);
        const V c1 = hn::Set(d, p.starColor[3 * i + 1]);
        const V c2 = hn::Set(d, p.starColor[3 * i + 2]);
        for (int k = 0; k < length; k += n) {
            const V g = hn::LoadU(d, weights + k); // zero past the star's reach
            double* at[3] = {columns[0] + x0 + k, columns[1] + x0 + k, columns[2] + x0 + k};
            hn::StoreU(hn::Add(hn::LoadU(d, at[0]), hn::Mul(c0, g)), d, at[0]);
            hn::StoreU(hn::Add(hn::LoadU(d, at[1]), hn::Mul(c1, g)), d, at[1]);
            hn::StoreU(hn::Add(hn::LoadU(d, at[2]), hn::Mul(c2, g)), d, at[2]);
        }
    }
    // Per vector of columns: deep space only (one pixel per row), or dim enough that no
    // channel of any row can pass 1, or else clamped. Without the low clamp the brightness is
    // within [0, 1], so it only lowers what the bound allows.
    double brightest = 0.0;
    for (int y = 0; y < p.h; ++y) {
        brightest = std::max(brightest, p.rowDim[y]);
    }
    const V space[3] = {hn::Set(d, deepSpace[0]), hn::Set(d, deepSpace[1]),
                        hn::Set(d, deepSpace[2])};
    const bool mayLoosen = !p.clampLow;
    for (int x = 0; x < p.w; x += n) {
        const V c0 = hn::LoadU(d, columns[0] + x);
        const V c1 = hn::LoadU(d, columns[1] + x);
        const V c2 = hn::LoadU(d, columns[2] + x);
        std::uint8_t kind = 2;
        if (hn::AllTrue(d, hn::And(hn::And(hn::Eq(c0, space[0]), hn::Eq(c1, space[1])),
                                   hn::Eq(c2, space[2])))) {
            kind = 0;
        } else if (mayLoosen &&
                   brightest * hn::GetLane(hn::MaxOfLanes(d, hn::Max(hn::Max(c0, c1), c2))) <=
                       1.0) {
            kind = 1;
        }
        p.columnKinds[x] = kind;
    }
    Writer loose = out;
    loose.clampHigh = false;
    // Column by column over the rows that are drawn (the rest copy one of them at the end):
    // each column's light is loaded once, and deep space, most of the bar, is a plain fill of
    // each row's one pixel.
    constexpr int maxRows = 64;
    if (p.h <= maxRows) {
        std::uint32_t* rows[maxRows];
        double dims[maxRows];
        double scales[maxRows];
        std::uint32_t spacePixels[maxRows];
        // Each drawn row's first twin is written beside it, while its pixels are in registers:
        // cheaper than copying the row at the end. Further twins, if any, are still copied.
        std::uint32_t* twins[maxRows];
        bool written[maxRows] = {};
        const V half = hn::Set(d, 0.5);
        const V shift8 = hn::Set(d, 256.0);
        const V shift16 = hn::Set(d, 65536.0);
        const V magic = hn::Set(d, 4503599627370496.0); // 2^52: whole numbers in the low bits
        // Blue's also carries the alpha byte above it, so the pixel needs no OR for it; being
        // a whole number, it moves no rounding.
        const V blueMagic = hn::Set(d, 4503599627370496.0 + 65280.0);
        const hn::Repartition<std::uint64_t, D> d64;
        const DU du;
        int drawn = 0;
        for (int y = 0; y < p.h; ++y) {
            if (p.rowSource[y] != y) {
                continue;
            }
            const V dim = hn::Set(d, p.rowDim[y]);
            const V packed =
                out.pack(hn::Mul(dim, space[0]), hn::Mul(dim, space[1]), hn::Mul(dim, space[2]));
            spacePixels[drawn] =
                static_cast<std::uint32_t>(hn::GetLane(hn::DemoteTo(DI(), packed))) | 0xFF000000u;
            rows[drawn] = RowOf(p, y);
            const int twin = p.rowTwin[y];
            twins[drawn] = twin < 0 ? nullptr : RowOf(p, twin);
            if (twin >= 0) {
                written[twin] = true;
            }
            dims[drawn] = p.rowDim[y];
            scales[drawn] = p.brightness * p.rowDim[y] * 255.0;
            ++drawn;
        }
        for (int x = 0; x < p.w;) {
            if (p.columnKinds[x] == 0) {
                int end = x + n;
                while (end < p.w && p.columnKinds[end] == 0) {
                    end += n;
                }
                end = std::min(end, p.w);
                for (int i = 0; i < drawn; ++i) {
                    FillRun(rows[i], x, end, spacePixels[i]);
                    if (twins[i] != nullptr) {
                        FillRun(twins[i], x, end, spacePixels[i]);
                    }
                }
                x = end;
                continue;
            }
            const V c0 = hn::LoadU(d, columns[0] + x);
            const V c1 = hn::LoadU(d, columns[1] + x);
            const V c2 = hn::LoadU(d, columns[2] + x);
            // No clamp can act, so each byte is c (brightness dim 255) rounded to the nearest
            // whole number in one step: adding 2^52 leaves it in the low bits of the double,
            // where shifts and ORs pack the pixel. That is at most a few 1e-13 from the
            // step-by-step value, and differs from it only for a value that close to a half;
            // an exact half would round to even here and up there, but a lit column's sums of
            // glows over the background never land on one.
            const auto pixels = [&](V r, V g, V b, V scale) {
                return hn::Or(
                    hn::Or(hn::BitCast(d64, hn::MulAdd(r, scale, magic)),
                           hn::ShiftLeft<8>(hn::BitCast(d64, hn::MulAdd(g, scale, magic)))),
                    hn::ShiftLeft<16>(hn::BitCast(d64, hn::MulAdd(b, scale, blueMagic))));
            };
#if HWY_TARGET != HWY_SCALAR
            if (p.columnKinds[x] == 1 && x + 2 * n <= p.w && p.columnKinds[x + n] == 1) {
                // Two vectors of columns at a time: one whole-width store per row, as the stores
                // are what this loop waits on.
                const hn::Repartition<std::uint32_t, D> d32;
                const V e0 = hn::LoadU(d, columns[0] + x + n);
                const V e1 = hn::LoadU(d, columns[1] + x + n);
                const V e2 = hn::LoadU(d, columns[2] + x + n);
#if HWY_TARGET == HWY_AVX2
                // Columns x, x+1, x+4, x+5 in one vector and x+2, x+3, x+6, x+7 in the other,
                // so that taking the even halves within each 128-bit block, which crosses no
                // block, lays the eight pixels out in order: one step fewer on every row.
                const V a0 = hn::ConcatLowerLower(d, e0, c0), b0 = hn::ConcatUpperUpper(d, e0, c0);
                const V a1 = hn::ConcatLowerLower(d, e1, c1), b1 = hn::ConcatUpperUpper(d, e1, c1);
                const V a2 = hn::ConcatLowerLower(d, e2, c2), b2 = hn::ConcatUpperUpper(d, e2, c2);
                const auto evens = [&](auto lo, auto hi) {
                    return hn::BitCast(d32,
                                       hn::Vec<hn::Repartition<float, D>>{_mm256_shuffle_ps(
                                           _mm256_castsi256_ps(lo.raw), _mm256_castsi256_ps(hi.raw),
                                           _MM_SHUFFLE(2, 0, 2, 0))});
                };
#else
                const V a0 = c0, a1 = c1, a2 = c2, b0 = e0, b1 = e1, b2 = e2;
                const auto evens = [&](auto lo, auto hi) {
                    return hn::ConcatEven(d32, hn::BitCast(d32, hi), hn::BitCast(d32, lo));
                };
#endif
                for (int i = 0; i < drawn; ++i) {
                    const V scale = hn::Set(d, scales[i]);
                    const auto px = evens(pixels(a0, a1, a2, scale), pixels(b0, b1, b2, scale));
                    hn::StoreU(px, d32, rows[i] + x);
                    if (twins[i] != nullptr) {
                        hn::StoreU(px, d32, twins[i] + x);
                    }
                }
                x += 2 * n;
                continue;
            }
#endif
            if (p.columnKinds[x] == 1 && x + n <= p.w) {
                for (int i = 0; i < drawn; ++i) {
                    const V scale = hn::Set(d, scales[i]);
                    hn::StoreU(hn::TruncateTo(du, pixels(c0, c1, c2, scale)), du, rows[i] + x);
                }
            } else if (p.columnKinds[x] == 1) {
                for (int i = 0; i < drawn; ++i) {
                    const V scale = hn::Set(d, scales[i]);
                    const V r = hn::Floor(hn::MulAdd(c0, scale, half));
                    const V g = hn::Floor(hn::MulAdd(c1, scale, half));
                    const V b = hn::Floor(hn::MulAdd(c2, scale, half));
                    out.store(rows[i], x, hn::MulAdd(b, shift16, hn::MulAdd(g, shift8, r)));
                }
            } else {
                for (int i = 0; i < drawn; ++i) {
                    const V dim = hn::Set(d, dims[i]);
                    out.put(rows[i], x, hn::Mul(dim, c0), hn::Mul(dim, c1), hn::Mul(dim, c2));
                }
            }
            for (int i = 0; i < drawn; ++i) {
                if (twins[i] == nullptr) {
                    continue;
                }
                if (x + n <= p.w) {
                    hn::StoreU(hn::LoadU(du, rows[i] + x), du, twins[i] + x);
                } else {
                    std::memcpy(twins[i] + x, rows[i] + x, static_cast<std::size_t>(p.w - x) * 4);
                }
            }
            x += n;
        }
        for (int y = 0; y < p.h; ++y) {
            if (p.rowSource[y] != y && !written[y]) {
                std::memcpy(RowOf(p, y), RowOf(p, p.rowSource[y]),
                            static_cast<std::size_t>(p.w) * 4);
            }
        }
        return;
    }
    for (int y = 0; y < p.h; ++y) {
        std::uint32_t* row = RowOf(p, y);
        if (p.rowSource[y] != y) {
            std::memcpy(row, RowOf(p, p.rowSource[y]), static_cast<std::size_t>(p.w) * 4);
            continue;
        }
        const V dim = hn::Set(d, p.rowDim[y]);
        const V spacePixel =
            out.pack(hn::Mul(dim, space[0]), hn::Mul(dim, space[1]), hn::Mul(dim, space[2]));
        for (int x = 0; x < p.w; x += n) {
            const std::uint8_t kind = p.columnKinds[x];
            if (kind == 0) {
                out.store(row, x, spacePixel);
                continue;
            }
            const Writer& writer = kind == 1 ? loose : out;
            writer.put(row, x, hn::Mul(dim, hn::LoadU(d, columns[0] + x)),
                       hn::Mul(dim, hn::LoadU(d, columns[1] + x)),
                       hn::Mul(dim, hn::LoadU(d, columns[2] + x)));
        }
    }
}

// Rows rarely start on a vector boundary: one unaligned store at each end of a row, and every
// store between them whole, on its own cache line.
void Fill(const Plan& p) {
    const hn::ScalableTag<std::uint32_t> du;
    const int n = static_cast<int>(hn::Lanes(du));
    const std::uintptr_t vectorBytes = static_cast<std::uintptr_t>(n) * 4;
    for (int y = 0; y < p.h; ++y) {
        std::uint32_t* row = RowOf(p, y);
        if (p.w < n) {
            std::fill(row, row + p.w, p.rowPixels[y]);
            continue;
        }
        const auto px = hn::Set(du, p.rowPixels[y]);
        std::uint32_t* end = row + p.w;
        hn::StoreU(px, du, row);
        const std::uintptr_t skip =
            (vectorBytes - reinterpret_cast<std::uintptr_t>(row) % vectorBytes) % vectorBytes;
        std::uint32_t* at = row + skip / 4; // pixels are 4-byte aligned, so this lands exactly
        for (; at + n <= end; at += n) {
            hn::Store(px, du, at);
        }
        hn::StoreU(px, du, end - n);
    }
}

void Shade(const Plan& plan) {
    switch (plan.effect) {
    case Effect::rainbowWave: RainbowWave(plan); break;
    case Effect::spectrumCycle: SpectrumCycle(plan); break;
    case Effect::neonBreath: NeonBreath(plan); break;
    case Effect::heartbeat: Heartbeat(plan); break;
    case Effect::scanner: Scanner(plan); break;
    case Effect::inferno: Inferno(plan); break;
    case Effect::matrix: Matrix(plan); break;
    case Effect::starfield: Starfield(plan); break;
    case Effect::breathing:
    case Effect::solid: Fill(plan); break;
    }
}

const char* Target() {
    return hwy::TargetName(HWY_TARGET);
}

} // namespace HWY_NAMESPACE
} // namespace lumora::kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <cstring>

namespace lumora::kernels {

HWY_EXPORT(Shade);
HWY_EXPORT(Fill);
HWY_EXPORT(Target);

void shade(const Plan& plan) {
    HWY_DYNAMIC_DISPATCH(Shade)(plan);
}

void fill(const Plan& plan) {
    HWY_DYNAMIC_DISPATCH(Fill)(plan);
}

const char* activeTarget() {
    return HWY_DYNAMIC_DISPATCH(Target)();
}

std::vector<std::string> availableTargets() {
    std::vector<std::string> names;
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        names.emplace_back(hwy::TargetName(target));
    }
    return names;
}

bool forceTarget(const char* name) {
    if (name == nullptr || *name == '\0') {
        hwy::SetSupportedTargetsForTest(0);
        return true;
    }
    hwy::SetSupportedTargetsForTest(0);
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        if (std::strcmp(hwy::TargetName(target), name) == 0) {
            hwy::SetSupportedTargetsForTest(target);
            return true;
        }
    }
    return false;
}

} // namespace lumora::kernels
#endif
