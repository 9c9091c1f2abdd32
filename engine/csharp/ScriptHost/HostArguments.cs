using System.Globalization;

namespace Quorvane.ScriptHost;

/// <summary>The seven values the runtime launches the host with, in their order.</summary>
internal sealed record HostArguments(
    string GameAssemblyPath, string MainClass, string ProjectFolder, string StartScene,
    float FixedDeltaTime, float X, float Y)
{
    public const string Usage =
        "Usage: dotnet Quorvane.ScriptHost.dll <game assembly> <main class> <project folder> <start scene> <fixed delta time> <x> <y>";

    public static HostArguments Parse(IReadOnlyList<string> args)
    {
        if (args.Count != 7) throw new ArgumentException($"Expected 7 arguments, got {args.Count}. {Usage}");
        return new HostArguments(args[0], args[1], args[2], args[3],
            ParseNumber(args[4], "fixed delta time"), ParseNumber(args[5], "x"), ParseNumber(args[6], "y"));
    }

    private static float ParseNumber(string text, string what) =>
        float.TryParse(text, NumberStyles.Float, CultureInfo.InvariantCulture, out var value)
            ? value
            : throw new ArgumentException($"The {what} argument \"{text}\" is not a number.");

    public GameSettings ToSettings() => new(ProjectFolder, StartScene, FixedDeltaTime, X, Y);
}
