using System.Runtime.CompilerServices;
using System.Runtime.Loader;
using Quorvane.ScriptHost;

namespace Quorvane.Tests;

/// <summary>A game whose start depends on its random numbers and that hands state over on reload.</summary>
public sealed class RandomGame : Game
{
    public static string? SavedByTests { get; set; }
    public List<string> Restored { get; } = new();

    public RandomGame() => AddScene("Sky", () => new RecordingScene());

    public override void Load() => Log.Info($"stars {Random.Next(1000)} {Random.Next(1000)}");
    public override string? SaveReloadState() => SavedByTests;
    public override void RestoreReloadState(string state) => Restored.Add($"{state} in {CurrentSceneName}");
}

[Collection("Host loop")]
public class DevLoopTests
{
    private static string Run(string input, Game game, string scene = "")
    {
        var runner = new GameRunner(game, new GameSettings("/proj", scene, 0.02f, 0, 0));
        var output = new StringWriter { NewLine = "\n" };
        Assert.Equal(0, new HostLoop(new StringReader(input), output, runner).Run());
        return output.ToString();
    }

    [Fact]
    public void TheSameSeedGivesTheSameNumbersOnEveryMachine()
    {
        // Fixed values: the sequence must not change with the .NET version or the platform.
        var random = new GameRandom(42);
        var first = new[] { random.NextUInt64(), random.NextUInt64() };
        random.Reseed(42);
        Assert.Equal(first, new[] { random.NextUInt64(), random.NextUInt64() });
        Assert.Equal(42UL, random.Seed);
        Assert.NotEqual(first[0], new GameRandom(43).NextUInt64());
        Assert.Equal(new GameRandom(7).NextUInt64(), new GameRandom(7).NextUInt64());
    }

    [Fact]
    public void RangesHoldTheirBounds()
    {
        var random = new GameRandom(5);
        for (var i = 0; i < 10000; i++)
        {
            Assert.InRange(random.Next(3), 0, 2);
            Assert.InRange(random.Next(-5, 5), -5, 4);
            Assert.InRange(random.Next(int.MinValue, int.MaxValue), int.MinValue, int.MaxValue - 1);
            Assert.InRange(random.NextDouble(), 0.0, 0.9999999999999999);
            Assert.InRange(random.NextSingle(), 0f, 0.99999994f);
            Assert.InRange(random.Range(2f, 4f), 2f, 4f);
            Assert.InRange(random.NextInt64(10, 20), 10, 19);
        }
        Assert.Equal(0, random.Next(0));
        Assert.Equal(3, random.Next(3, 3));
        Assert.Throws<ArgumentOutOfRangeException>(() => random.Next(-1));
        Assert.Throws<ArgumentOutOfRangeException>(() => random.Next(2, 1));
    }

    [Fact]
    public void TheSeedLineSeedsTheGameBeforeItLoads()
    {
        var seeded = Run("SEED|12345\nSTART\n", new RandomGame());
        Assert.Equal(seeded, Run("SEED|12345\nSTART\n", new RandomGame()));
        Assert.NotEqual(seeded, Run("SEED|12346\nSTART\n", new RandomGame()));
        Assert.Contains("LOG|Info|stars ", seeded);

        var game = new RandomGame();
        var output = Run("SEED|-3\nSEED|18446744073709551616\nSTART\n", game);
        Assert.Contains("ERROR|Script host received a malformed seed line: SEED|-3", output);
        Assert.Contains("ERROR|Script host received a malformed seed line: SEED|18446744073709551616", output);
        Assert.Equal(0UL, game.Random.Seed);
    }

    [Fact]
    public void TheHostDeclaresReplayAndReload()
    {
        Assert.Contains("replay", HostLoop.Extensions);
        Assert.Contains("reload", HostLoop.Extensions);
        // Without a runtime that sent WATCH there is nothing to rebuild: the line is harmless.
        var output = Run("WATCH|/nowhere\nSTART\nFRAME|0.1||0,0|\n", new RandomGame());
        Assert.Contains("END_FRAME", output);
    }

