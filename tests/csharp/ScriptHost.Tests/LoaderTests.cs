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

    private static string Touch(string folder, string relative, DateTime time)
    {
        var path = Path.Combine(folder, relative);
        Directory.CreateDirectory(Path.GetDirectoryName(path)!);
        File.WriteAllText(path, "");
        File.SetLastWriteTimeUtc(path, time);
        return path;
    }

    [Fact]
    public void TheNewestBuildOfAnyConfigurationAndFrameworkWins()
    {
        var root = Directory.CreateTempSubdirectory("quorvane-loader-");
        try
        {
            var folder = Directory.CreateDirectory(Path.Combine(root.FullName, "game")).FullName;
            var start = DateTime.UtcNow.AddHours(-1);
            // The project file names the assembly: neither the folder nor the namespace does.
            Touch(folder, "Jumper.csproj", start);
            Touch(folder, "Main.cs", start);
            Touch(folder, "bin/Debug/net8.0/Jumper.dll", start.AddMinutes(1));
            var newest = Touch(folder, "bin/Release/net10.0/Jumper.dll", start.AddMinutes(2));
            Touch(folder, "bin/Debug/net9.0/Jumper.dll", start.AddMinutes(1));
            var warnings = new List<string>();
            Assert.Equal(newest, GameLoader.ResolveAssemblyPath(folder, "Platformer.MainGame", warnings));
            Assert.Empty(warnings);

            // An edit after the build: the assembly is stale.
            var source = Touch(folder, "Levels/Level1.cs", start.AddMinutes(5));
            GameLoader.ResolveAssemblyPath(folder, "Platformer.MainGame", warnings);
            Assert.Equal($"The game assembly {newest} is older than {source}; run dotnet build, or use --watch.", Assert.Single(warnings));

            // Build output is no source.
            warnings.Clear();
            Touch(folder, "obj/Debug/net10.0/Generated.cs", start.AddMinutes(9));
            File.SetLastWriteTimeUtc(source, start);
            GameLoader.ResolveAssemblyPath(folder, "Platformer.MainGame", warnings);
            Assert.Empty(warnings);
        }
        finally
        {
            root.Delete(recursive: true);
        }
    }

    [Fact]
    public void AnAssemblyNameInTheProjectFileIsLookedFor()
    {
        var root = Directory.CreateTempSubdirectory("quorvane-loader-");
        try
        {
            var folder = root.FullName;
            File.WriteAllText(Path.Combine(folder, "Game.csproj"), "<Project><PropertyGroup><AssemblyName> Hopper </AssemblyName></PropertyGroup></Project>");
            var built = Touch(folder, "bin/Debug/net10.0/Hopper.dll", DateTime.UtcNow);
            Assert.Equal(built, GameLoader.ResolveAssemblyPath(folder, "X.Main"));
        }
        finally
        {
            root.Delete(recursive: true);
        }
    }

    [Fact]
    public void AMissingMainClassListsTheGamesInTheAssembly()
    {
        var error = Assert.Throws<GameLoadException>(() => GameLoader.CreateGame(TestAssembly, "Tests.Missing"));
        // Other test files add games of their own to this assembly.
        Assert.Contains("Classes derived from Quorvane.Game in it: ", error.Message);
        Assert.Contains("Quorvane.Tests.RecordingGame", error.Message);
        Assert.Contains("Quorvane.Tests.ThrowingGame", error.Message);
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
            Assert.Contains("bin/<configuration>/<target framework>/", error.Message);

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
