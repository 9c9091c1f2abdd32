#include "render/software/SoftwareCanvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUORVANE_X86 1
#endif

namespace Quorvane {
namespace {

std::uint32_t Pack(Color color) {
    return (std::uint32_t{color.r} << 16) | (std::uint32_t{color.g} << 8) | color.b;
}

// round(x / 255) for x in [0, 255 * 255], on the two 8-bit lanes 0x00FF00FF at once.
std::uint32_t Div255Lanes(std::uint32_t lanes) {
    lanes += 0x00800080u;
    return ((lanes + ((lanes >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
}

// Source-over of a premultiplied texel onto an opaque pixel:
// each channel is p + round(d * (255 - a) / 255).
std::uint32_t BlendOver(std::uint32_t source, std::uint32_t destination) {
    const std::uint32_t inverse = 255u - (source >> 24);
    const std::uint32_t redBlue = Div255Lanes((destination & 0x00FF00FFu) * inverse);
    const std::uint32_t green = Div255Lanes(((destination >> 8) & 0xFFu) * inverse);
    return (source & 0x00FFFFFFu) + redBlue + (green << 8);
}

// Source-over along a row. With premultiplied texels one formula serves every
// alpha: opaque texels add nothing of the destination, clear ones add nothing.
// The vector versions compute round(x / 255) on 16-bit lanes exactly as the
// scalar one does: t = x + 128, (t + (t >> 8)) >> 8.
void BlendRowScalar(const std::uint32_t* source, std::uint32_t* target, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) target[i] = BlendOver(source[i], target[i]);
}

#if defined(QUORVANE_X86)
void BlendRowSse2(const std::uint32_t* source, std::uint32_t* target, std::int32_t count) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i all255 = _mm_set1_epi32(255);
    const __m128i half = _mm_set1_epi16(128);
    const auto div255 = [half](__m128i x) {
        x = _mm_add_epi16(x, half);
        return _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
    };
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + i));
        const __m128i inverse32 = _mm_sub_epi32(all255, _mm_srli_epi32(s, 24));
        const __m128i inverse = _mm_or_si128(inverse32, _mm_slli_epi32(inverse32, 16));
        const __m128i low = div255(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi32(inverse, inverse)));
        const __m128i high = div255(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi32(inverse, inverse)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), _mm_add_epi8(_mm_packus_epi16(low, high), s));
    }
    BlendRowScalar(source + i, target + i, count - i);
}

__attribute__((target("avx2"))) void BlendRowAvx2(const std::uint32_t* source, std::uint32_t* target, std::int32_t count) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i all255 = _mm256_set1_epi32(255);
    const __m256i half = _mm256_set1_epi16(128);
    const auto div255 = [half](__m256i x) __attribute__((target("avx2"))) {
        x = _mm256_add_epi16(x, half);
        return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
    };
    std::int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(target + i));
        const __m256i inverse32 = _mm256_sub_epi32(all255, _mm256_srli_epi32(s, 24));
        const __m256i inverse = _mm256_or_si256(inverse32, _mm256_slli_epi32(inverse32, 16));
        // Unpacks work within 128-bit halves; pack puts the halves back in place.
        const __m256i low = div255(_mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), _mm256_unpacklo_epi32(inverse, inverse)));
        const __m256i high = div255(_mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), _mm256_unpackhi_epi32(inverse, inverse)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + i), _mm256_add_epi8(_mm256_packus_epi16(low, high), s));
    }
    BlendRowSse2(source + i, target + i, count - i);
}
#endif

using BlendRowFunction = void (*)(const std::uint32_t*, std::uint32_t*, std::int32_t);

BlendRowFunction ChooseBlendRow() {
#if defined(QUORVANE_X86)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return BlendRowAvx2;
    return BlendRowSse2;
#else
    return BlendRowScalar;
#endif
}

const BlendRowFunction BlendRow = ChooseBlendRow();

std::uint32_t Div255(std::uint32_t value) {
    value += 128;
    return (value + (value >> 8)) >> 8;
}

// A straight colour at the given alpha, premultiplied.
std::uint32_t Premultiply(ColorA color, std::uint32_t alpha) {
    return (alpha << 24) | (Div255(color.r * alpha) << 16) | (Div255(color.g * alpha) << 8) | Div255(color.b * alpha);
}

