using System.Globalization;
using Quorvane;

namespace BunnyMark;

/// <summary>
/// N bouncing 32x32 sprites: a measure of how many sprites a frame can carry end to end
/// (game update, the lines to the runtime, parsing, rasterising, presenting). N comes
/// from the BUNNIES environment variable (default 10,000). Run it with --stats to get
/// the frame figures at exit.
/// </summary>
public sealed class BunnyGame : Game
{
    private const int DefaultCount = 10_000;
    private const float Size = 32f;
    private const float Gravity = 900f;

    private static readonly string[] Textures =
    {
        "assets/bunny_white.png", "assets/bunny_pink.png", "assets/bunny_blue.png", "assets/bunny_gold.png",
    };

    // Structure of arrays: the update loop touches only what it needs.
    private float[] _x = Array.Empty<float>();
    private float[] _y = Array.Empty<float>();
    private float[] _vx = Array.Empty<float>();
    private float[] _vy = Array.Empty<float>();
    private float _width = 1280f;
    private float _height = 720f;

    /// <summary>How many sprites this run draws.</summary>
    public int Count => _x.Length;

    /// <summary>BUNNIES as a count: a positive whole number, else the default.</summary>
    public static int ReadCount(string? text) =>
        int.TryParse(text, NumberStyles.Integer, CultureInfo.InvariantCulture, out var count) && count >= 0
            ? count
            : DefaultCount;

    public override void Load()
    {
        var count = ReadCount(Environment.GetEnvironmentVariable("BUNNIES"));
        _width = Camera.ViewWidth;
        _height = Camera.ViewHeight;
        _x = new float[count];
        _y = new float[count];
        _vx = new float[count];
        _vy = new float[count];
        // A fixed seed: every run of the same N draws the same frames.
        var random = new Random(16);
        for (var i = 0; i < count; i++)
        {
            _x[i] = (float)random.NextDouble() * (_width - Size);
            _y[i] = (float)random.NextDouble() * (_height - Size) * 0.5f;
            _vx[i] = ((float)random.NextDouble() - 0.5f) * 400f;
            _vy[i] = ((float)random.NextDouble() - 0.5f) * 400f;
        }
        Log.Info($"BunnyMark: {count} sprites");
    }

    public override void Update(float deltaTime)
    {
        var maxX = _width - Size;
        var maxY = _height - Size;
        for (var i = 0; i < _x.Length; i++)
        {
            var x = _x[i] + _vx[i] * deltaTime;
            var y = _y[i] + _vy[i] * deltaTime;
            var vy = _vy[i] + Gravity * deltaTime;
            if (x < 0f) { x = 0f; _vx[i] = -_vx[i]; }
            else if (x > maxX) { x = maxX; _vx[i] = -_vx[i]; }
            if (y > maxY)
            {
                y = maxY;
                // Bounce back up with a little randomness, so the crowd never settles.
                vy = -vy * 0.85f - ((i * 7919) % 200);
            }
            else if (y < 0f) { y = 0f; vy = 0f; }
            _x[i] = x;
            _y[i] = y;
            _vy[i] = vy;
        }
    }

    public override void Draw(Graphics graphics)
    {
        var white = Color.White;
        for (var i = 0; i < _x.Length; i++)
        {
            graphics.Sprite(Textures[i & 3], new RectF(_x[i], _y[i], Size, Size), white);
        }
    }
}
