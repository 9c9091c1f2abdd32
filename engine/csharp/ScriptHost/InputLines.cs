using System.Globalization;
using System.Numerics;
using System.Text;

namespace Quorvane.ScriptHost;

/// <summary>
/// The runtime-to-host lines of the "input" extension. They arrive in front of the
/// FRAME line they belong to; each is applied to the game before that frame runs.
/// A line that does not read is ignored: the frame still runs with what did.
/// </summary>
internal static class InputLines
{
    /// <summary>True when the line was an input line (used or not).</summary>
    public static bool Handle(string line, Game game) => Handle(Encoding.UTF8.GetBytes(line), game);

    /// <summary>
    /// The same from the line's bytes. An XINPUT line comes every frame: it is read
    /// without allocating unless text was typed.
    /// </summary>
    public static bool Handle(ReadOnlySpan<byte> line, Game game)
    {
        if (line.StartsWith("XINPUT|"u8))
        {
            HandleInput(line["XINPUT|"u8.Length..], game);
            return true;
        }
        if (line.StartsWith("XPAD|"u8))
        {
            HandlePad(line["XPAD|"u8.Length..], game);
            return true;
        }
        if (line.StartsWith("XTITLE|"u8))
        {
            game.Window.ReportTitle(Unescape(Encoding.UTF8.GetString(line["XTITLE|"u8.Length..])));
            return true;
        }
        return false;
    }

    // XINPUT|wheelX|wheelY|focused|width|height|fullscreen|text
    private static void HandleInput(ReadOnlySpan<byte> rest, Game game)
    {
        if (!NextField(ref rest, out var wheelXText) || !Float(wheelXText, out var wheelX)) return;
        if (!NextField(ref rest, out var wheelYText) || !Float(wheelYText, out var wheelY)) return;
        if (!NextField(ref rest, out var focused)) return;
        if (!NextField(ref rest, out var widthText) || !Int(widthText, out var width)) return;
        if (!NextField(ref rest, out var heightText) || !Int(heightText, out var height)) return;
        if (!NextField(ref rest, out var fullscreen)) return;
        // The text is the rest of the line, bars included.
        var text = rest.IsEmpty ? string.Empty : Unescape(Encoding.UTF8.GetString(rest));
        game.Input.SetNextFrame(new Vector2(wheelX, wheelY), text);
        game.Window.Report(new Vector2(width, height), fullscreen.SequenceEqual("1"u8), focused.SequenceEqual("1"u8));
    }

    // XPAD|index|buttons|lx|ly|rx|ry|lt|rt
    private static void HandlePad(ReadOnlySpan<byte> rest, Game game)
    {
        if (!NextField(ref rest, out var indexText) || !Int(indexText, out var index)) return;
        if (!NextField(ref rest, out var buttonsText)
            || !uint.TryParse(buttonsText, NumberStyles.Integer, CultureInfo.InvariantCulture, out var buttons))
        {
            return;
        }
        Span<float> axes = stackalloc float[6];
        for (var i = 0; i < 5; i++)
        {
            if (!NextField(ref rest, out var field) || !Float(field, out axes[i])) return;
        }
        // The last field ends the line: another bar is a line of the wrong shape.
        if (rest.IndexOf((byte)'|') >= 0 || !Float(rest, out axes[5])) return;
        game.Input.SetNextGamepad(index, new GamepadState(true, buttons,
            new Vector2(axes[0], axes[1]), new Vector2(axes[2], axes[3]), axes[4], axes[5]));
    }

    // The field before the next bar, and the rest after it; false when no bar follows.
    private static bool NextField(ref ReadOnlySpan<byte> rest, out ReadOnlySpan<byte> field)
    {
        var bar = rest.IndexOf((byte)'|');
        if (bar < 0)
        {
            field = default;
            return false;
        }
        field = rest[..bar];
        rest = rest[(bar + 1)..];
        return true;
    }

    private static bool Float(ReadOnlySpan<byte> text, out float value) =>
        float.TryParse(text, NumberStyles.Float, CultureInfo.InvariantCulture, out value) && float.IsFinite(value);

    private static bool Int(ReadOnlySpan<byte> text, out int value) =>
        int.TryParse(text, NumberStyles.Integer, CultureInfo.InvariantCulture, out value);

    /// <summary>"\\" "\n" "\r" "\t" back to their characters; any other backslash stays.</summary>
    internal static string Unescape(ReadOnlySpan<char> text)
    {
        if (text.IndexOf('\\') < 0) return text.ToString();
        var result = new StringBuilder(text.Length);
        for (var i = 0; i < text.Length; i++)
        {
            var c = text[i];
            if (c == '\\' && i + 1 < text.Length)
            {
                var next = text[i + 1] switch { '\\' => '\\', 'n' => '\n', 'r' => '\r', 't' => '\t', _ => '\0' };
                if (next != '\0')
                {
                    result.Append(next);
                    i++;
                    continue;
                }
            }
            result.Append(c);
        }
        return result.ToString();
    }
}
