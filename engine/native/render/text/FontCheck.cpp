// stb_truetype trusts every offset and count in a font file. Fonts come from
// game folders, so before stb sees one, everything it will read is checked here:
// the table directory, the tables it reads at start-up, every glyph's outline
// and the composite glyphs' references (no cycles, bounded depth). Character
// lookup (cmap) is done here too, with the same results as stb_truetype's for
// sound fonts, so stb's own unchecked lookup is never used.
#include "render/text/FontCheck.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace Quorvane {
namespace {

struct Bytes {
    const unsigned char* data;
    std::size_t size;

    bool Has(std::uint64_t offset, std::uint64_t length) const { return offset <= size && length <= size - offset; }
    std::uint32_t U8(std::size_t at) const { return data[at]; }
    std::uint32_t U16(std::size_t at) const { return (std::uint32_t{data[at]} << 8) | data[at + 1]; }
    std::uint32_t U32(std::size_t at) const { return (U16(at) << 16) | U16(at + 2); }
};

struct Table {
    std::uint32_t offset = 0, length = 0;
    bool present = false;
};

Table FindTable(const Bytes& bytes, const char* tag) {
    const std::uint32_t count = bytes.U16(4);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t record = 12 + 16 * static_cast<std::size_t>(i);
        if (std::memcmp(bytes.data + record, tag, 4) == 0) return {bytes.U32(record + 8), bytes.U32(record + 12), true};
    }
    return {};
}

// A simple glyph's outline: the contour ends, instructions, flags and both
// coordinate arrays must all lie inside the glyph's bytes.
bool SimpleGlyphFits(const Bytes& bytes, std::size_t start, std::size_t end, std::uint32_t contours) {
    std::size_t at = start + 10;
    if (end - at < 2 * std::size_t{contours} + 2) return false;
    const std::uint32_t points = bytes.U16(at + 2 * (contours - 1)) + 1;
    at += 2 * std::size_t{contours};
    const std::uint32_t instructions = bytes.U16(at);
    at += 2;
    if (end - at < instructions) return false;
    at += instructions;
    std::size_t xBytes = 0, yBytes = 0;
    for (std::uint32_t point = 0; point < points;) {
        if (at >= end) return false;
        const std::uint32_t flags = bytes.U8(at++);
        std::uint32_t repeat = 1;
        if (flags & 8) {
            if (at >= end) return false;
            repeat += bytes.U8(at++);
        }
        const std::size_t x = (flags & 2) ? 1 : (flags & 16) ? 0 : 2;
        const std::size_t y = (flags & 4) ? 1 : (flags & 32) ? 0 : 2;
        // stb reads exactly `points` flags; a repeat past the end is cut there.
        const std::uint32_t used = std::min(repeat, points - point);
        xBytes += x * used;
        yBytes += y * used;
        point += used;
    }
    return end - at >= xBytes + yBytes;
}

}  // namespace

