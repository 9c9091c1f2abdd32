using System.Globalization;
using System.Text;

namespace Quorvane;

/// <summary>
/// Builds the protocol lines of one frame straight into a reused UTF-8 byte buffer:
/// numbers are formatted into it in invariant culture through span formatting, so a
/// steady frame creates no strings and no garbage. Everything is handed to the runtime
/// in one write.
/// </summary>
internal sealed class LineWriter
{
    // The longest a number can format to ("-3.4028235E+38" and long.MinValue fit).
    private const int MaxNumberBytes = 32;

    private byte[] _buffer = new byte[64 * 1024];
    private int _length;

    /// <summary>The bytes written since the last flush.</summary>
    public ReadOnlySpan<byte> Written => _buffer.AsSpan(0, _length);

    public void Raw(string line)
    {
        Append(line);
        AppendByte((byte)'\n');
    }

    /// <summary>One line per line of text, so a message can never break the framing.</summary>
    public void Text(string prefix, string? message)
    {
        foreach (var line in SplitLines(message ?? string.Empty)) Raw(prefix + line);
    }

    public LineWriter Begin(string tag)
    {
        Append(tag);
        return this;
    }

    /// <summary>A tag given as UTF-8 bytes: no transcoding on the busiest lines.</summary>
    public LineWriter Begin(ReadOnlySpan<byte> tag) => Literal(tag);

    /// <summary>Bytes written as they are.</summary>
    private LineWriter Literal(ReadOnlySpan<byte> bytes)
    {
        bytes.CopyTo(Reserve(bytes.Length));
        _length += bytes.Length;
        return this;
    }

    public LineWriter Field(float value)
    {
        // "R" is the shortest text that reads back as the same float.
        var span = Reserve(MaxNumberBytes + 1);
        span[0] = (byte)'|';
        // The common magnitudes take the fast formatter; it writes the same bytes.
        if (!ShortestFloat.TryFormat(value, span[1..], out var written))
        {
            value.TryFormat(span[1..], out written, "R", CultureInfo.InvariantCulture);
        }
        _length += written + 1;
        return this;
    }

    public LineWriter Field(int value)
    {
        var span = Reserve(MaxNumberBytes + 1);
        span[0] = (byte)'|';
        // Channels, ids, layers and flags are never negative: skip the general formatter.
        int written;
        if (value >= 0) written = DecimalText.WriteUInt((uint)value, span[1..]);
        else value.TryFormat(span[1..], out written, default, CultureInfo.InvariantCulture);
        _length += written + 1;
        return this;
    }

    public LineWriter Field(long value)
    {
        var span = Reserve(MaxNumberBytes + 1);
        span[0] = (byte)'|';
        value.TryFormat(span[1..], out var written, default, CultureInfo.InvariantCulture);
        _length += written + 1;
        return this;
    }

    public LineWriter Field(string value)
    {
        AppendByte((byte)'|');
        Append(value);
        return this;
    }

    /// <summary>A texture field: "#id" when the path has an id (0 or more), else the path.</summary>
    public LineWriter Texture(string path, int id)
    {
        if (id < 0) return Field(path);
        var span = Reserve(MaxNumberBytes + 2);
        span[0] = (byte)'|';
        span[1] = (byte)'#';
        _length += DecimalText.WriteUInt((uint)id, span[2..]) + 2;
        return this;
    }

    public LineWriter Field(bool value) => Literal(value ? "|true"u8 : "|false"u8);

    public LineWriter Field(Color color)
    {
        // Three channels of at most three digits each, in one reservation.
        var span = Reserve(12);
        var at = 0;
        span[at++] = (byte)'|';
        at += DecimalText.WriteUInt(color.R, span[at..]);
        span[at++] = (byte)'|';
        at += DecimalText.WriteUInt(color.G, span[at..]);
        span[at++] = (byte)'|';
        at += DecimalText.WriteUInt(color.B, span[at..]);
        _length += at;
        return this;
    }

    public LineWriter FieldWithAlpha(Color color) => Field(color).Field(color.A);

    /// <summary>The rest of the line: line breaks become "\n" and backslashes "\\".</summary>
    public LineWriter EscapedTail(string text)
    {
        AppendByte((byte)'|');
        var rest = text.AsSpan();
        for (;;)
        {
            var special = rest.IndexOfAny('\\', '\n');
            if (special < 0)
            {
                Append(rest);
                return this;
            }
            Append(rest[..special]);
            AppendByte((byte)'\\');
            AppendByte(rest[special] == '\n' ? (byte)'n' : (byte)'\\');
            rest = rest[(special + 1)..];
        }
    }

    public LineWriter Field(RectF rect) => Field(rect.X).Field(rect.Y).Field(rect.Width).Field(rect.Height);

    public void End() => AppendByte((byte)'\n');

    /// <summary>Moves everything another writer holds to the end of this one.</summary>
    public void TakeFrom(LineWriter other)
    {
        if (other._length == 0) return;
        other.Written.CopyTo(Reserve(other._length));
        _length += other._length;
        other._length = 0;
    }

    /// <summary>Everything written so far in one write, then a flush.</summary>
    public void FlushTo(Stream output)
    {
        if (_length > 0)
        {
            output.Write(_buffer, 0, _length);
            _length = 0;
        }
        output.Flush();
    }

    /// <summary>For tests and tools that collect text: the same bytes, decoded.</summary>
    public void FlushTo(TextWriter output)
    {
        if (_length > 0)
        {
            output.Write(Encoding.UTF8.GetString(_buffer, 0, _length));
            _length = 0;
        }
        output.Flush();
    }

    internal static IEnumerable<string> SplitLines(string text) =>
        text.Replace("\r\n", "\n").Split('\n', '\r');

    private void Append(ReadOnlySpan<char> text)
    {
        // Lone surrogates become U+FFFD, as the stream writer this replaces did.
        var span = Reserve(Encoding.UTF8.GetMaxByteCount(text.Length));
        _length += Encoding.UTF8.GetBytes(text, span);
    }

    private void AppendByte(byte value)
    {
        if (_length == _buffer.Length) Grow(1);
        _buffer[_length++] = value;
    }

    /// <summary>At least <paramref name="count"/> free bytes at the end of the buffer.</summary>
    private Span<byte> Reserve(int count)
    {
        if (_buffer.Length - _length < count) Grow(count);
        return _buffer.AsSpan(_length);
    }

    // Doubling: a game that draws more than before pays a few copies, then none.
    private void Grow(int count) =>
        Array.Resize(ref _buffer, Math.Max(_buffer.Length * 2, _length + count));
}
