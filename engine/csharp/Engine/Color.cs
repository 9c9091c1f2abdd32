using System.Globalization;

namespace Quorvane;

/// <summary>An opaque colour with 8-bit red, green and blue channels.</summary>
/// <param name="R">Red, 0 to 255.</param>
/// <param name="G">Green, 0 to 255.</param>
/// <param name="B">Blue, 0 to 255.</param>
public readonly record struct Color(byte R, byte G, byte B)
{
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

    /// <summary>Parses "#rrggbb" (the leading "#" is optional).</summary>
    /// <exception cref="FormatException">The text is not six hex digits.</exception>
    public static Color FromHex(string hex)
    {
        ArgumentNullException.ThrowIfNull(hex);
        var digits = hex.StartsWith('#') ? hex[1..] : hex;
        if (digits.Length != 6 || !uint.TryParse(digits, NumberStyles.HexNumber, CultureInfo.InvariantCulture, out var value))
        {
            throw new FormatException($"'{hex}' is not a colour of the form #rrggbb.");
        }
        return new Color((byte)(value >> 16), (byte)(value >> 8), (byte)value);
    }

    /// <summary>Mixes two colours; t = 0 gives this colour, t = 1 gives <paramref name="other"/>.</summary>
    public Color Lerp(Color other, float t)
    {
        t = Math.Clamp(t, 0f, 1f);
        static byte Mix(byte a, byte b, float t) => (byte)MathF.Round(a + (b - a) * t);
        return new Color(Mix(R, other.R, t), Mix(G, other.G, t), Mix(B, other.B, t));
    }
}
