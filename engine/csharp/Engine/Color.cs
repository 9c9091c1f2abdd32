using System.Globalization;

namespace Quorvane;

/// <summary>A colour with 8-bit red, green, blue and alpha channels (alpha 255 is opaque).</summary>
/// <param name="R">Red, 0 to 255.</param>
/// <param name="G">Green, 0 to 255.</param>
/// <param name="B">Blue, 0 to 255.</param>
/// <param name="A">Opacity, 0 (invisible) to 255 (opaque).</param>
public readonly record struct Color(byte R, byte G, byte B, byte A = 255)
{
    /// <summary>Fully transparent black.</summary>
    public static Color Transparent => new(0, 0, 0, 0);
    /// <summary>Black.</summary>
    public static Color Black => new(0, 0, 0);
    /// <summary>White.</summary>
    public static Color White => new(255, 255, 255);
    /// <summary>Pure red.</summary>
    public static Color Red => new(255, 0, 0);
    /// <summary>Pure green.</summary>
    public static Color Green => new(0, 255, 0);
    /// <summary>Pure blue.</summary>
    public static Color Blue => new(0, 0, 255);
    /// <summary>Yellow.</summary>
    public static Color Yellow => new(255, 255, 0);
    /// <summary>Magenta, handy for "this should not be visible".</summary>
    public static Color Magenta => new(255, 0, 255);

    /// <summary>Parses "#rrggbb" or "#rrggbbaa" (the leading "#" is optional).</summary>
    /// <exception cref="FormatException">The text is not six or eight hex digits.</exception>
    public static Color FromHex(string hex)
    {
        ArgumentNullException.ThrowIfNull(hex);
        var digits = hex.StartsWith('#') ? hex[1..] : hex;
        if ((digits.Length != 6 && digits.Length != 8)
            || !uint.TryParse(digits, NumberStyles.AllowHexSpecifier, CultureInfo.InvariantCulture, out var value))
        {
            throw new FormatException($"'{hex}' is not a colour of the form #rrggbb or #rrggbbaa.");
        }
        if (digits.Length == 6) value = (value << 8) | 0xFF;
        return new Color((byte)(value >> 24), (byte)(value >> 16), (byte)(value >> 8), (byte)value);
    }

    /// <summary>The same colour with another opacity.</summary>
    public Color WithAlpha(byte a) => this with { A = a };

    /// <summary>Mixes two colours; t = 0 gives this colour, t = 1 gives <paramref name="other"/>.</summary>
    public Color Lerp(Color other, float t)
    {
        t = Math.Clamp(t, 0f, 1f);
        static byte Mix(byte a, byte b, float t) => (byte)MathF.Round(a + (b - a) * t);
        return new Color(Mix(R, other.R, t), Mix(G, other.G, t), Mix(B, other.B, t), Mix(A, other.A, t));
    }
}