// A premultiplied texel times a straight tint: each channel, alpha included, is
// scaled by the tint's channel, and the colour channels by the tint's alpha too.
struct TintFactors {
    std::uint32_t r, g, b, a;
    explicit TintFactors(ColorA tint)
        : r(Div255(tint.r * std::uint32_t{tint.a})), g(Div255(tint.g * std::uint32_t{tint.a})),
          b(Div255(tint.b * std::uint32_t{tint.a})), a(tint.a) {}
    std::uint32_t operator()(std::uint32_t texel) const {
        return (Div255((texel >> 24) * a) << 24) | (Div255(((texel >> 16) & 0xFFu) * r) << 16) |
               (Div255(((texel >> 8) & 0xFFu) * g) << 8) | Div255((texel & 0xFFu) * b);
    }
};


// 32.32 fixed point, rounded to nearest.
std::int64_t Fixed32(double value) {
    const double scaled = std::clamp(value * 4294967296.0, -9.0e18, 9.0e18);
    return static_cast<std::int64_t>(scaled + (scaled >= 0.0 ? 0.5 : -0.5));
}

// One row of a turned, nearest-sampled image whose texels all lie inside the
// image: positions in 16.16 fixed point, stepping per column.
struct TurnedRow {
    const std::uint32_t* texels;  // the image's first texel
    std::int32_t imageWidth;
    std::int32_t sourceX, sourceY, sourceWidth, sourceHeight;
    std::int32_t u, v, stepU, stepV;  // at the first column
    bool flipX, flipY;
};

#if defined(QUORVANE_X86)
// Eight pixels at a time: texel indices computed in lanes, fetched with a gather,
// tinted and blended exactly as the scalar path does.
__attribute__((target("avx2"))) std::int32_t TurnedRowAvx2(const TurnedRow& row, const TintFactors* tint,
                                                           std::uint32_t* target, std::int32_t count) {
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lastU = _mm256_set1_epi32(row.sourceWidth - 1), lastV = _mm256_set1_epi32(row.sourceHeight - 1);
    const __m256i stepU8 = _mm256_set1_epi32(row.stepU * 8), stepV8 = _mm256_set1_epi32(row.stepV * 8);
    __m256i u = _mm256_add_epi32(_mm256_set1_epi32(row.u), _mm256_mullo_epi32(lanes, _mm256_set1_epi32(row.stepU)));
    __m256i v = _mm256_add_epi32(_mm256_set1_epi32(row.v), _mm256_mullo_epi32(lanes, _mm256_set1_epi32(row.stepV)));
    const __m256i originX = _mm256_set1_epi32(row.sourceX), originY = _mm256_set1_epi32(row.sourceY);
    const __m256i width = _mm256_set1_epi32(row.imageWidth);
    const __m256i half = _mm256_set1_epi16(128);
    const auto div255 = [half](__m256i x) __attribute__((target("avx2"))) {
        x = _mm256_add_epi16(x, half);
        return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
    };
    const __m256i factors = tint ? _mm256_set1_epi64x(static_cast<long long>(
                                       (std::uint64_t{tint->a} << 48) | (std::uint64_t{tint->r} << 32) |
                                       (std::uint64_t{tint->g} << 16) | tint->b))
                                 : zero;
    const __m256i all255 = _mm256_set1_epi32(255);
    // The last group is masked, so a short row never falls back to scalar pixels.
    for (std::int32_t i = 0; i < count; i += 8) {
        const __m256i mask = _mm256_cmpgt_epi32(_mm256_set1_epi32(count - i), lanes);
        __m256i ku = _mm256_min_epi32(_mm256_max_epi32(_mm256_srai_epi32(_mm256_sub_epi32(u, one), 16), zero), lastU);
        __m256i kv = _mm256_min_epi32(_mm256_max_epi32(_mm256_srai_epi32(_mm256_sub_epi32(v, one), 16), zero), lastV);
        if (row.flipX) ku = _mm256_sub_epi32(lastU, ku);
        if (row.flipY) kv = _mm256_sub_epi32(lastV, kv);
        const __m256i index = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_add_epi32(kv, originY), width),
                                               _mm256_add_epi32(ku, originX));
        __m256i s = _mm256_mask_i32gather_epi32(zero, reinterpret_cast<const int*>(row.texels), index, mask, 4);
        if (tint) {
            const __m256i low = div255(_mm256_mullo_epi16(_mm256_unpacklo_epi8(s, zero), factors));
            const __m256i high = div255(_mm256_mullo_epi16(_mm256_unpackhi_epi8(s, zero), factors));
            s = _mm256_packus_epi16(low, high);
        }
        int* out = reinterpret_cast<int*>(target + i);
        const __m256i d = _mm256_maskload_epi32(out, mask);
        const __m256i inverse32 = _mm256_sub_epi32(all255, _mm256_srli_epi32(s, 24));
        const __m256i inverse = _mm256_or_si256(inverse32, _mm256_slli_epi32(inverse32, 16));
        const __m256i low = div255(_mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), _mm256_unpacklo_epi32(inverse, inverse)));
        const __m256i high = div255(_mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), _mm256_unpackhi_epi32(inverse, inverse)));
        _mm256_maskstore_epi32(out, mask, _mm256_add_epi8(_mm256_packus_epi16(low, high), s));
        u = _mm256_add_epi32(u, stepU8);
        v = _mm256_add_epi32(v, stepV8);
    }
    return count;
}

