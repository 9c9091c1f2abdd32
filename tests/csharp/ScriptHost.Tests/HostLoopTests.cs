using Quorvane.ScriptHost;

namespace Quorvane.Tests;

public sealed class RecordingGame : Game
{
    public List<string> Calls { get; } = new();
    public Func<float, bool>? ThrowInUpdate { get; set; }

    public RecordingGame()
    {
        AddScene("Main", () => new RecordingScene());
        AddScene("Other", () => new RecordingScene());
    }

    public override void Load() => Calls.Add("Load");

    public override void FixedUpdate(float fixedDeltaTime)
    {
        Calls.Add("Fixed");
        base.FixedUpdate(fixedDeltaTime);
    }

    public override void Update(float deltaTime)
    {
        Calls.Add($"Update {deltaTime.ToString(System.Globalization.CultureInfo.InvariantCulture)}");
        if (ThrowInUpdate?.Invoke(deltaTime) == true) throw new InvalidOperationException("boom\nsecond line");
        if (Input.WasPressed(Key.A)) Log.Info("A pressed");
        if (Input.WasReleased(Key.A)) Log.Warn("A released");
        if (Input.WasPressed(MouseButton.Left)) Log.Info($"click {Input.MousePosition.X},{Input.MousePosition.Y}");
        base.Update(deltaTime);
    }

    public override void Draw(Graphics graphics)
    {
        graphics.FillRect(1.5f, 2, 3, 4, new Color(10, 20, 30));
        graphics.Sprite("assets/a b.png", new RectF(0, 0, 16, 16), Color.White, flipX: true);
        graphics.DebugRect(new RectF(0.1f, 0, 1, 1), Color.Red);
        graphics.Collider(7, new RectF(1, 2, 3, 4));
    }
}

public sealed class ThrowingGame(string callback) : Game
{
    public int QuitInFrame { get; init; } = -1;

    private void ThrowIf(string name)
    {
        if (name == callback) throw new ArgumentException($"bad {name}");
    }

    public override void Load() => ThrowIf("Load");
    public override void FixedUpdate(float fixedDeltaTime) => ThrowIf("FixedUpdate");
    public override void Update(float deltaTime)
    {
        ThrowIf("Update");
        if (FrameNumber == QuitInFrame) Quit();
    }
    public override void Draw(Graphics graphics) => ThrowIf("Draw");
}

public sealed class RecordingScene : Scene
{
    public int Loads { get; private set; }
    public override void Load() => Loads++;
}

// Log.Sink is one per process: classes that run a HostLoop take turns.
[Collection("Host loop")]
public class HostLoopTests
{
    private static (string Output, RecordingGame Game) Run(string input, RecordingGame? game = null, float fixedDelta = 0.02f, string scene = "")
    {
        game ??= new RecordingGame();
        return (RunGame(input, game, fixedDelta, scene), game);
    }

    private static string RunGame(string input, Game game, float fixedDelta = 0.02f, string scene = "")
    {
        var runner = new GameRunner(game, new GameSettings("/proj", scene, fixedDelta, 1, 2));
        var output = new StringWriter { NewLine = "\n" };
        var exit = new HostLoop(new StringReader(input), output, runner).Run();
        Assert.Equal(0, exit);
        return output.ToString();
    }

    private static string[] Lines(string output) => output.Split('\n', StringSplitOptions.RemoveEmptyEntries);

    [Fact]
    public void ConversationFromReadyToShutdown()
    {
        var (output, game) = Run("START\nFRAME|0.0166667||412,300|\nSHUTDOWN\nFRAME|1||0,0|\n");
        Assert.Equal(new[]
        {
            "EXTENSIONS|" + string.Join(",", HostLoop.Extensions),
            "READY",
            "STARTED",
            "RECT|1.5|2|3|4|10|20|30",
            "XPATH|0|assets/a b.png",
            "SPRITE|0|0|16|16|255|255|255|#0|true|false",
            "DEBUG_RECT|0.1|0|1|1|255|0|0",
            "COLLIDER|7|1|2|3|4",
            "CAMERA|0|0|1|1280|720",
            "END_FRAME|1",
        }, Lines(output));
        Assert.Equal("Main", game.CurrentSceneName);
        Assert.Equal(1, ((RecordingScene)game.CurrentScene!).Loads);
    }

    [Fact]
    public void EndOfInputEndsTheLoopAndStartSceneIsChosen()
    {
        var (output, game) = Run("START\n", scene: "Other");
        Assert.Equal(new[] { "READY", "STARTED" }, Lines(output).Skip(1));
        Assert.Equal("Other", game.CurrentSceneName);
    }

