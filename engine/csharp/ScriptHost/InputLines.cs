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
    public static bool Handle(string line, Game game)
    {
        if (line.StartsWith("XINPUT|", StringComparison.Ordinal))
        {
            HandleInput(line, game);
            return true;
        }
        if (line.StartsWith("XPAD|", StringComparison.Ordinal))
        {
            HandlePad(line, game);
            return true;
        }
        if (line.StartsWith("XTITLE|", StringComparison.Ordinal))
        {
            game.Window.ReportTitle(Unescape(line.AsSpan(7)));
            return true;
        }
        return false;
    }

    // XINPUT|wheelX|wheelY|focused|width|height|fullscreen|text
    private static void HandleInput(string line, Game game)
    {
        var parts = line.Split('|', 8);
        if (parts.Length < 8) return;
        if (!Float(parts[1], out var wheelX) || !Float(parts[2], out var wheelY)) return;
        if (!int.TryParse(parts[4], NumberStyles.Integer, CultureInfo.InvariantCulture, out var width)) return;
        if (!int.TryParse(parts[5], NumberStyles.Integer, CultureInfo.InvariantCulture, out var height)) return;
        game.Input.SetNextFrame(new Vector2(wheelX, wheelY), Unescape(parts[7]));
        game.Window.Report(new Vector2(width, height), parts[6] == "1", parts[3] == "1");
    }

    // XPAD|index|buttons|lx|ly|rx|ry|lt|rt
    private static void HandlePad(string line, Game game)
    {
        var parts = line.Split('|');
        if (parts.Length != 9) return;
        if (!int.TryParse(parts[1], NumberStyles.Integer, CultureInfo.InvariantCulture, out var index)) return;
        if (!uint.TryParse(parts[2], NumberStyles.Integer, CultureInfo.InvariantCulture, out var buttons)) return;
        var axes = new float[6];
        for (var i = 0; i < 6; i++)
        {
            if (!Float(parts[3 + i], out axes[i])) return;
        }
        game.Input.SetNextGamepad(index, new GamepadState(true, buttons,
            new Vector2(axes[0], axes[1]), new Vector2(axes[2], axes[3]), axes[4], axes[5]));
    }

    private static bool Float(string text, out float value) =>
        float.TryParse(text, NumberStyles.Float, CultureInfo.InvariantCulture, out value) && float.IsFinite(value);

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
