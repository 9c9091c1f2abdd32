using System.Numerics;
using System.Runtime.CompilerServices;

namespace Quorvane;

/// <summary>
/// The text .NET's "R" gives a float, for the common magnitudes, several times faster:
/// the shortest digits that read back as the same float (the Ryu algorithm, 32-bit
/// variant) laid out in plain decimal notation. .NET writes plain notation for decimal
/// exponents from -4 up to at least 6 (newer runtimes go further); anything outside that,
/// NaN, infinities, -0 and subnormals are left to <see cref="float.TryFormat(Span{byte}, out int, ReadOnlySpan{char}, IFormatProvider?)"/>
/// by returning false. bench/csharp/SpriteBench --verify compares every float of the range.
/// </summary>
internal static class ShortestFloat
{
    // Smallest and largest decimal exponent (of d.ddd × 10^e) written here. 1e7f is
    // "1E+07" on some runtimes and "10000000" on others, so stop below it.
    internal const int MinExponent = -4;
    internal const int MaxExponent = 6;

    private const int MantissaBits = 23;
    private const int Bias = 127;
    private const int Pow5InvBitCount = 59;
    private const int Pow5BitCount = 61;

    // 5^-q and 5^i scaled to 59 and 61 significant bits; computed once rather than kept
    // as literal tables. 31 and 47 entries cover every exponent a float can have.
    private static readonly ulong[] Pow5InvSplit = BuildInverseTable(31);
    private static readonly ulong[] Pow5Split = BuildTable(47);

    /// <summary>The "R" text of <paramref name="value"/>, or false when it is out of this range.</summary>
    public static bool TryFormat(float value, Span<byte> destination, out int written)
    {
        var bits = BitConverter.SingleToUInt32Bits(value);
        var abs = MathF.Abs(value);
        // A cheap bracket on the float itself (NaN fails it too); the exact bounds are
        // checked on the digits. 9e-5 is below anything that rounds to 1e-4.
        if (!(abs >= 9e-5f && abs < 1e7f) || destination.Length < 16)
        {
            written = 0;
            // +0 is "0"; -0 ("-0") is left to .NET.
            if (bits != 0 || destination.IsEmpty) return false;
            destination[0] = (byte)'0';
            written = 1;
            return true;
        }
        var position = 0;
        if ((int)bits < 0) destination[position++] = (byte)'-';
        // Whole numbers (below 1e7 < 2^24 here) are exact and their own shortest text.
        if (abs == (int)abs)
        {
            written = position + DecimalText.WriteUInt((uint)(int)abs, destination[position..]);
            return true;
        }
        var (digits, exponent10) = Shortest(bits & 0x7FFF_FFFF);
        var count = DecimalText.DigitCount(digits);
        var scientific = exponent10 + count - 1;
        if (scientific < MinExponent || scientific > MaxExponent)
        {
            written = 0;
            return false;
        }
        written = position + Layout(digits, count, scientific, destination[position..]);
        return true;
    }

    /// <summary>Plain notation of digits × 10^(scientific - count + 1).</summary>
    private static int Layout(uint digits, int count, int scientific, Span<byte> destination)
    {
        if (scientific < 0)
        {
            // 0.000ddd
            var zeros = -scientific - 1;
            destination[0] = (byte)'0';
            destination[1] = (byte)'.';
            destination.Slice(2, zeros).Fill((byte)'0');
            DecimalText.WriteDigits(digits, destination.Slice(2 + zeros, count));
            return 2 + zeros + count;
        }
        var whole = scientific + 1;
        if (whole >= count)
        {
            // ddd000: a whole number the integer path did not take (2^24 and above never gets here).
            DecimalText.WriteDigits(digits, destination[..count]);
            destination.Slice(count, whole - count).Fill((byte)'0');
            return whole;
        }
        // ddd.ddd: the fraction digits first, then the whole part before the point.
        var fraction = count - whole;
        var divisor = Pow10(fraction);
        var high = digits / divisor;
        DecimalText.WriteDigits(digits - high * divisor, destination.Slice(whole + 1, fraction));
        destination[whole] = (byte)'.';
        DecimalText.WriteDigits(high, destination[..whole]);
        return count + 1;
    }