    [Fact]
    public void AWatchedFolderThatIsMissingOrHasNoProjectIsAWarningNotACrash()
    {
        var root = Directory.CreateTempSubdirectory("quorvane-watch-");
        try
        {
            var arguments = new HostArguments(Path.Combine(root.FullName, "g.dll"), "G", root.FullName, "", 0.02f, 0, 0);
            string RunWatching(string folder)
            {
                var runner = new GameRunner(new RandomGame(), arguments.ToSettings());
                var output = new StringWriter { NewLine = "\n" };
                Assert.Equal(0, new HostLoop(new StringReader($"WATCH|{folder}\nSTART\nFRAME|0.1||0,0|\n"), output, runner, arguments).Run());
                return output.ToString();
            }
            Assert.Contains($"LOG|Warn|--watch found no .csproj in {root.FullName}; nothing is rebuilt.", RunWatching(root.FullName));
            File.WriteAllText(Path.Combine(root.FullName, "G.csproj"), "<Project />");
            var missing = Path.Combine(root.FullName, "gone");
            Assert.Contains($"LOG|Warn|--watch: the folder {missing} does not exist; nothing is rebuilt.", RunWatching(missing));
            Assert.Contains("LOG|Info|Watching ", RunWatching(root.FullName));
            File.WriteAllText(Path.Combine(root.FullName, "H.csproj"), "<Project />");
            Assert.Contains("--watch found several projects in ", RunWatching(root.FullName));
        }
        finally
        {
            root.Delete(recursive: true);
        }
    }

    [Fact]
    public void AReloadedGameKeepsClockCameraRandomAndSceneAndCanTakeState()
    {
        var oldGame = new RandomGame();
        var old = new GameRunner(oldGame, new GameSettings("/proj", "", 0.02f, 0, 0));
        oldGame.Random.Reseed(99);
        old.Start();
        old.Frame(0.5f, new[] { 65 }, new(3, 4), Array.Empty<int>(), null!);
        oldGame.Camera.X = 12;
        oldGame.Camera.Zoom = 2;

        foreach (var state in new[] { null, "{\"score\":7}" })
        {
            var newGame = new RandomGame();
            var runner = new GameRunner(newGame, oldGame.Settings);
            runner.StartAfterReload(old, state);
            Assert.Equal(0.5f, newGame.Time);
            Assert.Equal(1, newGame.FrameNumber);
            Assert.Equal(12, newGame.Camera.X);
            Assert.Equal(2, newGame.Camera.Zoom);
            Assert.True(newGame.Input.IsDown(Key.A));
            Assert.False(newGame.Input.WasPressed(Key.A) && !oldGame.Input.WasPressed(Key.A));
            Assert.Equal("Sky", newGame.CurrentSceneName);
            Assert.Equal(99UL, newGame.Random.Seed);
            Assert.Equal(state is null ? Array.Empty<string>() : new[] { "{\"score\":7} in Sky" }, newGame.Restored);
        }
    }

    [Fact]
    public void AReplacedGameVersionIsReallyUnloaded()
    {
        var assembly = typeof(DevLoopTests).Assembly.Location;
        var context = LoadAndForget(assembly);
        for (var i = 0; i < 20 && context.IsAlive; i++)
        {
            GC.Collect();
            GC.WaitForPendingFinalizers();
        }
        Assert.False(context.IsAlive);
    }

    [MethodImpl(MethodImplOptions.NoInlining)]
    private static WeakReference LoadAndForget(string assembly)
    {
        var game = GameLoader.CreateReloadableGame(assembly, "Quorvane.Tests.RandomGame", out var context);
        Assert.NotSame(typeof(RandomGame), game.GetType());
        Assert.True(context.IsCollectible);
        Assert.Same(typeof(Game).Assembly, game.GetType().BaseType!.Assembly);  // the engine is shared
        var reference = new WeakReference(context);
        context.Unload();
        return reference;
    }
}
