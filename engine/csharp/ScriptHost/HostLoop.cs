using System.Diagnostics;
using System.Globalization;
using System.Numerics;
using System.Runtime.Loader;

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
    internal static readonly string[] Extensions = { "draw", "replay", "reload" };

    private readonly TextReader _input;
    private readonly TextWriter _output;
    private readonly HostArguments? _arguments;
    private GameRunner _runner;
    private readonly LineWriter _lines = new();
    private readonly Graphics _graphics;
    private bool _started;
    private string? _lastError;
    private int _lastErrorRepeats;
    // Hot reload (--watch): the watcher, the contexts of replaced game versions (to see
    // them really unloaded), and the build end of a reload whose first frame is pending.
    private HotReloader? _reloader;
    private readonly List<WeakReference> _oldContexts = new();
    private AssemblyLoadContext? _currentContext;
    private int _reloads;
    private long? _reloadBuildEnd;

    /// <param name="arguments">What the host was started with; hot reload needs it to find the game again.</param>
    public HostLoop(TextReader input, TextWriter output, GameRunner runner, HostArguments? arguments = null)
    {
        _input = input;
        _output = output;
        _runner = runner;
        _arguments = arguments;
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
            else if (line.StartsWith("SEED|", StringComparison.Ordinal)) HandleSeed(line);
            else if (line.StartsWith("WATCH|", StringComparison.Ordinal)) HandleWatch(line["WATCH|".Length..]);
            else if (line.Length > 0) Log.Warn($"Script host ignored an unknown command: {line}");
            Flush();
            if (_reloadBuildEnd is { } buildEnd) ReportReload(buildEnd);
        }
        Flush();
        _reloader?.Dispose();
        return 0;
    }

    private void HandleSeed(string line)
    {
        if (ulong.TryParse(line.AsSpan("SEED|".Length), NumberStyles.None, CultureInfo.InvariantCulture, out var seed))
        {
            _runner.Game.Random.Reseed(seed);
        }
        else
        {
            _lines.Text("ERROR|", $"Script host received a malformed seed line: {line}");
        }
    }

    private void HandleWatch(string folder)
    {
        if (_arguments is null || _reloader is not null) return;
        var project = HotReloader.FindProject(folder, _arguments.ProjectFolder, out var problem);
        if (project is null)
        {
            Log.Warn(problem!);
            return;
        }
        if (!Directory.Exists(folder))
        {
            Log.Warn($"--watch: the folder {folder} does not exist; nothing is rebuilt.");
            return;
        }
        try
        {
            _reloader = new HotReloader(folder, project);
        }
        catch (Exception error) when (error is IOException or ArgumentException or UnauthorizedAccessException or PlatformNotSupportedException)
        {
            Log.Warn($"--watch cannot watch {folder}: {error.Message}");
            return;
        }
        Log.Info($"Watching {Path.GetFullPath(folder)} for code changes; rebuilding {project}.");
    }

    private void ApplyBuildOutcomes()
    {
        if (_reloader is null) return;
        while (_reloader.TryTakeOutcome(out var outcome))
        {
            if (!outcome.Succeeded)
            {
                foreach (var error in outcome.Errors) Log.Error(error);
                Log.Error($"The build failed ({outcome.Errors.Count} error(s)); the old code keeps running.");
                continue;
            }
            Reload(outcome);
        }
    }

    // Swaps in the freshly built game between two frames. Anything that goes wrong
    // leaves the old game running.
    private void Reload(BuildOutcome outcome)
    {
        var arguments = _arguments!;
        var old = _runner;
        Game game;
        AssemblyLoadContext context;
        try
        {
            var path = GameLoader.ResolveAssemblyPath(arguments.GameAssemblyPath, arguments.MainClass);
            game = GameLoader.CreateReloadableGame(path, arguments.MainClass, out context);
        }
        catch (Exception error)
        {
            Log.Error($"The rebuilt game could not be loaded; the old code keeps running: {(error is GameLoadException ? error.Message : error)}");
            return;
        }
        string? state = null;
        Guard("Saving the state for the reload", () => state = old.Game.SaveReloadState());
        var runner = new GameRunner(game, old.Game.Settings);
        try
        {
            runner.StartAfterReload(old, state);
        }
        catch (Exception error)
        {
            Log.Error($"The rebuilt game failed to start; the old code keeps running: {error}");
            context.Unload();
            return;
        }
        Guard("Unloading the old scene", () => old.Game.CurrentScene?.Unload());
        _runner = runner;
        if (_currentContext is not null)
        {
            _oldContexts.Add(new WeakReference(_currentContext));
            _currentContext.Unload();
        }
        _currentContext = context;
        _reloads++;
        _reloadBuildEnd = outcome.EndTimestamp;
        _lastError = null;
        Log.Info($"Reloaded the game (build {outcome.Duration.TotalSeconds:0.0} s).");
    }

    // Called once the new code's first frame has gone out: the latency of the reload,
    // and whether the versions it replaced are really gone from memory. The version
    // the game started with sits in a context that cannot unload (it was loaded before
    // the WATCH line arrived) and is not counted.
    private void ReportReload(long buildEnd)
    {
        _reloadBuildEnd = null;
        var latency = Stopwatch.GetElapsedTime(buildEnd).TotalMilliseconds;
        for (var i = 0; i < 10 && _oldContexts.Exists(reference => reference.IsAlive); i++)
        {
            GC.Collect();
            GC.WaitForPendingFinalizers();
        }
        _oldContexts.RemoveAll(reference => !reference.IsAlive);
        var heap = GC.GetTotalMemory(forceFullCollection: true) / 1024.0;
        var workingSet = Environment.WorkingSet / (1024.0 * 1024.0);
        Log.Info(string.Create(CultureInfo.InvariantCulture,
            $"Hot reload {_reloads}: first frame of the new code {latency:0} ms after the build ended; managed heap {heap:0} KiB, working set {workingSet:0.0} MiB; replaced versions still loaded: {_oldContexts.Count}."));
        Flush();
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
        ApplyBuildOutcomes();
        if (!TryParseFrame(line, out var delta, out var keys, out var mouse, out var buttons))
        {
            _lines.Text("ERROR|", $"Script host received a malformed frame line: {line}");
        }
        else
        {
            Guard($"Frame {_runner.Game.FrameNumber + 1}", () => _runner.Frame(delta, keys, mouse, buttons, _graphics));
        }
        _graphics.Camera(_runner.Game.Camera);
        _lines.Raw("END_FRAME");
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