    private static uint Pow10(int exponent)
    {
        var result = 1u;
        for (var i = 0; i < exponent; i++) result *= 10;
        return result;
    }

    /// <summary>
    /// The shortest decimal that reads back as the float with these (positive, finite,
    /// non-zero) bits, and of those the closest: digits × 10^exponent.
    /// </summary>
    internal static (uint Digits, int Exponent) Shortest(uint bits)
    {
        var ieeeMantissa = bits & ((1u << MantissaBits) - 1);
        var ieeeExponent = (int)(bits >> MantissaBits);
        int e2;
        uint m2;
        if (ieeeExponent == 0)
        {
            e2 = 1 - Bias - MantissaBits - 2;
            m2 = ieeeMantissa;
        }
        else
        {
            e2 = ieeeExponent - Bias - MantissaBits - 2;
            m2 = (1u << MantissaBits) | ieeeMantissa;
        }
        // Round half to even on reading: an even mantissa owns the halfway points.
        var acceptBounds = (m2 & 1) == 0;

        // The float and the halfway points to its neighbours, times 4 (the lower gap is
        // half as wide just above a power of two).
        var mv = 4 * m2;
        var mp = 4 * m2 + 2;
        var mmShift = ieeeMantissa != 0 || ieeeExponent <= 1 ? 1u : 0u;
        var mm = 4 * m2 - 1 - mmShift;

        uint vr, vp, vm;
        int e10;
        var vmIsTrailingZeros = false;
        var vrIsTrailingZeros = false;
        uint lastRemovedDigit = 0;
        if (e2 >= 0)
        {
            var q = Log10Pow2(e2);
            e10 = q;
            var k = Pow5InvBitCount + Pow5Bits(q) - 1;
            var i = -e2 + q + k;
            vr = MulShift(mv, Pow5InvSplit[q], i);
            vp = MulShift(mp, Pow5InvSplit[q], i);
            vm = MulShift(mm, Pow5InvSplit[q], i);
            if (q != 0 && (vp - 1) / 10 <= vm / 10)
            {
                // The loop below may remove nothing: find the digit it would have dropped.
                var l = Pow5InvBitCount + Pow5Bits(q - 1) - 1;
                lastRemovedDigit = MulShift(mv, Pow5InvSplit[q - 1], -e2 + q - 1 + l) % 10;
            }
            if (q <= 9)
            {
                // Only one of mp, mv, mm can be a multiple of 5, if any.
                if (mv % 5 == 0) vrIsTrailingZeros = MultipleOfPowerOf5(mv, q);
                else if (acceptBounds) vmIsTrailingZeros = MultipleOfPowerOf5(mm, q);
                else vp -= MultipleOfPowerOf5(mp, q) ? 1u : 0u;
            }
        }
        else
        {
            var q = Log10Pow5(-e2);
            e10 = q + e2;
            var i = -e2 - q;
            var k = Pow5Bits(i) - Pow5BitCount;
            var j = q - k;
            vr = MulShift(mv, Pow5Split[i], j);
            vp = MulShift(mp, Pow5Split[i], j);
            vm = MulShift(mm, Pow5Split[i], j);
            if (q != 0 && (vp - 1) / 10 <= vm / 10)
            {
                j = q - 1 - (Pow5Bits(i + 1) - Pow5BitCount);
                lastRemovedDigit = MulShift(mv, Pow5Split[i + 1], j) % 10;
            }
            if (q <= 1)
            {
                // mv = 4 * m2 has at least two trailing zero bits.
                vrIsTrailingZeros = true;
                if (acceptBounds) vmIsTrailingZeros = mmShift == 1;
                else vp--;
            }
            else if (q < 31)
            {
                vrIsTrailingZeros = (mv & ((1u << (q - 1)) - 1)) == 0;
            }
        }

        // Drop digits while the interval still holds a shorter number.
        var removed = 0;
        uint output;
        if (vmIsTrailingZeros || vrIsTrailingZeros)
        {
            // Rare: exact halfway cases and bounds that are themselves short.
            while (vp / 10 > vm / 10)
            {
                vmIsTrailingZeros &= vm % 10 == 0;
                vrIsTrailingZeros &= lastRemovedDigit == 0;
                lastRemovedDigit = vr % 10;
                vr /= 10;
                vp /= 10;
                vm /= 10;
                removed++;
            }
            if (vmIsTrailingZeros)
            {
                while (vm % 10 == 0)
                {
                    vrIsTrailingZeros &= lastRemovedDigit == 0;
                    lastRemovedDigit = vr % 10;
                    vr /= 10;
                    vp /= 10;
                    vm /= 10;
                    removed++;
                }
            }
            // Exactly halfway: round to even.
            if (vrIsTrailingZeros && lastRemovedDigit == 5 && vr % 2 == 0) lastRemovedDigit = 4;
            output = vr + ((vr == vm && (!acceptBounds || !vmIsTrailingZeros)) || lastRemovedDigit >= 5 ? 1u : 0u);
        }
        else
        {
            while (vp / 10 > vm / 10)
            {
                lastRemovedDigit = vr % 10;
                vr /= 10;
                vp /= 10;
                vm /= 10;
                removed++;
            }
            output = vr + (vr == vm || lastRemovedDigit >= 5 ? 1u : 0u);
        }
        return (output, e10 + removed);
    }

