using System.Numerics;

namespace Quorvane.Tests;

public class DrawingApiTests
{
    private static string[] Lines(Action<Graphics> draw)
    {
        var writer = new LineWriter();
        draw(new Graphics(writer));
        var output = new StringWriter { NewLine = "\n" };
        writer.FlushTo(output);
        return output.ToString().Split('\n', StringSplitOptions.RemoveEmptyEntries);
    }

    [Fact]
    public void CallsWithoutLayerOrAlphaKeepTheBaseLines()
    {
        Assert.Equal(new[]
        {
            "RECT|1|2|3|4|10|20|30",
            "XRECT|0|0|1|2|3|4|10|20|30|128",
            "XRECT|-2|0|1|2|3|4|10|20|30|255",
            "DEBUG_RECT|0|0|1|1|255|0|0",
            "XDEBUG_RECT|3|0|0|0|1|1|255|0|0|255",
            "XRECT|0|1|5|6|7|8|1|2|3|4",
        }, Lines(g =>
        {
            g.FillRect(new RectF(1, 2, 3, 4), new Color(10, 20, 30));
            g.FillRect(new RectF(1, 2, 3, 4), new Color(10, 20, 30, 128));
            g.FillRect(1, 2, 3, 4, new Color(10, 20, 30), layer: -2);
            g.DebugRect(new RectF(0, 0, 1, 1), Color.Red);
            g.DebugRect(new RectF(0, 0, 1, 1), Color.Red, 3);
            g.Screen.FillRect(5, 6, 7, 8, new Color(1, 2, 3, 4));
        }));
    }

    [Fact]
    public void SpriteOptionsAndTextBecomeExtendedLines()
    {
        Assert.Equal(new[]
        {
            "XSPRITE|2|0|0|0|16|16|255|255|255|255|0|0|0|0|0|0|0|0|a.png",
            "XSPRITE|0|1|1|2|3|4|255|0|0|100|31|16|0|16|16|1.5|2|3|sheet.png",
            "XTEXT|4|0|10|20|16|255|255|255|255|1|fonts/x.ttf|a|b\\nc\\\\d",
            "XTEXT|0|1|0|0|8|0|0|0|255|0||",
        }, Lines(g =>
        {
            g.Sprite("a.png", new RectF(0, 0, 16, 16), new SpriteOptions { Layer = 2 });
            g.Screen.Sprite("sheet.png", new RectF(1, 2, 3, 4), new SpriteOptions
            {
                Source = new RectF(16, 0, 16, 16), Rotation = 1.5f, Origin = new Vector2(2, 3),
                Tint = Color.Red.WithAlpha(100), FlipX = true, FlipY = true, Smooth = true,
            });
            g.DrawText("a|b\nc\\d", 10, 20, 16, Color.White, TextAlign.Center, "fonts/x.ttf", layer: 4);
            g.Screen.DrawText("", 0, 0, 8, Color.Black);
        }));
        Assert.Throws<ArgumentException>(() => Lines(g => g.DrawText("x", 0, 0, 8, Color.White, font: "a|b")));
        Assert.Throws<ArgumentException>(() => Lines(g => g.Sprite("a\nb", default, new SpriteOptions())));
    }

    // The same figures are asserted for the runtime's layout (TextLayout tests).
    [Theory]
    [InlineData("Hello, World!", 24f, 133.922821f, 23.9999981f)]
    [InlineData("wide\nw", 16f, 32.2416115f, 32f)]
    [InlineData("", 10f, 0f, 10f)]
    [InlineData("\u4e00x", 33.5f, 34.3009644f, 33.5f)]
    [InlineData("Ab", 2000f, 1160.16113f, 1024f)]
    [InlineData("Ab", -1f, 0f, 0f)]
    public void MeasureTextAgreesWithTheRuntime(string text, float size, float width, float height)
    {
        Vector2 measured = default;
        Lines(g => measured = g.MeasureText(text, size));
        Assert.Equal(width, measured.X);
        Assert.Equal(height, measured.Y);
    }

    [Fact]
    public void MissingFontMeasuresAsTheDefault()
    {
        Vector2 missing = default, plain = default;
        Lines(g =>
        {
            missing = g.MeasureText("Abc", 20, "no/such/font.ttf");
            plain = g.Screen.MeasureText("Abc", 20);
        });
        Assert.Equal(plain, missing);
    }

    [Theory]
    [InlineData("#102030", 0x10, 0x20, 0x30, 255)]
    [InlineData("10203040", 0x10, 0x20, 0x30, 0x40)]
    [InlineData("#ffffff00", 255, 255, 255, 0)]
    public void ColoursCarryAlpha(string hex, int r, int g, int b, int a)
    {
        Assert.Equal(new Color((byte)r, (byte)g, (byte)b, (byte)a), Color.FromHex(hex));
        Assert.Equal(new Color(1, 2, 3, 4), new Color(1, 2, 3).WithAlpha(4));
        Assert.Throws<FormatException>(() => Color.FromHex("#12345"));
        Assert.Throws<FormatException>(() => Color.FromHex("#-1234567"));
    }
}
