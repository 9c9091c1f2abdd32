using System.Diagnostics;
using Quorvane;

// ns per Graphics.Sprite call for the BunnyMark pattern: 40,000 sprites of 4 textures at
// random positions in 0..1280, as the host writes them (path ids on and off), plus the
// bytes allocated per steady frame and a checksum of one frame's bytes, so a change in
// speed can be checked to leave the output the same.
//   dotnet run -c Release --project bench/csharp/SpriteBench [-- frames]
//   dotnet run -c Release --project bench/csharp/SpriteBench -- --verify
// compares the fast float formatter with float.ToString("R") on every float it takes.
if (args.Length > 0 && args[0] == "--verify") return Verify();

const int Sprites = 40_000;
var frames = args.Length > 0 ? int.Parse(args[0]) : 200;
string[] textures = { "assets/bunny_white.png", "assets/bunny_pink.png", "assets/bunny_blue.png", "assets/bunny_gold.png" };
var random = new Random(16);
var xs = new float[Sprites];
var ys = new float[Sprites];
for (var i = 0; i < Sprites; i++)
{
    xs[i] = (float)random.NextDouble() * 1280f;
    ys[i] = (float)random.NextDouble() * 1280f;
}

foreach (var pathIds in new[] { true, false })
{
    var writer = new LineWriter();
    var graphics = new Graphics(writer, pathIds: pathIds);
    void Frame()
    {
        var white = Color.White;
        for (var i = 0; i < Sprites; i++) graphics.Sprite(textures[i & 3], new RectF(xs[i], ys[i], 32f, 32f), white);
    }
    // The first frame also declares the paths; checksum the second, a steady one.
    Frame();
    writer.FlushTo(Stream.Null);
    Frame();
    var bytes = writer.Written.Length;
    var checksum = Fnv(writer.Written);
    writer.FlushTo(Stream.Null);
    for (var i = 0; i < 50; i++) { Frame(); writer.FlushTo(Stream.Null); }  // let the JIT settle

    var times = new double[frames];
    var allocated = GC.GetAllocatedBytesForCurrentThread();
    for (var f = 0; f < frames; f++)
    {
        var start = Stopwatch.GetTimestamp();
        Frame();
        times[f] = Stopwatch.GetElapsedTime(start).TotalNanoseconds / Sprites;
        writer.FlushTo(Stream.Null);
    }
    allocated = (GC.GetAllocatedBytesForCurrentThread() - allocated) / frames;
    Array.Sort(times);
    Console.Write($"pathIds={pathIds,-5} ns/sprite median={times[frames / 2]:F1} min={times[0]:F1} " +
                      $"p90={times[frames * 9 / 10]:F1} alloc/frame={allocated} B frame_bytes={bytes} fnv={checksum:x16}\n");
}

// Where the time goes: each part of a sprite line alone, ns per sprite.
{
    var writer = new LineWriter();
    var white = Color.White;
    Part("float x, y", () => { for (var i = 0; i < Sprites; i++) writer.Field(xs[i]).Field(ys[i]); });
    var sink = 0u;
    Part("  digits only", () =>
    {
        for (var i = 0; i < Sprites; i++)
        {
            sink += ShortestFloat.Shortest(BitConverter.SingleToUInt32Bits(xs[i])).Digits;
            sink += ShortestFloat.Shortest(BitConverter.SingleToUInt32Bits(ys[i])).Digits;
        }
    });
    Part("  float.TryFormat", () =>
    {
        Span<byte> bytes = stackalloc byte[32];
        for (var i = 0; i < Sprites; i++)
        {
            xs[i].TryFormat(bytes, out var n, "R", System.Globalization.CultureInfo.InvariantCulture);
            ys[i].TryFormat(bytes, out var m, "R", System.Globalization.CultureInfo.InvariantCulture);
            sink += (uint)(n + m);
        }
    });
    Part("float 32, 32", () => { for (var i = 0; i < Sprites; i++) writer.Field(32f).Field(32f); });
    Part("colour", () => { for (var i = 0; i < Sprites; i++) writer.Field(white); });
    Part("texture #id", () => { for (var i = 0; i < Sprites; i++) writer.Texture(textures[i & 3], i & 3); });
    Part("tag, flips, end", () => { for (var i = 0; i < Sprites; i++) writer.Begin("SPRITE"u8).Field(false).Field(false).End(); });
    if (sink == 42) Console.WriteLine();  // keeps the results alive
    void Part(string name, Action frame)
    {
        var best = double.MaxValue;
        for (var f = 0; f < 100; f++)
        {
            var start = Stopwatch.GetTimestamp();
            frame();
            best = Math.Min(best, Stopwatch.GetElapsedTime(start).TotalNanoseconds / Sprites);
            writer.FlushTo(Stream.Null);
        }
        Console.WriteLine($"  {name,-18} {best,6:F1} ns (best of 100 frames)");
    }
}

return 0;

// Every float from 9e-5 up to 1e7 and their negatives, split over the machine's cores.
static int Verify()
{
    var first = BitConverter.SingleToUInt32Bits(9e-5f) - 16;
    var last = BitConverter.SingleToUInt32Bits(1e7f) + 16;
    long mismatches = 0, fast = 0;
    Parallel.For(0, Environment.ProcessorCount, part =>
    {
        Span<byte> buffer = stackalloc byte[64];
        Span<char> chars = stackalloc char[64];
        long localFast = 0;
        var parts = (uint)Environment.ProcessorCount;
        for (var bits = first + (uint)part; bits <= last; bits += parts)
        {
            foreach (var sign in new[] { 0u, 0x8000_0000u })
            {
                var value = BitConverter.UInt32BitsToSingle(bits | sign);
                if (!ShortestFloat.TryFormat(value, buffer, out var written)) continue;
                localFast++;
                value.TryFormat(chars, out var expectedLength, "R", System.Globalization.CultureInfo.InvariantCulture);
                var same = written == expectedLength;
                for (var i = 0; same && i < written; i++) same = buffer[i] == chars[i];
                if (!same && Interlocked.Increment(ref mismatches) <= 20)
                {
                    Console.WriteLine($"{bits | sign:x8}: {System.Text.Encoding.ASCII.GetString(buffer[..written])} != {chars[..expectedLength].ToString()}");
                }
            }
        }
        Interlocked.Add(ref fast, localFast);
    });
    Console.WriteLine($"verified {fast} floats, {mismatches} differ");
    return mismatches == 0 ? 0 : 1;
}

static ulong Fnv(ReadOnlySpan<byte> data)
{
    var hash = 14695981039346656037UL;
    foreach (var b in data) hash = (hash ^ b) * 1099511628211UL;
    return hash;
}
