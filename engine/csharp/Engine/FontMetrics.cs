using System.Buffers.Binary;
using System.Numerics;
using System.Text;

namespace Quorvane;

/// <summary>
/// The parts of a TrueType/OpenType font that text layout needs: vertical metrics,
/// advances and the character map. The runtime lays text out from the same tables
/// with the same float arithmetic (no kerning), so a measured size matches the drawn
/// text to the pixel.
/// </summary>
internal sealed class FontMetrics
{
    /// <summary>Text sizes are capped here by the runtime as well.</summary>
    public const float MaxPixelSize = 1024f;

    private readonly byte[] _data;
    private readonly int _hmtx;
    private readonly int _longMetrics;
    private readonly int _cmap;
    private readonly Dictionary<int, int> _glyphs = new();

    private FontMetrics(byte[] data, int ascent, int descent, int lineGap, int hmtx, int longMetrics, int cmap)
    {
        _data = data;
        Ascent = ascent;
        Descent = descent;
        LineGap = lineGap;
        _hmtx = hmtx;
        _longMetrics = longMetrics;
        _cmap = cmap;
    }

    public int Ascent { get; }
    public int Descent { get; }
    public int LineGap { get; }

    private static readonly Lazy<FontMetrics> DefaultFont = new(() =>
    {
        using var stream = typeof(FontMetrics).Assembly.GetManifestResourceStream("Quorvane.DefaultFont.ttf")
            ?? throw new InvalidOperationException("The default font is missing from Quorvane.Engine.");
        using var memory = new MemoryStream();
        stream.CopyTo(memory);
        return Parse(memory.ToArray()) ?? throw new InvalidOperationException("The default font cannot be read.");
    });

    /// <summary>The font the runtime ships and uses when no font is named.</summary>
    public static FontMetrics Default => DefaultFont.Value;

