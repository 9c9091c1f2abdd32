using System.Globalization;
using System.Text;
using Quorvane.ScriptHost;

namespace Quorvane.Tests;

/// <summary>Draws what a busy game draws: many sprites of a few textures, and some of everything else.</summary>
public sealed class BusyGame : Game
{
    private static readonly string[] Textures = { "a.png", "b.png", "c.png", "d.png" };

    public override void Draw(Graphics graphics)
    {
        for (var i = 0; i < 2000; i++)
        {
            graphics.Sprite(Textures[i & 3], new RectF(i * 0.5f, i % 700 + 0.25f, 32, 32), Color.White, flipX: (i & 1) == 1);
        }
        graphics.FillRect(new RectF(0, 650, 1280, 70), new Color(40, 80, 40));
        graphics.FillRect(new RectF(10, 10, 100, 20), new Color(0, 0, 0, 120), layer: 3);
        graphics.Sprite("sheet.png", new RectF(5, 6, 32, 38), new SpriteOptions
        {
            Source = new RectF(16, 0, 16, 19), Rotation = 0.3f, Tint = Color.Yellow.WithAlpha(200), Layer = 2,
        });
        graphics.DebugRect(new RectF(1, 2, 3, 4), Color.Red);
        graphics.Screen.DrawText("Score 1234\nLives 3", 10, 10, 24, Color.White);
        graphics.Collider(3, new RectF(1, 2, 3, 4));
    }
}

public class PerformanceTests
{
    private static string RunOverStreams(Game game, int frames)
    {
        var input = new StringBuilder("START\n");
        for (var i = 0; i < frames; i++) input.Append("FRAME|0.0166667|").Append(i % 2 == 0 ? "65" : "").Append("|412,300|\n");
        input.Append("SHUTDOWN\n");
        var runner = new GameRunner(game, new GameSettings("/proj", "", 1f / 60f, 0, 0));
        // Room for every frame up front: a growing stream would allocate on this thread
        // and be counted as the host's.
        var output = new MemoryStream(32 << 20);
        var exit = new HostLoop(new MemoryStream(Encoding.UTF8.GetBytes(input.ToString())), output, runner).Run();
        Assert.Equal(0, exit);
        return Encoding.UTF8.GetString(output.ToArray());
    }

    [Fact]
    public void SteadyFramesAllocateNothingOnTheHost()
    {
        var output = RunOverStreams(new BusyGame(), 60);
        var reports = output.Split('\n').Where(line => line.StartsWith("XSTATS|", StringComparison.Ordinal))
            .Select(line => long.Parse(line[7..], CultureInfo.InvariantCulture)).ToArray();
        Assert.Equal(59, reports.Length);  // every frame but the first
        // The first frames warm up (first calls, buffers growing to their size); after that
        // a frame allocates nothing, keys changing every frame included.
        Assert.All(reports.Skip(10), bytes => Assert.Equal(0, bytes));
    }

    [Fact]
    public void TexturePathsAreDeclaredOnceThenSentAsIds()
    {
        var output = RunOverStreams(new BusyGame(), 2);
        var lines = output.Split('\n');
        Assert.Equal(new[] { "XPATH|0|a.png", "XPATH|1|b.png", "XPATH|2|c.png", "XPATH|3|d.png", "XPATH|4|sheet.png" },
            lines.Where(line => line.StartsWith("XPATH|", StringComparison.Ordinal)));
        Assert.Contains("SPRITE|0|0.25|32|32|255|255|255|#0|false|false", lines);
        Assert.Contains("SPRITE|0.5|1.25|32|32|255|255|255|#1|true|false", lines);
        Assert.Contains("XSPRITE|2|0|5|6|32|38|255|255|0|200|8|16|0|16|19|0.3|0|0|#4", lines);
        Assert.Equal(4000, lines.Count(line => line.StartsWith("SPRITE|", StringComparison.Ordinal)));
        // A path built anew each time (another string object) keeps its id.
        var writer = new LineWriter();
        var graphics = new Graphics(writer, pathIds: true);
        graphics.Sprite(new string("x.png".ToCharArray()), new RectF(0, 0, 1, 1), Color.White);
        graphics.Sprite(new string("x.png".ToCharArray()), new RectF(0, 0, 1, 1), Color.White);
        Assert.Equal("XPATH|0|x.png\nSPRITE|0|0|1|1|255|255|255|#0|false|false\nSPRITE|0|0|1|1|255|255|255|#0|false|false\n",
            Encoding.UTF8.GetString(writer.Written));
    }