const bool kHasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

// The same row one pixel at a time, from pixel first on; also the tail of the vector path.
void TurnedRowScalar(const TurnedRow& row, const TintFactors* tint, std::uint32_t* target, std::int32_t first,
                     std::int32_t count) {
    std::int32_t u = row.u + row.stepU * first, v = row.v + row.stepV * first;
    for (std::int32_t i = first; i < count; ++i, u += row.stepU, v += row.stepV) {
        std::int32_t ku = std::clamp((u - 1) >> 16, 0, row.sourceWidth - 1);
        std::int32_t kv = std::clamp((v - 1) >> 16, 0, row.sourceHeight - 1);
        if (row.flipX) ku = row.sourceWidth - 1 - ku;
        if (row.flipY) kv = row.sourceHeight - 1 - kv;
        std::uint32_t source = row.texels[static_cast<std::size_t>(row.sourceY + kv) * row.imageWidth + row.sourceX + ku];
        if (tint) source = (*tint)(source);
        target[i] = BlendOver(source, target[i]);
    }
}

void DrawTurnedRow(const TurnedRow& row, const TintFactors* tint, std::uint32_t* target, std::int32_t count) {
    std::int32_t done = 0;
#if defined(QUORVANE_X86)
    if (kHasAvx2) done = TurnedRowAvx2(row, tint, target, count);
#endif
    TurnedRowScalar(row, tint, target, done, count);
}

// Weights are in 1/256: wx = 0 takes the left texels, 256 the right ones.
std::uint32_t Bilinear(std::uint32_t topLeft, std::uint32_t topRight, std::uint32_t bottomLeft,
                       std::uint32_t bottomRight, std::uint32_t wx, std::uint32_t wy) {
    std::uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const auto at = [shift](std::uint32_t texel) { return (texel >> shift) & 0xFFu; };
        const std::uint32_t top = at(topLeft) * (256 - wx) + at(topRight) * wx;
        const std::uint32_t bottom = at(bottomLeft) * (256 - wx) + at(bottomRight) * wx;
        result |= ((top * (256 - wy) + bottom * wy + 32768u) >> 16) << shift;
    }
    return result;
}

// Cosine and sine of a turn, exact for quarter turns so that 90 degrees maps
// pixels onto pixels.
struct QuarterTurn {
    double cosine = 1.0, sine = 0.0;
};

QuarterTurn Turn(float radians) {
    constexpr double kTau = 6.283185307179586;
    double turn = std::fmod(static_cast<double>(radians), kTau);
    if (turn < 0) turn += kTau;
    const double quarters = turn / (kTau / 4);
    const double nearest = std::round(quarters);
    if (std::abs(quarters - nearest) < 1e-6) {
        switch (static_cast<int>(nearest) % 4) {
            case 0: return {1.0, 0.0};
            case 1: return {0.0, 1.0};
            case 2: return {-1.0, 0.0};
            default: return {0.0, -1.0};
        }
    }
    return {std::cos(turn), std::sin(turn)};
}

// The rectangle and source an image draw needs before any pixel is touched.
bool DrawableImage(const SoftwareImage& image, const ImageDraw& draw) {
    return image.Width() > 0 && image.Height() > 0 && draw.sourceWidth > 0 && draw.sourceHeight > 0 &&
           draw.width > 0.0f && draw.height > 0.0f && std::isfinite(draw.x) && std::isfinite(draw.y) &&
           std::isfinite(draw.width) && std::isfinite(draw.height);
}

// The destination pixels along one axis: those whose centre lies in
// (origin, origin + size] (GDI+'s half-pixel offset, ties to the lower texel),
// clipped to [0, limit). A flipped axis mirrors the picture within the same
// pixels, so a sprite never shifts when it turns.
struct AxisSpan {
    double first = 0, last = 0;  // unclipped, so mirroring survives clipping
    std::int32_t clippedFirst = 0, clippedLast = -1;