    /// <summary>Reads the tables, or null when the bytes are not a font we can lay out.</summary>
    public static FontMetrics? Parse(byte[] data)
    {
        try
        {
            var offset = 0;
            if (data.Length >= 12 && Tag(data, 0) == "ttcf") offset = (int)U32(data, 12);
            var tables = U16(data, offset + 4);
            int head = -1, hhea = -1, hmtx = -1, cmap = -1;
            for (var i = 0; i < tables; i++)
            {
                var record = offset + 12 + 16 * i;
                var at = (int)U32(data, record + 8);
                switch (Tag(data, record))
                {
                    case "head": head = at; break;
                    case "hhea": hhea = at; break;
                    case "hmtx": hmtx = at; break;
                    case "cmap": cmap = at; break;
                }
            }
            if (head < 0 || hhea < 0 || hmtx < 0 || cmap < 0) return null;
            var ascent = S16(data, hhea + 4);
            var descent = S16(data, hhea + 6);
            if (ascent - descent <= 0) return null;
            var indexMap = -1;
            var encodings = U16(data, cmap + 2);
            // The last Unicode subtable wins, as in the runtime's font reader.
            for (var i = 0; i < encodings; i++)
            {
                var record = cmap + 4 + 8 * i;
                var platform = U16(data, record);
                var encoding = U16(data, record + 2);
                if (platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10)))
                {
                    indexMap = cmap + (int)U32(data, record + 4);
                }
            }
            if (indexMap < 0) return null;
            return new FontMetrics(data, ascent, descent, S16(data, hhea + 8), hmtx, U16(data, hhea + 34), indexMap);
        }
        catch (IndexOutOfRangeException)
        {
            return null;
        }
        catch (ArgumentOutOfRangeException)
        {
            return null;
        }
    }

    public float Scale(float size) => size / (float)(Ascent - Descent);

    public float LineHeight(float size) => (float)(Ascent - Descent + LineGap) * Scale(size);

    public int Advance(int glyph)
    {
        var index = glyph < _longMetrics ? glyph : _longMetrics - 1;
        return S16(_data, _hmtx + 4 * index);
    }

    public int GlyphIndex(int codepoint)
    {
        if (_glyphs.TryGetValue(codepoint, out var glyph)) return glyph;
        try
        {
            glyph = FindGlyph(codepoint);
        }
        catch (Exception error) when (error is IndexOutOfRangeException or ArgumentOutOfRangeException)
        {
            glyph = 0;
        }
        if (_glyphs.Count < 65536) _glyphs[codepoint] = glyph;
        return glyph;
    }

    /// <summary>A size the runtime draws at: 0 for NaN and sizes up to 0, capped above.</summary>
    public static float EffectiveSize(float size) => size > 0f ? MathF.Min(size, MaxPixelSize) : 0f;

    /// <summary>The widest line, and (lines - 1) line heights plus one ascent-to-descent height.</summary>
    public Vector2 Measure(string text, float size)
    {
        size = EffectiveSize(size);
        if (size == 0f) return Vector2.Zero;
        var scale = Scale(size);
        float widest = 0f, pen = 0f;
        var lines = 1;
        foreach (var rune in text.EnumerateRunes())
        {
            if (rune.Value == '\n')
            {
                widest = MathF.Max(widest, pen);
                pen = 0f;
                lines++;
                continue;
            }
            if (rune.Value == '\r') continue;
            pen += (float)Advance(GlyphIndex(rune.Value)) * scale;
        }
        widest = MathF.Max(widest, pen);
        var height = (float)(lines - 1) * LineHeight(size) + (float)(Ascent - Descent) * scale;
        return new Vector2(widest, height);
    }

    private int FindGlyph(int codepoint)
    {
        var map = _cmap;
        switch (U16(_data, map))
        {
            case 0:
                return codepoint < U16(_data, map + 2) - 6 ? _data[map + 6 + codepoint] : 0;
            case 6:
            {
                var first = U16(_data, map + 6);
                var count = U16(_data, map + 8);
                return codepoint >= first && codepoint < first + count ? U16(_data, map + 10 + 2 * (codepoint - first)) : 0;
            }
            case 4:
            {
                if (codepoint > 0xFFFF) return 0;
                var segments = U16(_data, map + 6) / 2;
                var ends = map + 14;
                var starts = ends + 2 * segments + 2;
                var deltas = starts + 2 * segments;
                var offsets = deltas + 2 * segments;
                for (var i = 0; i < segments; i++)
                {
                    if (codepoint > U16(_data, ends + 2 * i)) continue;
                    var start = U16(_data, starts + 2 * i);
                    if (codepoint < start) return 0;
                    var rangeOffset = U16(_data, offsets + 2 * i);
                    if (rangeOffset == 0) return (codepoint + S16(_data, deltas + 2 * i)) & 0xFFFF;
                    return U16(_data, offsets + 2 * i + rangeOffset + 2 * (codepoint - start));
                }
                return 0;
            }
            case 12:
            case 13:
            {
                var groups = (int)U32(_data, map + 12);
                int low = 0, high = groups;
                while (low < high)
                {
                    var middle = low + ((high - low) >> 1);
                    var group = map + 16 + 12 * middle;
                    var startCode = U32(_data, group);
                    if ((uint)codepoint < startCode) { high = middle; continue; }
                    if ((uint)codepoint > U32(_data, group + 4)) { low = middle + 1; continue; }
                    var startGlyph = (int)U32(_data, group + 8);
                    return U16(_data, map) == 12 ? startGlyph + codepoint - (int)startCode : startGlyph;
                }
                return 0;
            }
            default:
                return 0;
        }
    }

    private static string Tag(byte[] data, int at) => Encoding.ASCII.GetString(data, at, 4);
    private static int U16(byte[] data, int at) => BinaryPrimitives.ReadUInt16BigEndian(data.AsSpan(at, 2));
    private static int S16(byte[] data, int at) => BinaryPrimitives.ReadInt16BigEndian(data.AsSpan(at, 2));
    private static uint U32(byte[] data, int at) => BinaryPrimitives.ReadUInt32BigEndian(data.AsSpan(at, 4));
}
