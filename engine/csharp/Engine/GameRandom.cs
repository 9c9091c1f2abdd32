namespace Quorvane;

/// <summary>
/// The game's random numbers: a <see cref="System.Random"/> whose sequence depends only
/// on its seed, the same on every machine and .NET version (xoshiro256**, seeded through
/// SplitMix64). The runtime seeds <see cref="Game.Random"/> before <see cref="Game.Load"/>
/// and records the seed with <c>--record</c>, so a replay draws the same numbers.
/// </summary>
public sealed class GameRandom : Random
{
    private ulong _s0, _s1, _s2, _s3;

    /// <summary>A generator with the given seed.</summary>
    public GameRandom(ulong seed) => Reseed(seed);

    /// <summary>The seed the sequence started from.</summary>
    public ulong Seed { get; private set; }

    /// <summary>Starts the sequence of <paramref name="seed"/> again.</summary>
    public void Reseed(ulong seed)
    {
        Seed = seed;
        var x = seed;
        _s0 = SplitMix(ref x);
        _s1 = SplitMix(ref x);
        _s2 = SplitMix(ref x);
        _s3 = SplitMix(ref x);
    }

    internal void CopyFrom(GameRandom other)
    {
        Seed = other.Seed;
        (_s0, _s1, _s2, _s3) = (other._s0, other._s1, other._s2, other._s3);
    }

    /// <summary>The next 64 random bits.</summary>
    public ulong NextUInt64()
    {
        var result = RotateLeft(_s1 * 5, 7) * 9;
        var t = _s1 << 17;
        _s2 ^= _s0;
        _s3 ^= _s1;
        _s1 ^= _s2;
        _s0 ^= _s3;
        _s2 ^= t;
        _s3 = RotateLeft(_s3, 45);
        return result;
    }

    /// <inheritdoc/>
    public override int Next() => (int)(NextUInt64() >> 33);

    /// <inheritdoc/>
    public override int Next(int maxValue)
    {
        ArgumentOutOfRangeException.ThrowIfNegative(maxValue);
        return (int)NextBelow((ulong)maxValue);
    }

    /// <inheritdoc/>
    public override int Next(int minValue, int maxValue)
    {
        if (minValue > maxValue) throw new ArgumentOutOfRangeException(nameof(minValue), "minValue must not exceed maxValue.");
        return (int)(minValue + (long)NextBelow((ulong)((long)maxValue - minValue)));
    }

    /// <inheritdoc/>
    public override long NextInt64() => (long)(NextUInt64() >> 1);

    /// <inheritdoc/>
    public override long NextInt64(long maxValue)
    {
        ArgumentOutOfRangeException.ThrowIfNegative(maxValue);
        return (long)NextBelow((ulong)maxValue);
    }

    /// <inheritdoc/>
    public override long NextInt64(long minValue, long maxValue)
    {
        if (minValue > maxValue) throw new ArgumentOutOfRangeException(nameof(minValue), "minValue must not exceed maxValue.");
        return minValue + (long)NextBelow((ulong)(maxValue - minValue));
    }

    /// <inheritdoc/>
    public override double NextDouble() => (NextUInt64() >> 11) * (1.0 / (1UL << 53));

    /// <inheritdoc/>
    public override float NextSingle() => (NextUInt64() >> 40) * (1.0f / (1U << 24));

    /// <summary>A float in [min, max).</summary>
    public float Range(float min, float max) => min + (max - min) * NextSingle();

    /// <inheritdoc/>
    public override void NextBytes(byte[] buffer) => NextBytes(buffer.AsSpan());

    /// <inheritdoc/>
    public override void NextBytes(Span<byte> buffer)
    {
        for (var i = 0; i < buffer.Length; i++) buffer[i] = (byte)(NextUInt64() >> 56);
    }

    /// <inheritdoc/>
    protected override double Sample() => NextDouble();

    // Rejection keeps every value below the bound equally likely.
    private ulong NextBelow(ulong bound)
    {
        if (bound <= 1) return 0;
        var limit = ulong.MaxValue - ulong.MaxValue % bound;
        ulong value;
        do value = NextUInt64(); while (value >= limit);
        return value % bound;
    }

    private static ulong SplitMix(ref ulong x)
    {
        var z = x += 0x9E3779B97F4A7C15UL;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9UL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBUL;
        return z ^ (z >> 31);
    }

    private static ulong RotateLeft(ulong x, int k) => (x << k) | (x >> (64 - k));
}
