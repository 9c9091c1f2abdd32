namespace Quorvane;

/// <summary>
/// Writes to the runtime's console as "[Info] ", "[Warn] " or "[Error] " lines.
/// A message with several lines becomes several log lines.
/// </summary>
public static class Log
{
    private static LineWriter? _sink;

    /// <summary>Where log lines go; null sends them to standard error (tests, tools).</summary>
    internal static LineWriter? Sink
    {
        get => _sink;
        set => _sink = value;
    }

    /// <summary>An informational line.</summary>
    public static void Info(string message) => Write("Info", message);

    /// <summary>A warning line.</summary>
    public static void Warn(string message) => Write("Warn", message);

    /// <summary>An error line.</summary>
    public static void Error(string message) => Write("Error", message);

    private static void Write(string level, string message)
    {
        if (_sink is { } sink)
        {
            sink.Text($"LOG|{level}|", message);
            return;
        }
        foreach (var line in LineWriter.SplitLines(message ?? string.Empty)) Console.Error.WriteLine($"[{level}] {line}");
    }
}