bool FontCheck::Check(const unsigned char* data, std::size_t size) {
    const Bytes bytes{data, size};
    // One font per file (no collections), TrueType outlines only.
    if (size < 12) return false;
    const std::uint32_t version = bytes.U32(0);
    if (version != 0x00010000u && std::memcmp(data, "true", 4) != 0) return false;
    const std::uint32_t tables = bytes.U16(4);
    if (!bytes.Has(12, 16 * std::uint64_t{tables})) return false;
    for (std::uint32_t i = 0; i < tables; ++i) {
        const std::size_t record = 12 + 16 * static_cast<std::size_t>(i);
        if (!bytes.Has(bytes.U32(record + 8), bytes.U32(record + 12))) return false;
    }
    const Table cmap = FindTable(bytes, "cmap"), head = FindTable(bytes, "head"), hhea = FindTable(bytes, "hhea");
    const Table hmtx = FindTable(bytes, "hmtx"), maxp = FindTable(bytes, "maxp"), loca = FindTable(bytes, "loca");
    const Table glyf = FindTable(bytes, "glyf");
    if (!cmap.present || !head.present || !hhea.present || !hmtx.present || !maxp.present || !loca.present || !glyf.present) {
        return false;
    }
    if (head.length < 54 || hhea.length < 36 || maxp.length < 6 || cmap.length < 4) return false;
    numGlyphs = bytes.U16(maxp.offset + 4);
    const std::uint32_t locaFormat = bytes.U16(head.offset + 50);
    const std::uint32_t longMetrics = bytes.U16(hhea.offset + 34);
    if (numGlyphs == 0 || locaFormat > 1 || longMetrics == 0) return false;
    const std::uint64_t metricsBytes =
        4 * std::uint64_t{longMetrics} + (numGlyphs > longMetrics ? 2 * std::uint64_t{numGlyphs - longMetrics} : 0);
    if (hmtx.length < metricsBytes) return false;

    // Every glyph's place in glyf, and what each outline holds.
    const std::size_t entry = locaFormat == 0 ? 2 : 4;
    if (loca.length < entry * (std::size_t{numGlyphs} + 1)) return false;
    const auto locate = [&](std::uint32_t glyph) -> std::uint64_t {
        const std::size_t at = loca.offset + entry * glyph;
        return locaFormat == 0 ? 2 * std::uint64_t{bytes.U16(at)} : bytes.U32(at);
    };
    std::vector<std::uint32_t> components;  // per glyph: first index into references
    std::vector<std::uint32_t> references;
    components.reserve(numGlyphs + 1);
    for (std::uint32_t glyph = 0; glyph < numGlyphs; ++glyph) {
        components.push_back(static_cast<std::uint32_t>(references.size()));
        const std::uint64_t first = locate(glyph), last = locate(glyph + 1);
        if (first > last || last > glyf.length) return false;
        if (first == last) continue;  // empty (a space)
        const std::size_t start = glyf.offset + first, end = glyf.offset + last;
        if (end - start < 10) return false;
        const std::uint32_t contours = bytes.U16(start);
        if (contours < 0x8000u) {
            if (contours > 0 && !SimpleGlyphFits(bytes, start, end, contours)) return false;
            continue;
        }
        // A composite: each part names another glyph, with arguments and a scale.
        std::size_t at = start + 10;
        for (std::uint32_t flags = 0x20; flags & 0x20;) {
            if (end - at < 4) return false;
            flags = bytes.U16(at);
            const std::uint32_t part = bytes.U16(at + 2);
            // stb reads only parts placed by x, y offsets (not by matching points).
            if (part >= numGlyphs || !(flags & 2)) return false;
            references.push_back(part);
            at += 4;
            std::size_t extra = (flags & 1) ? 4 : 2;
            if (flags & 8) extra += 2;
            else if (flags & 0x40) extra += 4;
            else if (flags & 0x80) extra += 8;
            if (end - at < extra) return false;
            at += extra;
        }
    }
    components.push_back(static_cast<std::uint32_t>(references.size()));

    // stb follows composite parts recursively: no cycles, and not too deep.
    constexpr int kMaxDepth = 8;
    std::vector<std::uint8_t> depth(numGlyphs, 0);  // 0 unknown, else 1 + depth below
    std::vector<std::uint8_t> visiting(numGlyphs, 0);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stack;  // glyph, next reference
    for (std::uint32_t root = 0; root < numGlyphs; ++root) {
        if (depth[root] != 0) continue;
        stack.assign(1, {root, components[root]});
        visiting[root] = 1;
        while (!stack.empty()) {
            auto& [glyph, next] = stack.back();
            if (next < components[glyph + 1]) {
                const std::uint32_t part = references[next++];
                if (visiting[part] || stack.size() > kMaxDepth) return false;
                if (depth[part] == 0) {
                    visiting[part] = 1;
                    stack.push_back({part, components[part]});
                } else if (depth[part] + stack.size() > kMaxDepth + 1u) {
                    return false;
                }
                continue;
            }
            std::uint8_t below = 0;
            for (std::uint32_t r = components[glyph]; r < components[glyph + 1]; ++r) below = std::max(below, depth[references[r]]);
            depth[glyph] = static_cast<std::uint8_t>(below + 1);
            visiting[glyph] = 0;
            stack.pop_back();
        }
    }

    // The character map stb would pick: the last Unicode one listed.
    const std::uint32_t maps = bytes.U16(cmap.offset + 2);
    if (cmap.length < 4 + 8 * std::uint64_t{maps}) return false;
    map = 0;
    mapEnd = 0;
    for (std::uint32_t i = 0; i < maps; ++i) {
        const std::size_t record = cmap.offset + 4 + 8 * static_cast<std::size_t>(i);
        const std::uint32_t platform = bytes.U16(record), encoding = bytes.U16(record + 2);
        if (!(platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10)))) continue;
        const std::uint32_t offset = bytes.U32(record + 4);
        if (offset >= cmap.length || cmap.length - offset < 4) return false;
        map = cmap.offset + offset;
        mapEnd = cmap.offset + cmap.length;
    }
    if (map == 0) return false;
    this->data = data;
    this->size = size;
    return true;
}