    // floor(m * factor / 2^shift), shift > 32, in two 32x32 -> 64 products.
    [MethodImpl(MethodImplOptions.AggressiveInlining)]
    private static uint MulShift(uint m, ulong factor, int shift)
    {
        var low = (ulong)m * (uint)factor;
        var high = (ulong)m * (factor >> 32);
        return (uint)(((low >> 32) + high) >> (shift - 32));
    }

    private static bool MultipleOfPowerOf5(uint value, int p)
    {
        var count = 0;
        while (value % 5 == 0)
        {
            value /= 5;
            count++;
        }
        return count >= p;
    }

    // ceil(log2(5^e)) for e > 0 (1 for e = 0), exact for the exponents used here.
    private static int Pow5Bits(int e) => (int)(((uint)e * 1217359) >> 19) + 1;

    // floor(log10(2^e)) and floor(log10(5^e)), exact for the exponents used here.
    private static int Log10Pow2(int e) => (int)(((uint)e * 78913) >> 18);
    private static int Log10Pow5(int e) => (int)(((uint)e * 732923) >> 20);

    private static ulong[] BuildInverseTable(int count)
    {
        var table = new ulong[count];
        for (var q = 0; q < count; q++)
        {
            // floor(2^(bits(5^q) - 1 + 59) / 5^q) + 1
            var shift = Pow5Bits(q) - 1 + Pow5InvBitCount;
            table[q] = (ulong)((BigInteger.One << shift) / BigInteger.Pow(5, q) + 1);
        }
        return table;
    }

    private static ulong[] BuildTable(int count)
    {
        var table = new ulong[count];
        for (var i = 0; i < count; i++)
        {
            // 5^i cut to its top 61 bits.
            var shift = Pow5Bits(i) - Pow5BitCount;
            var pow = BigInteger.Pow(5, i);
            table[i] = (ulong)(shift >= 0 ? pow >> shift : pow << -shift);
        }
        return table;
    }
}

/// <summary>Decimal digits of whole numbers, without the general formatter's overhead.</summary>
internal static class DecimalText
{
    /// <summary>Decimal digits of a value, no sign, no leading zeros.</summary>
    public static int WriteUInt(uint value, Span<byte> destination)
    {
        var count = DigitCount(value);
        WriteDigits(value, destination[..count]);
        return count;
    }

    /// <summary>Fills the whole span with the low digits of <paramref name="value"/>, zero padded.</summary>
    [MethodImpl(MethodImplOptions.AggressiveInlining)]
    internal static void WriteDigits(uint value, Span<byte> destination)
    {
        for (var i = destination.Length - 1; i >= 0; i--)
        {
            var next = value / 10;
            destination[i] = (byte)('0' + (value - next * 10));
            value = next;
        }
    }

    [MethodImpl(MethodImplOptions.AggressiveInlining)]
    internal static int DigitCount(uint value) =>
        value < 10 ? 1 : value < 100 ? 2 : value < 1000 ? 3 : value < 10000 ? 4 : value < 100000 ? 5
        : value < 1000000 ? 6 : value < 10000000 ? 7 : value < 100000000 ? 8 : value < 1000000000 ? 9 : 10;
}
