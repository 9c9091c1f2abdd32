using System.Diagnostics;
using System.Globalization;
using System.Numerics;

namespace Quorvane.ScriptHost;

/// <summary>
/// The host's side of the conversation: READY, then START -> STARTED, each FRAME ->
/// the frame's lines and END_FRAME|n (n counts the FRAME lines from 1), until SHUTDOWN
/// or the end of input. Output is buffered and flushed once per answer. The first
/// exception that escapes the game is reported once (GAME_FAILED and its GAME_STACK
/// lines); from then on the game is not called again and frames are answered empty.
/// </summary>
internal sealed class HostLoop
{
    // Enough of a stack to find the fault; deep recursion would repeat one frame.
    private const int MaxReportedFrames = 32;

    /// <summary>
    /// The protocol extensions this host speaks, declared before READY. The runtime
    /// sends and accepts extended lines only for the names listed here.
    /// </summary>
    internal static readonly string[] Extensions = { "draw", "frames", "audio", "input" };

    private readonly TextReader _input;
    private readonly TextWriter _output;
    private readonly GameRunner _runner;
    private readonly LineWriter _lines = new();
    private readonly Graphics _graphics;
    private bool _started;
    private bool _gameFailed;
    private bool _quitSent;
    private long _frameNumber;

    public HostLoop(TextReader input, TextWriter output, GameRunner runner)
    {
        _input = input;
        _output = output;
        _runner = runner;
        _graphics = new Graphics(_lines, runner.Game.Settings.ProjectFolder);
        Log.Sink = _lines;
    }

    /// <summary>Runs until SHUTDOWN or end of input; returns the exit code.</summary>
    public int Run()
    {
        _lines.Raw("EXTENSIONS|" + string.Join(",", Extensions));
        _lines.Raw("READY");
        Flush();
        while (_input.ReadLine() is { } line)
        {
            if (line == "SHUTDOWN") break;
            if (line == "START") HandleStart();
            else if (line.StartsWith("FRAME|", StringComparison.Ordinal)) HandleFrame(line);
            else if (InputLines.Handle(line, _runner.Game)) continue;
            else if (line.Length > 0) Log.Warn($"Script host ignored an unknown command: {line}");
            Flush();
        }
        Flush();
        return 0;
    }

    private void HandleStart()
    {
        EnsureStarted();
        _lines.Raw("STARTED");
    }

    private void EnsureStarted()
    {
        if (_started) return;
        _started = true;
        RunGame(_runner.Start);
    }

    private void HandleFrame(string line)
    {
        _frameNumber++;
        EnsureStarted();
        if (!TryParseFrame(line, out var delta, out var keys, out var mouse, out var buttons))
        {
            _lines.Text("ERROR|", $"Script host received a malformed frame line: {line}");
        }
        else if (!_gameFailed)
        {
            RunGame(() => _runner.Frame(delta, keys, mouse, buttons, _graphics));
        }
        _runner.Game.Audio.DrainTo(_lines);
        if (!_gameFailed) _graphics.Camera(_runner.Game.Camera);
        _runner.Game.Window.WriteRequests(_lines);
        if (_runner.Game.QuitRequested && !_quitSent)
        {
            _quitSent = true;
            _lines.Raw("QUIT");
        }
        _lines.Raw("END_FRAME|" + _frameNumber.ToString(CultureInfo.InvariantCulture));
    }

    private void RunGame(Action action)
    {
        if (_gameFailed) return;
        try
        {
            action();
        }
        catch (Exception error)
        {
            _gameFailed = true;
            ReportFailure(_runner.Callback ?? "Update", error);
        }
    }

    /// <summary>GAME_FAILED|where|type|message, then GAME_STACK|line|method|file per frame of the game's own code.</summary>
    private void ReportFailure(string where, Exception error)
    {
        var message = error.Message.Replace("\r\n", "\n").Replace('\r', '\n');
        _lines.Begin("GAME_FAILED").Field(where).Field(error.GetType().FullName ?? error.GetType().Name).EscapedTail(message).End();
        foreach (var (method, file, lineNumber) in GameFrames(error))
        {
            _lines.Begin("GAME_STACK").Field(lineNumber).Field(method).Field(file).End();
        }
    }

    /// <summary>
    /// The frames of the exception's stack that lie in the game's assembly, innermost
    /// first; the engine's and the framework's frames only when the game has none.
    /// </summary>
    private IEnumerable<(string Method, string File, int Line)> GameFrames(Exception error)
    {
        var gameAssembly = _runner.Game.GetType().Assembly;
        var frames = new StackTrace(error, fNeedFileInfo: true).GetFrames();
        var own = frames.Where(frame => frame.GetMethod()?.DeclaringType?.Assembly == gameAssembly).ToList();
        var chosen = own.Count > 0 ? own : frames.ToList();
        foreach (var frame in chosen.Take(MaxReportedFrames))
        {
            var method = frame.GetMethod();
            var name = method is null ? "?" : $"{method.DeclaringType?.FullName}.{method.Name}";
            yield return (Clean(name), Clean(frame.GetFileName() ?? string.Empty), Math.Max(0, frame.GetFileLineNumber()));
        }
    }

    // A field must not break the line it stands in.
    private static string Clean(string text) => text.Replace('|', '/').Replace('\n', ' ').Replace('\r', ' ');

    private void Flush() => _lines.FlushTo(_output);

    internal static bool TryParseFrame(string line, out float delta, out List<int> keys, out Vector2 mouse, out List<int> buttons)
    {
        keys = new List<int>();
        buttons = new List<int>();
        mouse = Vector2.Zero;
        delta = 0f;
        var parts = line.Split('|');
        if (parts.Length < 4) return false;
        if (!float.TryParse(parts[1], NumberStyles.Float, CultureInfo.InvariantCulture, out delta)) return false;
        if (!TryParseList(parts[2], keys)) return false;
        var position = parts[3].Split(',');
        if (position.Length != 2
            || !int.TryParse(position[0], NumberStyles.Integer, CultureInfo.InvariantCulture, out var x)
            || !int.TryParse(position[1], NumberStyles.Integer, CultureInfo.InvariantCulture, out var y))
        {
            return false;
        }
        mouse = new Vector2(x, y);
        return TryParseList(parts.Length > 4 ? parts[4] : string.Empty, buttons);
    }

    private static bool TryParseList(string text, List<int> values)
    {
        if (text.Length == 0) return true;
        foreach (var item in text.Split(','))
        {
            if (!int.TryParse(item, NumberStyles.Integer, CultureInfo.InvariantCulture, out var value)) return false;
            values.Add(value);
        }
        return true;
    }
}