    AxisSpan(double origin, double size, std::int32_t limit) {
        first = std::floor(origin - 0.5) + 1.0;
        last = std::floor(origin + size - 0.5);
        const double lo = std::max(first, 0.0);
        const double hi = std::min(last, static_cast<double>(limit) - 1.0);
        if (lo <= hi) {
            clippedFirst = static_cast<std::int32_t>(lo);
            clippedLast = static_cast<std::int32_t>(hi);
        }
    }
    bool Empty() const { return clippedLast < clippedFirst; }

    // The texel under each covered pixel, clipped first to last, into out: the
    // smallest k with (centre - origin) * texels <= (k + 1) * size. Stepping
    // through the pixels with exact products keeps ties exact (1.5 * 4 against 6)
    // and needs one division per image instead of one per pixel.
    void Map(double origin, double size, std::int32_t texels, bool flip, std::int32_t* out) const {
        const std::int32_t count = clippedLast - clippedFirst + 1;
        // Mirroring reverses the picture within the same pixels.
        const double start = flip ? first + last - clippedLast : clippedFirst;
        if (size == texels) {
            // 1:1: the k-th covered pixel shows texel k, whatever the fractional offset.
            const auto offset = static_cast<std::int32_t>(start - first);
            for (std::int32_t i = 0; i < count; ++i) out[i] = std::clamp(offset + i, 0, texels - 1);
            if (flip) std::reverse(out, out + count);
            return;
        }
        double numerator = (start + 0.5 - origin) * texels;
        double k = std::ceil(numerator / size) - 1.0;
        std::int32_t i = 0;
        for (; i < count; ++i) {
            while (numerator > (k + 1.0) * size) k += 1.0;
            while (k > 0.0 && numerator <= k * size) k -= 1.0;
            out[i] = static_cast<std::int32_t>(std::clamp(k, 0.0, texels - 1.0));
            numerator += texels;
            // Enlarged, the texel advances by at most one per pixel and never goes
            // back: one test without a branch gives what the loops above give.
            if (texels <= size) {
                ++i;
                break;
            }
        }
        for (; i < count; ++i) {
            k += numerator > (k + 1.0) * size ? 1.0 : 0.0;
            out[i] = static_cast<std::int32_t>(std::clamp(k, 0.0, texels - 1.0));
            numerator += texels;
        }
        if (flip) std::reverse(out, out + count);
    }
};

}  // namespace

SoftwareImage::SoftwareImage(std::int32_t w, std::int32_t h, std::vector<std::uint32_t> data)
    : width(w), height(h), pixels(std::move(data)),
      opaque(std::all_of(pixels.begin(), pixels.end(), [](std::uint32_t p) { return (p >> 24) == 255u; })) {}

void SoftwareCanvas::Resize(std::int32_t newWidth, std::int32_t newHeight) {
    newWidth = std::clamp(newWidth, 0, kMaxSide);
    newHeight = std::clamp(newHeight, 0, kMaxSide);
    if (newWidth == width && newHeight == height) return;
    width = newWidth;
    height = newHeight;
    buffer.assign(static_cast<std::size_t>(width) * height, 0u);
    pixels = buffer.data();
}

void SoftwareCanvas::DrawInto(const SoftwareCanvas& owner, std::int32_t top, std::int32_t bottom) {
    pixels = owner.pixels;
    width = owner.width;
    height = owner.height;
    bandTop = top;
    bandBottom = bottom;
}

void SoftwareCanvas::Fill(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom, std::uint32_t value) {
    left = std::max<std::int64_t>(left, 0);
    top = std::max<std::int64_t>(top, std::max(bandTop, 0));
    right = std::min<std::int64_t>(right, width);
    bottom = std::min<std::int64_t>(bottom, std::min(bandBottom, height));
    if (right <= left || bottom <= top) return;
    for (std::int64_t y = top; y < bottom; ++y) {
        std::fill_n(pixels + y * width + left, right - left, value);
    }
}

void SoftwareCanvas::FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) {
    Fill(left, top, right, bottom, Pack(color));
}

void SoftwareCanvas::OutlineRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) {
    // The 2-pixel pen straddles the left and top edges and lies inside the right and
    // bottom ones. 64-bit arithmetic keeps the edges of INT_MIN/INT_MAX rectangles exact.
    std::int64_t l = std::min(left, right), r = std::max(left, right);
    std::int64_t t = std::min(top, bottom), b = std::max(top, bottom);
    if (l == r || t == b) return;
    const std::uint32_t value = Pack(color);
    Fill(l - 1, t - 1, r, t + 1, value);  // top
    Fill(l - 1, b - 2, r, b, value);      // bottom
    Fill(l - 1, t - 1, l + 1, b, value);  // left
    Fill(r - 2, t - 1, r, b, value);      // right
}

