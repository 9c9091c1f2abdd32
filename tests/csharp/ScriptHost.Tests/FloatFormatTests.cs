using System.Globalization;
using System.Text;

namespace Quorvane.Tests;

/// <summary>
/// LineWriter formats the common float magnitudes itself; its bytes must stay exactly what
/// float.ToString("R") gives, on both sides of every edge of that fast range.
/// </summary>
public class FloatFormatTests
{
    private static void AssertSameAsRoundTrip(LineWriter writer, float value, Span<char> expected)
    {
        writer.Field(value);
        value.TryFormat(expected, out var length, "R", CultureInfo.InvariantCulture);
        var written = writer.Written;
        var same = written.Length == length + 1 && written[0] == (byte)'|';
        for (var i = 0; same && i < length; i++) same = written[i + 1] == expected[i];
        if (!same)
        {
            Assert.Fail($"{BitConverter.SingleToUInt32Bits(value):x8}: wrote \"{Encoding.UTF8.GetString(written[1..])}\", " +
                        $"\"R\" gives \"{expected[..length].ToString()}\"");
        }
        writer.FlushTo(Stream.Null);
    }

    private static IEnumerable<float> EdgeCases()
    {
        var special = new[]
        {
            0f, -0f, float.NaN, float.PositiveInfinity, float.NegativeInfinity, float.MaxValue, float.MinValue,
            float.Epsilon, -float.Epsilon, 1.17549435e-38f, 1.1754942e-38f /* largest subnormal */, 0.1f, 1f / 3f,
            2f / 3f, 16777216f, 16777217f, 16777215f, 8388608f, 8388607.5f, 9999999f, 9999999.5f, 1234567.9f,
            0.5f, 1.5f, 32f, 1280f, 720f, 0.0166667f, 3.14159265f, 9e-5f, 9.9999e-5f, 9.99999e-5f, 1.0000001e-4f,
            5e-5f, 123456789f, 1e10f, 2e9f, 4.7683716e-7f,
        };
        foreach (var value in special) yield return value;
        // Powers of ten and their float neighbours, where the notation changes.
        for (var exponent = -46; exponent <= 39; exponent++)
        {
            var power = float.Parse("1e" + exponent, CultureInfo.InvariantCulture);
            foreach (var near in new[] { power, MathF.BitIncrement(power), MathF.BitDecrement(power),
                         MathF.BitIncrement(MathF.BitIncrement(power)), power * 9.999999f, power * 1.5f })
            {
                yield return near;
                yield return -near;
            }
        }
        // Powers of two: the lower neighbour is half as far as the upper one.
        for (var exponent = -149; exponent <= 127; exponent++)
        {
            var power = MathF.ScaleB(1f, exponent);
            yield return power;
            yield return MathF.BitDecrement(power);
            yield return MathF.BitIncrement(power);
        }
    }

    [Fact]
    public void EdgeCasesMatchRoundTripFormatting()
    {
        var writer = new LineWriter();
        Span<char> expected = stackalloc char[64];
        foreach (var value in EdgeCases()) AssertSameAsRoundTrip(writer, value, expected);
    }

    [Fact]
    public void RandomBitPatternsMatchRoundTripFormatting()
    {
        var writer = new LineWriter();
        Span<char> expected = stackalloc char[64];
        var random = new Random(20261210);
        for (var i = 0; i < 1_500_000; i++)
        {
            AssertSameAsRoundTrip(writer, BitConverter.UInt32BitsToSingle((uint)random.NextInt64(0, 1L << 32)), expected);
        }
    }

    [Fact]
    public void RandomGameValuesMatchRoundTripFormatting()
    {
        var writer = new LineWriter();
        Span<char> expected = stackalloc char[64];
        var random = new Random(7);
        for (var i = 0; i < 400_000; i++)
        {
            // Positions on a large map, sizes, angles and velocities, fractions, steps of 1/64.
            AssertSameAsRoundTrip(writer, (float)(random.NextDouble() * 8192 - 4096), expected);
            AssertSameAsRoundTrip(writer, (float)random.NextDouble(), expected);
            AssertSameAsRoundTrip(writer, (float)(random.NextDouble() * 0.01), expected);
            AssertSameAsRoundTrip(writer, random.Next(-100_000, 100_000) / 64f, expected);
            AssertSameAsRoundTrip(writer, random.Next(-20_000_000, 20_000_000), expected);
        }
    }

    [Fact]
    public void WholeNumbersAndColoursMatchInvariantFormatting()
    {
        // Ints and colour channels skip int.TryFormat too: every digit count, both signs.
        var values = new List<int> { int.MinValue, int.MaxValue, -1, 0 };
        for (var power = 1; power <= 1_000_000_000 && power > 0; power *= 10) values.AddRange(new[] { power - 1, power, power + 1, -power });
        for (var i = 0; i < 1000; i++) values.Add(i);
        var writer = new LineWriter();
        foreach (var value in values)
        {
            writer.Field(value).Texture("p.png", Math.Max(value, 0));
            var id = Math.Max(value, 0).ToString(CultureInfo.InvariantCulture);
            Assert.Equal("|" + value.ToString(CultureInfo.InvariantCulture) + "|#" + id, Encoding.UTF8.GetString(writer.Written));
            writer.FlushTo(Stream.Null);
        }
        for (var channel = 0; channel < 256; channel++)
        {
            writer.Field(new Color((byte)channel, (byte)(255 - channel), (byte)(channel / 3))).Field(channel % 2 == 0);
            Assert.Equal($"|{channel}|{255 - channel}|{channel / 3}|{(channel % 2 == 0 ? "true" : "false")}",
                Encoding.UTF8.GetString(writer.Written));
            writer.FlushTo(Stream.Null);
        }
    }

    [Theory]
    [InlineData(0f)]
    [InlineData(523.4567f)]
    [InlineData(-1279.999f)]
    [InlineData(0.00012345f)]
    [InlineData(9999999f)]
    public void TypicalGameValuesTakeTheFastPath(float value)
    {
        // Not a speed test: keeps the fast path from being switched off by a change in its bounds.
        Span<byte> buffer = stackalloc byte[32];
        Assert.True(ShortestFloat.TryFormat(value, buffer, out _));
    }
}