    [Theory]
    [InlineData(0.01f, 0)]          // accumulates
    [InlineData(0.02f, 1)]
    [InlineData(0.05f, 2)]
    [InlineData(1.0f, 5)]           // capped per frame
    [InlineData(0f, 0)]
    public void FixedStepsFollowTheAccumulator(float delta, int expectedSteps)
    {
        var text = delta.ToString(System.Globalization.CultureInfo.InvariantCulture);
        var (_, game) = Run($"START\nFRAME|{text}||0,0|\n");
        Assert.Equal(expectedSteps, game.Calls.Count(call => call == "Fixed"));
    }

    [Fact]
    public void AccumulatorCarriesBetweenFramesAndTheBacklogIsDropped()
    {
        var (_, game) = Run("START\nFRAME|0.015||0,0|\nFRAME|0.015||0,0|\nFRAME|1||0,0|\nFRAME|0.001||0,0|\n");
        // 0 + 1 + 5 (capped; the rest is dropped) + 0: a kept backlog would add steps to the last frame.
        Assert.Equal(6, game.Calls.Count(call => call == "Fixed"));
    }

    [Fact]
    public void InputEdgesHoldForOneFrame()
    {
        var (output, _) = Run(
            "START\nFRAME|0.1|65|5,6|0\nFRAME|0.1|65|5,6|0\nFRAME|0.1||7,8|\n");
        var logs = Lines(output).Where(line => line.StartsWith("LOG|")).ToArray();
        Assert.Equal(new[] { "LOG|Info|A pressed", "LOG|Info|click 5,6", "LOG|Warn|A released" }, logs);
    }

    [Fact]
    public void AGameExceptionIsReportedOnceAndTheGameIsNotCalledAgain()
    {
        var game = new RecordingGame { ThrowInUpdate = delta => delta > 0.5f };
        var (output, _) = Run("START\nFRAME|1||0,0|\nFRAME|1||0,0|\nFRAME|0.1||0,0|\n", game);
        var lines = Lines(output);
        Assert.Equal("GAME_FAILED|Update|System.InvalidOperationException|boom\\nsecond line", Assert.Single(lines, line => line.StartsWith("GAME_FAILED|")));
        var stack = lines.Where(line => line.StartsWith("GAME_STACK|")).ToArray();
        // Only the game's own frames: the test assembly's Update, with its source file.
        var frame = Assert.Single(stack);
        Assert.Matches(@"^GAME_STACK\|\d+\|Quorvane\.Tests\.RecordingGame\.Update\|.*HostLoopTests\.cs$", frame);
        Assert.DoesNotContain(lines, line => line.StartsWith("ERROR|"));
        Assert.Equal(1, game.Calls.Count(call => call.StartsWith("Update")));
        Assert.Equal(new[] { "END_FRAME|1", "END_FRAME|2", "END_FRAME|3" }, lines.Where(line => line.StartsWith("END_FRAME")));
        Assert.All(lines, line => Assert.DoesNotContain('\r', line));
    }

    [Theory]
    [InlineData("Load")]
    [InlineData("FixedUpdate")]
    [InlineData("Update")]
    [InlineData("Draw")]
    public void TheFailingCallbackIsNamed(string callback)
    {
        var game = new ThrowingGame(callback);
        var output = RunGame("START\nFRAME|0.05||0,0|\nFRAME|0.05||0,0|\n", game);
        var failed = Assert.Single(Lines(output), line => line.StartsWith("GAME_FAILED|"));
        Assert.Equal($"GAME_FAILED|{callback}|System.ArgumentException|bad {callback}", failed);
    }

    [Fact]
    public void QuitIsSentOnceAfterTheFrameThatAskedForIt()
    {
        var game = new ThrowingGame("none") { QuitInFrame = 2 };
        var output = RunGame("START\nFRAME|0.05||0,0|\nFRAME|0.05||0,0|\nFRAME|0.05||0,0|\n", game);
        var lines = Lines(output).Where(line => line == "QUIT" || line.StartsWith("END_FRAME")).ToArray();
        Assert.Equal(new[] { "END_FRAME|1", "QUIT", "END_FRAME|2", "END_FRAME|3" }, lines);
    }

    [Fact]
    public void MalformedFrameLineIsReportedAndAnswered()
    {
        var (output, _) = Run("START\nFRAME|abc||0,0|\nBOGUS\n");
        var lines = Lines(output);
        Assert.Contains("ERROR|Script host received a malformed frame line: FRAME|abc||0,0|", lines);
        Assert.Contains("END_FRAME|1", lines);
        Assert.Contains("LOG|Warn|Script host ignored an unknown command: BOGUS", lines);
    }

    [Fact]
    public void TexturePathsThatWouldBreakALineAreRefused()
    {
        var graphics = new Graphics(new LineWriter());
        Assert.Throws<ArgumentException>(() => graphics.Sprite("a|b.png", new RectF(0, 0, 1, 1), Color.White));
        Assert.Throws<ArgumentException>(() => graphics.Sprite("a\nb.png", new RectF(0, 0, 1, 1), Color.White));
    }
}
