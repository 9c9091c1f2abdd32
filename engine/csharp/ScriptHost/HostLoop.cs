using System.Globalization;
using System.Numerics;

namespace Quorvane.ScriptHost;

/// <summary>
/// The host's side of the conversation: READY, then START -> STARTED, each FRAME ->
/// the frame's lines and END_FRAME, until SHUTDOWN or the end of input. Output is
/// buffered and flushed once per answer. A game exception becomes ERROR lines and the
/// frames go on.
/// </summary>
internal sealed class HostLoop
{
    // A game that throws every frame would flood the console at 240 frames a second:
    // an identical error is reported once, then counted.
    private const int RepeatReportInterval = 600;

    /// <summary>
    /// The protocol extensions this host speaks, declared before READY. The runtime
    /// sends and accepts extended lines only for the names listed here.
    /// </summary>
    internal static readonly string[] Extensions = { "draw", "stats" };

    private readonly TextReader _input;
    private readonly TextWriter _output;
    private readonly GameRunner _runner;
    private readonly LineWriter _lines = new();
    private readonly Graphics _graphics;
    private bool _started;
    private string? _lastError;
    private int _lastErrorRepeats;
    // Allocated bytes of this thread when the previous frame's figure was taken: a
    // frame's figure covers everything since, reading its FRAME line included.
    private long _allocatedAtLastFrame = -1;

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
        Guard("Game start", _runner.Start);
    }

    private void HandleFrame(string line)
    {
        EnsureStarted();
        if (!TryParseFrame(line, out var delta, out var keys, out var mouse, out var buttons))
        {
            _lines.Text("ERROR|", $"Script host received a malformed frame line: {line}");
        }
        else
        {
            Guard($"Frame {_runner.Game.FrameNumber + 1}", () => _runner.Frame(delta, keys, mouse, buttons, _graphics));
        }
        _graphics.Camera(_runner.Game.Camera);
        ReportAllocations();
        _lines.Raw("END_FRAME");
    }

    /// <summary>
    /// "XSTATS|bytes": what this thread allocated since the previous frame's report (the
    /// first frame reports nothing, having no start to count from).
    /// </summary>
    private void ReportAllocations()
    {
        var now = GC.GetAllocatedBytesForCurrentThread();
        if (_allocatedAtLastFrame >= 0) _lines.Begin("XSTATS").Field(now - _allocatedAtLastFrame).End();
        // The report line itself is counted in the next frame's figure.
        _allocatedAtLastFrame = now;
    }

    private void Guard(string context, Action action)
    {
        try
        {
            action();
        }
        catch (Exception error)
        {
            ReportError(context, error);
        }
    }

    private void ReportError(string context, Exception error)
    {
        var text = error.ToString();
        if (text == _lastError)
        {
            _lastErrorRepeats++;
            if (_lastErrorRepeats % RepeatReportInterval == 0)
            {
                _lines.Text("ERROR|", $"{context}: the same error again ({_lastErrorRepeats} repeats so far).");
            }
            return;
        }
        _lastError = text;
        _lastErrorRepeats = 0;
        _lines.Text("ERROR|", $"{context} failed: {text}");
    }

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