void SoftwareCanvas::DrawImage(const CanvasImage& canvasImage, float x, float y, float w, float h, bool flipX, bool flipY) {
    const auto& image = static_cast<const SoftwareImage&>(canvasImage);
    ImageDraw draw;
    draw.sourceWidth = image.Width();
    draw.sourceHeight = image.Height();
    draw.x = x;
    draw.y = y;
    draw.width = w;
    draw.height = h;
    draw.flipX = flipX;
    draw.flipY = flipY;
    if (!DrawableImage(image, draw)) return;
    DrawAxisAligned(image, draw);
}

// A sprite's row is a few cache lines a whole canvas row away from the last one,
// a pattern the hardware prefetcher does not follow; asking for the row three
// ahead hides most of the wait for canvas pixels (measured: 2 to 4 is best).
constexpr std::int32_t kPrefetchRows = 3;

void SoftwareCanvas::DrawAxisAligned(const SoftwareImage& image, const ImageDraw& draw) {
    const float x = draw.x, y = draw.y, w = draw.width, h = draw.height;
    const std::int32_t texelsX = draw.sourceWidth;
    const std::int32_t texelsY = draw.sourceHeight;
    const AxisSpan columns(x, w, width);
    const AxisSpan rows(y, h, height);
    if (columns.Empty() || rows.Empty()) return;
    const std::int32_t firstX = columns.clippedFirst;

    const std::int32_t count = columns.clippedLast - firstX + 1;
    sourceRows.resize(static_cast<std::size_t>(rows.clippedLast - rows.clippedFirst + 1));
    rows.Map(y, h, texelsY, draw.flipY, sourceRows.data());
    // At 1:1 the columns run on one by one and rows are read in place; otherwise
    // each texel row is expanded once and reused by the rows that repeat it.
    const bool contiguous = !draw.flipX && w == static_cast<float>(texelsX);
    // Only at 1:1 is the offset into the row small (under one image width from
    // the left edge); elsewhere columns.first may lie far outside the int range,
    // so it is converted only when it is used.
    const std::int32_t firstColumn = contiguous ? static_cast<std::int32_t>(firstX - columns.first) : 0;
    if (!contiguous) {
        sourceColumns.resize(static_cast<std::size_t>(count));
        columns.Map(x, w, texelsX, draw.flipX, sourceColumns.data());
        expandedRow.resize(static_cast<std::size_t>(count));
    }
    const bool tinted = draw.tint != ColorA{255, 255, 255, 255};
    if (tinted) tintedRow.resize(static_cast<std::size_t>(count));
    std::int32_t expandedTexelRow = -1;

    // The rows were mapped for the whole picture, so a band draws its rows exactly
    // as the whole canvas would.
    const std::int32_t lastRow = std::min(rows.clippedLast, bandBottom - 1);
    for (std::int32_t row = std::max(rows.clippedFirst, bandTop); row <= lastRow; ++row) {
        const std::int32_t texelRow = sourceRows[row - rows.clippedFirst];
        const std::uint32_t* source = image.Row(draw.sourceY + texelRow) + draw.sourceX;
        if (contiguous) {
            source += firstColumn;
        } else {
            if (texelRow != expandedTexelRow) {
                for (std::int32_t i = 0; i < count; ++i) expandedRow[i] = source[sourceColumns[i]];
                expandedTexelRow = texelRow;
            }
            source = expandedRow.data();
        }
        std::uint32_t* target = pixels + static_cast<std::size_t>(row) * width + firstX;
        if (row + kPrefetchRows <= lastRow) {
            const std::uint32_t* ahead = target + static_cast<std::size_t>(kPrefetchRows) * width;
            for (std::int32_t i = 0; i < count; i += 16) __builtin_prefetch(ahead + i, 1);
            __builtin_prefetch(ahead + count - 1, 1);
        }
        if (tinted) {
            const TintFactors tint(draw.tint);
            for (std::int32_t i = 0; i < count; ++i) tintedRow[i] = tint(source[i]);
            BlendRow(tintedRow.data(), target, count);
        } else if (image.Opaque()) {
            std::copy_n(source, count, target);
        } else {
            BlendRow(source, target, count);
        }
    }
}

