using System.Text;

namespace Quorvane.ScriptHost;

/// <summary>
/// Where the runtime's lines come from, one line at a time as UTF-8 bytes (without the
/// line feed, and without a carriage return just before it). The span is valid until
/// the next call.
/// </summary>
internal abstract class LineInput
{
    /// <summary>False at the end of input.</summary>
    public abstract bool TryReadLine(out ReadOnlySpan<byte> line);
}

/// <summary>
/// Lines cut from a byte stream into one reused buffer: reading a steady frame's
/// lines allocates nothing.
/// </summary>
internal sealed class StreamLineInput : LineInput
{
    private readonly Stream _stream;
    private byte[] _buffer = new byte[16 * 1024];
    private int _start;
    private int _end;
    private bool _ended;

    public StreamLineInput(Stream stream) => _stream = stream;

    public override bool TryReadLine(out ReadOnlySpan<byte> line)
    {
        var searched = 0;
        for (;;)
        {
            var feed = _buffer.AsSpan(_start + searched, _end - _start - searched).IndexOf((byte)'\n');
            if (feed >= 0)
            {
                var length = searched + feed;
                line = Trim(_buffer.AsSpan(_start, length));
                _start += length + 1;
                return true;
            }
            searched = _end - _start;
            if (_ended || !Fill())
            {
                // The last line may lack its line feed, as TextReader.ReadLine allows.
                _ended = true;
                if (_end == _start)
                {
                    line = default;
                    return false;
                }
                line = Trim(_buffer.AsSpan(_start, _end - _start));
                _start = _end;
                return true;
            }
        }
    }

    private static ReadOnlySpan<byte> Trim(ReadOnlySpan<byte> line) =>
        line.Length > 0 && line[^1] == (byte)'\r' ? line[..^1] : line;

    private bool Fill()
    {
        if (_start > 0)
        {
            Buffer.BlockCopy(_buffer, _start, _buffer, 0, _end - _start);
            _end -= _start;
            _start = 0;
        }
        if (_end == _buffer.Length) Array.Resize(ref _buffer, _buffer.Length * 2);
        var count = _stream.Read(_buffer, _end, _buffer.Length - _end);
        if (count <= 0) return false;
        _end += count;
        return true;
    }
}

/// <summary>Lines from a text reader (tests), encoded to UTF-8.</summary>
internal sealed class TextLineInput : LineInput
{
    private readonly TextReader _reader;

    public TextLineInput(TextReader reader) => _reader = reader;

    public override bool TryReadLine(out ReadOnlySpan<byte> line)
    {
        if (_reader.ReadLine() is not { } text)
        {
            line = default;
            return false;
        }
        line = Encoding.UTF8.GetBytes(text);
        return true;
    }
}
