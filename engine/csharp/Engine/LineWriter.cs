using System.Globalization;
using System.Text;

namespace Quorvane;

/// <summary>
/// Builds the protocol lines of one frame. Everything is buffered and handed to the
/// runtime in one write, and numbers are always written in invariant culture.
/// </summary>
internal sealed class LineWriter
{
    private readonly StringBuilder _buffer = new();

    public void Raw(string line) => _buffer.Append(line).Append('\n');

    /// <summary>One line per line of text, so a message can never break the framing.</summary>
    public void Text(string prefix, string? message)
    {
        foreach (var line in SplitLines(message ?? string.Empty)) Raw(prefix + line);
    }

    public LineWriter Begin(string tag)
    {
        _buffer.Append(tag);
        return this;
    }

    public LineWriter Field(float value)
    {
        _buffer.Append('|').Append(value.ToString("R", CultureInfo.InvariantCulture));
        return this;
    }

    public LineWriter Field(int value)
    {
        _buffer.Append('|').Append(value.ToString(CultureInfo.InvariantCulture));
        return this;
    }

    public LineWriter Field(long value)
    {
        _buffer.Append('|').Append(value.ToString(CultureInfo.InvariantCulture));
        return this;
    }

    public LineWriter Field(string value)
    {
        _buffer.Append('|').Append(value);
        return this;
    }

    public LineWriter Field(bool value) => Field(value ? "true" : "false");

    public LineWriter Field(Color color) => Field(color.R).Field(color.G).Field(color.B);

    public LineWriter FieldWithAlpha(Color color) => Field(color).Field(color.A);

    /// <summary>The rest of the line: line breaks become "\n" and backslashes "\\".</summary>
    public LineWriter EscapedTail(string text)
    {
        _buffer.Append('|');
        foreach (var c in text)
        {
            switch (c)
            {
                case '\\': _buffer.Append("\\\\"); break;
                case '\n': _buffer.Append("\\n"); break;
                default: _buffer.Append(c); break;
            }
        }
        return this;
    }

    public LineWriter Field(RectF rect) => Field(rect.X).Field(rect.Y).Field(rect.Width).Field(rect.Height);

    public void End() => _buffer.Append('\n');

    public void FlushTo(TextWriter output)
    {
        if (_buffer.Length > 0)
        {
            output.Write(_buffer);
            _buffer.Clear();
        }
        output.Flush();
    }

    internal static IEnumerable<string> SplitLines(string text) =>
        text.Replace("\r\n", "\n").Split('\n', '\r');
}
