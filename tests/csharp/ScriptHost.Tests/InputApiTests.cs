using System.Numerics;
using Quorvane.ScriptHost;

namespace Quorvane.Tests;

public sealed class InputProbeGame : Game
{
    public List<string> Seen { get; } = new();
    public Action<Game>? OnUpdate { get; set; }

    public override void Update(float deltaTime)
    {
        var pad = Input.Gamepad(0);
        Seen.Add(string.Join(" ",
            $"wheel={Input.MouseWheel.X},{Input.MouseWheel.Y}",
            $"text={Input.TextTyped}",
            $"pad={pad.Connected}",
            $"A={pad.IsDown(GamepadButton.A)}/{pad.WasPressed(GamepadButton.A)}/{pad.WasReleased(GamepadButton.A)}",
            $"left={pad.LeftStick.X},{pad.LeftStick.Y}",
            $"rt={pad.RightTrigger}",
            $"size={Window.Size.X}x{Window.Size.Y}",
            $"focused={Window.Focused}",
            $"lost={Window.LostFocus}",
            $"full={Window.Fullscreen}",
            $"title={Window.Title}"));
        OnUpdate?.Invoke(this);
    }
}

public class InputApiTests
{
    private static (string Output, InputProbeGame Game) Run(string input, InputProbeGame? game = null)
    {
        game ??= new InputProbeGame();
        var runner = new GameRunner(game, new GameSettings("/proj", "", 0.02f, 0, 0));
        var output = new StringWriter { NewLine = "\n" };
        Assert.Equal(0, new HostLoop(new StringReader(input), output, runner).Run());
        return (output.ToString(), game);
    }

    [Fact]
    public void TheHostDeclaresInput()
    {
        var (output, _) = Run("");
        var declared = output.Split('\n')[0];
        Assert.StartsWith("EXTENSIONS|", declared);
        Assert.Contains("input", declared["EXTENSIONS|".Length..].Split(','));
    }

    [Fact]
    public void InputLinesApplyToTheFrameThatFollowsThem()
    {
        var (_, game) = Run(string.Join("\n",
            "START",
            "XTITLE|My \\\\ game",
            "XINPUT|0|2|1|640|360|0|h\xe9|\\\\\\n",
            "XPAD|0|1|0.5|-1|0|0|0|0.75",
            "FRAME|0.016||0,0|",
            "XINPUT|-1|0|0|640|360|1|",
            "XPAD|0|0|0|0|0|0|0|0",
            "FRAME|0.016||0,0|",
            "XINPUT|0|0|0|640|360|1|",
            "FRAME|0.016||0,0|",
            "FRAME|0.016||0,0|",
            "SHUTDOWN", ""));
        Assert.Equal(new[]
        {
            "wheel=0,2 text=h\xe9|\\\n pad=True A=True/True/False left=0.5,-1 rt=0.75 size=640x360 focused=True lost=False full=False title=My \\ game",
            "wheel=-1,0 text= pad=True A=False/False/True left=0,0 rt=0 size=640x360 focused=False lost=True full=True title=My \\ game",
            "wheel=0,0 text= pad=False A=False/False/False left=0,0 rt=0 size=640x360 focused=False lost=False full=True title=My \\ game",
            // A frame without input lines: nothing typed, no pads, the window as last reported.
            "wheel=0,0 text= pad=False A=False/False/False left=0,0 rt=0 size=640x360 focused=False lost=False full=True title=My \\ game",
        }, game.Seen);
    }

    [Fact]
    public void MalformedInputLinesAreIgnoredAndTheFrameRuns()
    {
        var (output, game) = Run("START\nXINPUT|x|0|1|1|1|0|t\nXPAD|0|1|2\nXPAD|9|1|0|0|0|0|0|0\nFRAME|0.016||0,0|\nSHUTDOWN\n");
        Assert.Single(game.Seen);
        Assert.StartsWith("wheel=0,0 text= pad=False", game.Seen[0]);
        Assert.DoesNotContain("ERROR", output);
        Assert.DoesNotContain("unknown command", output);
    }

    [Fact]
    public void WindowChangesAreSentOnceAfterTheFrame()
    {
        var game = new InputProbeGame
        {
            OnUpdate = g =>
            {
                if (g.FrameNumber != 1) return;
                g.Window.Title = "Level 2\nboss";
                g.Window.Fullscreen = true;
                g.Window.CursorVisible = false;
                g.Window.FullscreenShortcut = false;
            },
        };
        var (output, _) = Run("START\nXINPUT|0|0|1|320|240|0|\nFRAME|0.016||0,0|\nXINPUT|0|0|1|320|240|0|\nFRAME|0.016||0,0|\nSHUTDOWN\n", game);
        var frames = output.Split(new[] { "END_FRAME|1\n", "END_FRAME|2\n" }, StringSplitOptions.None);
        Assert.Contains("XTITLE|Level 2\\nboss\nXFULLSCREEN|1\nXCURSOR|0\nXFULLSCREEN_TOGGLE|0\n", frames[0]);
        Assert.DoesNotContain("XFULLSCREEN", frames[1]);
        Assert.False(game.Window.CursorVisible);
        Assert.False(game.Window.FullscreenShortcut);
        Assert.Equal("Level 2\nboss", game.Window.Title);
    }

    [Fact]
    public void GamepadSlotsOutsideTheRangeAreNeverConnected()
    {
        var game = new InputProbeGame();
        Assert.False(game.Input.Gamepad(-1).Connected);
        Assert.False(game.Input.Gamepad(4).Connected);
        Assert.Same(game.Input.Gamepad(1), game.Input.Gamepad(1));
        Assert.Equal(Vector2.Zero, game.Input.MouseWheel);
        Assert.Equal("", game.Input.TextTyped);
        Assert.True(game.Window.Focused);
    }
}