    [Fact]
    public void CyclingTexturesKeepTheirIdsAndBadPathsStillThrow()
    {
        // Five textures: one more than the recent-path cache holds, so entries are evicted.
        var paths = new[] { "a.png", "b.png", "c.png", "d.png", "e.png" };
        var writer = new LineWriter();
        var graphics = new Graphics(writer, pathIds: true);
        for (var i = 0; i < 15; i++) graphics.Sprite(paths[i % 5], new RectF(0, 0, 1, 1), Color.White);
        var lines = Encoding.UTF8.GetString(writer.Written).Split('\n', StringSplitOptions.RemoveEmptyEntries);
        Assert.Equal(paths.Select((path, id) => $"XPATH|{id}|{path}"), lines.Where(line => line.StartsWith("XPATH|", StringComparison.Ordinal)));
        Assert.Equal(Enumerable.Range(0, 15).Select(i => $"SPRITE|0|0|1|1|255|255|255|#{i % 5}|false|false"),
            lines.Where(line => line.StartsWith("SPRITE|", StringComparison.Ordinal)));
        Assert.Throws<ArgumentException>(() => graphics.Sprite("x|y.png", new RectF(0, 0, 1, 1), Color.White));
        Assert.Throws<ArgumentNullException>(() => graphics.Sprite(null!, new RectF(0, 0, 1, 1), Color.White));
        Assert.Throws<ArgumentNullException>(() => new Graphics(new LineWriter(), pathIds: true)
            .Sprite(null!, new RectF(0, 0, 1, 1), Color.White));
    }

    [Fact]
    public void NumbersAreWrittenAsInvariantRoundTripText()
    {
        var floats = new[]
        {
            0f, -0f, 1.5f, -2.25f, 0.1f, 1f / 3f, 1e-45f, 1.17549435e-38f, 3.40282347e38f, -3.40282347e38f, 123456789f,
            float.NaN, float.PositiveInfinity, float.NegativeInfinity, 1e7f, 1e-5f,
        };
        foreach (var value in floats)
        {
            var writer = new LineWriter();
            writer.Begin("T").Field(value).End();
            Assert.Equal("T|" + value.ToString("R", CultureInfo.InvariantCulture) + "\n", Encoding.UTF8.GetString(writer.Written));
        }
        var ints = new LineWriter();
        ints.Begin("I").Field(int.MinValue).Field(int.MaxValue).Field(long.MinValue).Field(0).End();
        Assert.Equal("I|-2147483648|2147483647|-9223372036854775808|0\n", Encoding.UTF8.GetString(ints.Written));
    }

    [Fact]
    public void TextIsUtf8AndTheBufferGrows()
    {
        var writer = new LineWriter();
        var text = new string('é', 50_000) + "\u4e00\ud83d\ude00\\\n";
        writer.Begin("XTEXT").EscapedTail(text).End();
        writer.Raw("LOG|Info|\ud800 lone");  // a lone surrogate becomes U+FFFD, as before
        var expected = "XTEXT|" + new string('é', 50_000) + "\u4e00\ud83d\ude00\\\\\\n\nLOG|Info|\ufffd lone\n";
        Assert.Equal(Encoding.UTF8.GetBytes(expected), writer.Written.ToArray());
    }

    [Fact]
    public void StreamInputCutsLinesLikeReadLine()
    {
        var longLine = "FRAME|" + new string('1', 40_000);
        var bytes = Encoding.UTF8.GetBytes("A\r\n\nB|é\n" + longLine + "\nlast");
        var input = new StreamLineInput(new MemoryStream(bytes));
        var lines = new List<string>();
        while (input.TryReadLine(out var line)) lines.Add(Encoding.UTF8.GetString(line));
        Assert.Equal(new[] { "A", "", "B|é", longLine, "last" }, lines);
        Assert.False(input.TryReadLine(out _));
    }

    [Theory]
    [InlineData("FRAME|0.0166667||412,300|", true, "", 412, 300, "")]
    [InlineData("FRAME|0.1|16,65|-5,12|0,2", true, "16,65", -5, 12, "0,2")]
    [InlineData("FRAME|0.1||1,2", true, "", 1, 2, "")]
    [InlineData("FRAME|0.1||1,2|0|extra", true, "", 1, 2, "0")]
    [InlineData("FRAME|0.1||1,2,3|", false, "", 0, 0, "")]
    [InlineData("FRAME|x||1,2|", false, "", 0, 0, "")]
    [InlineData("FRAME|0.1|a|1,2|", false, "", 0, 0, "")]
    [InlineData("FRAME|0.1|", false, "", 0, 0, "")]
    public void FrameLinesParseFromBytes(string line, bool ok, string keys, int x, int y, string buttons)
    {
        var keyList = new List<int> { 99 };
        var buttonList = new List<int> { 99 };
        Assert.Equal(ok, HostLoop.TryParseFrame(Encoding.UTF8.GetBytes(line), out _, keyList, out var mouse, buttonList));
        if (!ok) return;
        Assert.Equal(keys, string.Join(",", keyList));
        Assert.Equal(buttons, string.Join(",", buttonList));
        Assert.Equal(new System.Numerics.Vector2(x, y), mouse);
    }
}