int FontCheck::GlyphIndex(std::uint32_t codepoint) const {
    const Bytes bytes{data, size};
    const std::size_t available = mapEnd - map;
    const auto fits = [&](std::uint64_t at, std::uint64_t length) { return at <= available && length <= available - at; };
    const auto result = [&](std::uint64_t glyph) { return glyph < numGlyphs ? static_cast<int>(glyph) : 0; };
    const std::uint32_t format = bytes.U16(map);
    if (format == 0) {
        const std::uint32_t length = bytes.U16(map + 2);
        if (codepoint < 256 && codepoint + 6 < length && fits(6 + codepoint, 1)) return result(bytes.U8(map + 6 + codepoint));
        return 0;
    }
    if (format == 6) {
        if (!fits(0, 10)) return 0;
        const std::uint32_t first = bytes.U16(map + 6), count = bytes.U16(map + 8);
        if (codepoint < first || codepoint >= first + count || !fits(10 + 2 * std::uint64_t{codepoint - first}, 2)) return 0;
        return result(bytes.U16(map + 10 + 2 * (codepoint - first)));
    }
    if (format == 4) {
        if (codepoint > 0xFFFF || !fits(0, 14)) return 0;
        const std::uint32_t segments = bytes.U16(map + 6) >> 1;
        if (segments == 0 || !fits(14, 8 * std::uint64_t{segments} + 2)) return 0;
        const std::size_t ends = map + 14, starts = ends + 2 * segments + 2;
        const std::size_t deltas = starts + 2 * segments, ranges = deltas + 2 * segments;
        // The first segment whose end is not below the character.
        std::uint32_t low = 0, high = segments;
        while (low < high) {
            const std::uint32_t middle = (low + high) / 2;
            if (bytes.U16(ends + 2 * middle) < codepoint) low = middle + 1;
            else high = middle;
        }
        if (low == segments) return 0;
        const std::uint32_t start = bytes.U16(starts + 2 * low);
        if (codepoint < start) return 0;
        const std::uint32_t rangeOffset = bytes.U16(ranges + 2 * low);
        if (rangeOffset == 0) return result((codepoint + bytes.U16(deltas + 2 * low)) & 0xFFFF);
        const std::uint64_t at = (ranges - map) + 2 * std::uint64_t{low} + rangeOffset + 2 * std::uint64_t{codepoint - start};
        if (!fits(at, 2)) return 0;
        // As stb_truetype reads it: the array's entry, without the delta.
        return result(bytes.U16(map + at));
    }
    if (format == 12 || format == 13) {
        if (!fits(0, 16)) return 0;
        const std::uint32_t groups = bytes.U32(map + 12);
        if (!fits(16, 12 * std::uint64_t{groups})) return 0;
        std::uint32_t low = 0, high = groups;
        while (low < high) {
            const std::uint32_t middle = low + (high - low) / 2;
            const std::size_t group = map + 16 + 12 * static_cast<std::size_t>(middle);
            const std::uint32_t first = bytes.U32(group), last = bytes.U32(group + 4);
            if (codepoint < first) high = middle;
            else if (codepoint > last) low = middle + 1;
            else {
                const std::uint32_t glyph = bytes.U32(group + 8);
                return result(format == 12 ? std::uint64_t{glyph} + (codepoint - first) : glyph);
            }
        }
        return 0;
    }
    return 0;
}

}  // namespace Quorvane