void SoftwareCanvas::DrawImageEx(const CanvasImage& canvasImage, const ImageDraw& draw) {
    const auto& image = static_cast<const SoftwareImage&>(canvasImage);
    if (!DrawableImage(image, draw) || draw.tint.a == 0 || !std::isfinite(draw.rotation) ||
        !std::isfinite(draw.originX) || !std::isfinite(draw.originY)) {
        return;
    }
    const bool inside = draw.sourceX >= 0 && draw.sourceY >= 0 &&
                        static_cast<std::int64_t>(draw.sourceX) + draw.sourceWidth <= image.Width() &&
                        static_cast<std::int64_t>(draw.sourceY) + draw.sourceHeight <= image.Height();
    const QuarterTurn turn = Turn(draw.rotation);
    if (turn.cosine == 1.0 && !draw.smooth && inside) {
        DrawAxisAligned(image, draw);
    } else {
        DrawTransformed(image, draw, turn.cosine, turn.sine);
    }
}

void SoftwareCanvas::DrawTransformed(const SoftwareImage& image, const ImageDraw& draw, double cosine, double sine) {
    // Only texels inside both the source rectangle and the image are sampled.
    const std::int32_t sourceLeft = std::max(draw.sourceX, 0);
    const std::int32_t sourceTop = std::max(draw.sourceY, 0);
    const std::int64_t sourceRight = std::min<std::int64_t>(std::int64_t{draw.sourceX} + draw.sourceWidth, image.Width());
    const std::int64_t sourceBottom = std::min<std::int64_t>(std::int64_t{draw.sourceY} + draw.sourceHeight, image.Height());
    if (sourceRight <= sourceLeft || sourceBottom <= sourceTop) return;

    const double x = draw.x, y = draw.y, w = draw.width, h = draw.height;
    const double ox = draw.originX, oy = draw.originY;
    // Bounding box of the turned rectangle: q = o + R (p - o).
    double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
    for (const double px : {x, x + w}) {
        for (const double py : {y, y + h}) {
            const double qx = ox + cosine * (px - ox) - sine * (py - oy);
            const double qy = oy + sine * (px - ox) + cosine * (py - oy);
            minX = std::min(minX, qx);
            maxX = std::max(maxX, qx);
            minY = std::min(minY, qy);
            maxY = std::max(maxY, qy);
        }
    }
    // Each row is computed from its own index, so a band's rows match the whole canvas's.
    const double firstRow = std::max(std::floor(minY), static_cast<double>(std::max(bandTop, 0)));
    const double lastRow = std::min(std::ceil(maxY), static_cast<double>(std::min(bandBottom, height)) - 1.0);
    const double firstColumn = std::max(std::floor(minX), 0.0);
    const double lastColumn = std::min(std::ceil(maxX), static_cast<double>(width) - 1.0);
    if (firstRow > lastRow || firstColumn > lastColumn) return;

    const double scaleX = draw.sourceWidth / w;
    const double scaleY = draw.sourceHeight / h;
    const bool tinted = draw.tint != ColorA{255, 255, 255, 255};
    const TintFactors tint(draw.tint);
    const auto texel = [&](std::int64_t tx, std::int64_t ty) {
        tx = std::clamp<std::int64_t>(tx, sourceLeft, sourceRight - 1);
        ty = std::clamp<std::int64_t>(ty, sourceTop, sourceBottom - 1);
        return image.Row(static_cast<std::int32_t>(ty))[tx];
    };
    // Along a row u and v change linearly with the column, so each row's covered
    // span is solved for once and only its pixels are visited; the test per pixel
    // stays, so the span may be generous by a pixel at each end.
    const double inverseCosine = cosine != 0.0 ? 1.0 / cosine : 0.0, inverseSine = sine != 0.0 ? -1.0 / sine : 0.0;
    const auto span = [](double start, double step, double inverseStep, double high, double& first, double& last) {
        // Columns whose centre gives start + step * column in (0, high].
        if (step == 0.0) {
            if (!(start > 0.0 && start <= high)) first = 1.0, last = 0.0;
            return;
        }
        double a = -start * inverseStep, b = (high - start) * inverseStep;
        if (a > b) std::swap(a, b);
        first = std::max(first, std::floor(a) - 1.0);
        last = std::min(last, std::ceil(b) + 1.0);
    };
    // Positions in 32.32 fixed point need scales that keep a row's positions far
    // from the int64 limits; a sprite squeezed below a millionth of a pixel per
    // texel takes the per-pixel path.
    const bool fixedPoint = std::abs(scaleX) < 1048576.0 && std::abs(scaleY) < 1048576.0;
    const std::int64_t stepU = Fixed32(cosine * scaleX), stepV = Fixed32(-sine * scaleY);
    const std::int64_t limitU = Fixed32(draw.sourceWidth), limitV = Fixed32(draw.sourceHeight);
    // Rows whose texels all lie in the image, with positions and steps that fit
    // 16.16 fixed point, take the vector path.
    const bool inImage = draw.sourceX >= 0 && draw.sourceY >= 0 &&
                         std::int64_t{draw.sourceX} + draw.sourceWidth <= image.Width() &&
                         std::int64_t{draw.sourceY} + draw.sourceHeight <= image.Height();
    const bool fastRows = inImage && draw.sourceWidth < 16384 && draw.sourceHeight < 16384 &&
                          std::abs(scaleX) < 1024.0 && std::abs(scaleY) < 1024.0;
    for (auto row = static_cast<std::int32_t>(firstRow); row <= static_cast<std::int32_t>(lastRow); ++row) {
        std::uint32_t* target = pixels + static_cast<std::size_t>(row) * width;
        const double dy = row + 0.5 - oy;
        // u and v at column 0's centre, and their steps per column.
        const double u0 = ox + cosine * (0.5 - ox) + sine * dy - x;
        const double v0 = oy - sine * (0.5 - ox) + cosine * dy - y;
        double first = firstColumn, last = lastColumn;
        span(u0, cosine, inverseCosine, w, first, last);
        span(v0, -sine, inverseSine, h, first, last);
        if (first > last) continue;
        const auto begin = static_cast<std::int32_t>(first), end = static_cast<std::int32_t>(last);
        if (!draw.smooth && fixedPoint) {
            // Nearest texel in 32.32 fixed point: the texel position steps by a
            // constant per column, so a pixel costs adds, compares and a shift.
            std::int64_t tu = Fixed32((u0 + cosine * begin) * scaleX), tv = Fixed32((v0 - sine * begin) * scaleY);
            // Trim the span to the columns inside the rectangle, so the loop below
            // tests nothing per pixel: the position lies in (0, texels] on both axes.
            const auto inside = [&](std::int64_t u, std::int64_t v) { return u > 0 && u <= limitU && v > 0 && v <= limitV; };
            std::int32_t from = begin, to = end;
            while (from <= to && !inside(tu, tv)) ++from, tu += stepU, tv += stepV;
            std::int64_t lastU = tu + stepU * (to - from), lastV = tv + stepV * (to - from);
            while (to >= from && !inside(lastU, lastV)) --to, lastU -= stepU, lastV -= stepV;
            if (from > to) continue;
            if (row + kPrefetchRows <= lastRow) {
                const std::uint32_t* ahead = target + static_cast<std::size_t>(kPrefetchRows) * width;
                for (std::int32_t i = from; i <= to; i += 16) __builtin_prefetch(ahead + i, 1);
                __builtin_prefetch(ahead + to, 1);
            }
            if (fastRows) {
                // 32.32 to 16.16: the span was trimmed with the finer positions.
                const TurnedRow turned{image.Row(0), image.Width(), draw.sourceX, draw.sourceY, draw.sourceWidth,
                                       draw.sourceHeight, static_cast<std::int32_t>(tu >> 16),
                                       static_cast<std::int32_t>(tv >> 16), static_cast<std::int32_t>(stepU >> 16),
                                       static_cast<std::int32_t>(stepV >> 16), draw.flipX, draw.flipY};
                DrawTurnedRow(turned, tinted ? &tint : nullptr, target + from, to - from + 1);
                continue;
            }
            for (std::int32_t column = from; column <= to; ++column, tu += stepU, tv += stepV) {
                // A turned rectangle is convex, so the span between its edges is inside.
                auto ku = static_cast<std::int32_t>((tu - 1) >> 32), kv = static_cast<std::int32_t>((tv - 1) >> 32);
                if (draw.flipX) ku = draw.sourceWidth - 1 - ku;
                if (draw.flipY) kv = draw.sourceHeight - 1 - kv;
                const std::int64_t tx = std::int64_t{draw.sourceX} + ku, ty = std::int64_t{draw.sourceY} + kv;
                if (tx < sourceLeft || tx >= sourceRight || ty < sourceTop || ty >= sourceBottom) continue;
                std::uint32_t source = image.Row(static_cast<std::int32_t>(ty))[tx];
                if (tinted) source = tint(source);
                target[column] = BlendOver(source, target[column]);
            }
            continue;
        }
        for (std::int32_t column = begin; column <= end; ++column) {
            const double u = u0 + cosine * column;
            const double v = v0 - sine * column;
            if (!(u > 0.0 && u <= w && v > 0.0 && v <= h)) continue;
            if (!draw.smooth) {
                const auto nearest = [](double offset, double scale, std::int32_t texels, bool flip) {
                    const double k = std::clamp(std::ceil(offset * scale) - 1.0, 0.0, texels - 1.0);
                    return flip ? texels - 1 - static_cast<std::int64_t>(k) : static_cast<std::int64_t>(k);
                };
                const std::int64_t tx = draw.sourceX + nearest(u, scaleX, draw.sourceWidth, draw.flipX);
                const std::int64_t ty = draw.sourceY + nearest(v, scaleY, draw.sourceHeight, draw.flipY);
                if (tx < sourceLeft || tx >= sourceRight || ty < sourceTop || ty >= sourceBottom) continue;
                std::uint32_t source = image.Row(static_cast<std::int32_t>(ty))[tx];
                if (tinted) source = tint(source);
                target[column] = BlendOver(source, target[column]);
                continue;
            }
            // Texel centres sit at half-texel positions; neighbours clamp at the
            // source rectangle's edge so atlas neighbours never bleed in.
            const double fu = (draw.flipX ? w - u : u) * scaleX - 0.5;
            const double fv = (draw.flipY ? h - v : v) * scaleY - 0.5;
            const double flooredU = std::floor(fu), flooredV = std::floor(fv);
            const auto tx = static_cast<std::int64_t>(flooredU) + draw.sourceX;
            const auto ty = static_cast<std::int64_t>(flooredV) + draw.sourceY;
            const auto wx = static_cast<std::uint32_t>((fu - flooredU) * 256.0 + 0.5);
            const auto wy = static_cast<std::uint32_t>((fv - flooredV) * 256.0 + 0.5);
            std::uint32_t source = Bilinear(texel(tx, ty), texel(tx + 1, ty), texel(tx, ty + 1), texel(tx + 1, ty + 1), wx, wy);
            if (source == 0) continue;
            if (tinted) source = tint(source);
            target[column] = BlendOver(source, target[column]);
        }
    }
}

