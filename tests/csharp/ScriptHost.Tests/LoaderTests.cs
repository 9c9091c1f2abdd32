using Quorvane.ScriptHost;

namespace Quorvane.Tests;

public class LoaderTests
{
    private static readonly string TestAssembly = typeof(LoaderTests).Assembly.Location;

    [Fact]
    public void ArgumentsParseInInvariantCulture()
    {
        var args = HostArguments.Parse(new[] { "g.dll", "M", "/p", "", "0.016667", "-2.500000", "3" });
        Assert.Equal(0.016667f, args.FixedDeltaTime);
        Assert.Equal(-2.5f, args.X);
        Assert.Equal("", args.StartScene);
        Assert.Throws<ArgumentException>(() => HostArguments.Parse(new[] { "too", "few" }));
        Assert.Throws<ArgumentException>(() => HostArguments.Parse(new[] { "g", "M", "/p", "", "0,5", "0", "0" }));
    }

    [Fact]
    public void CreatesTheMainClassByFullOrSimpleName()
    {
        Assert.Equal("RecordingGame", GameLoader.CreateGame(TestAssembly, "Quorvane.Tests.RecordingGame").GetType().Name);
        Assert.Equal("RecordingGame", GameLoader.CreateGame(TestAssembly, "RecordingGame").GetType().Name);
    }

    [Theory]
    [InlineData("Quorvane.Tests.Missing", "was not found")]
    [InlineData("Quorvane.Tests.LoaderTests", "derived from Quorvane.Game")]
    public void BadMainClassesSayWhy(string mainClass, string expected)
    {
        var error = Assert.Throws<GameLoadException>(() => GameLoader.CreateGame(TestAssembly, mainClass));
        Assert.Contains(expected, error.Message);
    }

    [Fact]
    public void FolderRuleFindsTheBuiltAssembly()
    {
        var root = Directory.CreateTempSubdirectory("quorvane-loader-");
        try
        {
            var folder = Directory.CreateDirectory(Path.Combine(root.FullName, "MyGame"));
            var error = Assert.Throws<GameLoadException>(() => GameLoader.ResolveAssemblyPath(folder.FullName, "Other.Main"));
            Assert.Contains("MyGame.dll", error.Message);
            Assert.Contains("Other.dll", error.Message);

            var built = Path.Combine(folder.FullName, "bin", "Debug", "net8.0", "Other.dll");
            Directory.CreateDirectory(Path.GetDirectoryName(built)!);
            File.WriteAllText(built, "");
            Assert.Equal(built, GameLoader.ResolveAssemblyPath(folder.FullName, "Other.Main"));

            var direct = Path.Combine(folder.FullName, "MyGame.dll");
            File.WriteAllText(direct, "");
            Assert.Equal(direct, GameLoader.ResolveAssemblyPath(folder.FullName + "/", "Other.Main"));

            var notAnAssembly = Assert.Throws<GameLoadException>(() => GameLoader.CreateGame(direct, "X"));
            Assert.Contains("could not be loaded", notAnAssembly.Message);
        }
        finally
        {
            root.Delete(recursive: true);
        }
    }
}