void SoftwareCanvas::BlendRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, ColorA color) {
    if (color.a == 255) {
        Fill(left, top, right, bottom, Pack(Color{color.r, color.g, color.b}));
        return;
    }
    if (color.a == 0) return;
    const std::int64_t l = std::max<std::int64_t>(left, 0), t = std::max<std::int64_t>(top, std::max(bandTop, 0));
    const std::int64_t r = std::min<std::int64_t>(right, width), b = std::min<std::int64_t>(bottom, std::min(bandBottom, height));
    if (r <= l || b <= t) return;
    const auto count = static_cast<std::int32_t>(r - l);
    tintedRow.assign(static_cast<std::size_t>(count), Premultiply(color, color.a));
    for (std::int64_t y = t; y < b; ++y) BlendRow(tintedRow.data(), pixels + y * width + l, count);
}

void SoftwareCanvas::BlendMask(const std::uint8_t* mask, std::int32_t stride, std::int32_t maskWidth,
                               std::int32_t maskHeight, std::int32_t x, std::int32_t y, ColorA color) {
    if (color.a == 0) return;
    const std::int64_t left = std::max<std::int64_t>(x, 0), top = std::max<std::int64_t>(y, std::max(bandTop, 0));
    const std::int64_t right = std::min<std::int64_t>(std::int64_t{x} + maskWidth, width);
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{y} + maskHeight, std::min(bandBottom, height));
    for (std::int64_t row = top; row < bottom; ++row) {
        const std::uint8_t* coverage = mask + (row - y) * stride + (left - x);
        std::uint32_t* target = pixels + row * width;
        for (std::int64_t column = left; column < right; ++column) {
            const std::uint32_t cover = *coverage++;
            if (cover == 0) continue;
            const std::uint32_t alpha = color.a == 255 ? cover : Div255(cover * color.a);
            target[column] = BlendOver(Premultiply(color, alpha), target[column]);
        }
    }
}

std::unique_ptr<CanvasImage> SoftwareCanvas::LoadImage(const std::filesystem::path& path) { return DecodeImageFile(path); }

void SoftwareCanvas::Present(Window& window) { window.Present(Pixels()); }

PixelView SoftwareCanvas::Pixels() const { return {pixels, width, height, width}; }



}  // namespace Quorvane
