using System.Diagnostics;
using System.Globalization;
using System.Numerics;
using System.Runtime.Loader;
using System.Text;

namespace Quorvane.ScriptHost;

/// <summary>
/// The host's side of the conversation: READY, then START -> STARTED, each FRAME ->
/// the frame's lines and END_FRAME|n (n counts the FRAME lines from 1), until SHUTDOWN
/// or the end of input. Output is buffered and flushed once per answer. The first
/// exception that escapes the game is reported once (GAME_FAILED and its GAME_STACK
/// lines); from then on the game is not called again and frames are answered empty.
/// A steady frame allocates nothing in this loop: lines are read as bytes into a
/// reused buffer and the answer is formatted into another.
/// </summary>
internal sealed class HostLoop
{
    // Enough of a stack to find the fault; deep recursion would repeat one frame.
    private const int MaxReportedFrames = 32;

    /// <summary>
    /// The protocol extensions this host speaks, declared before READY. The runtime
    /// sends and accepts extended lines only for the names listed here.
    /// </summary>
    internal static readonly string[] Extensions = { "draw", "frames", "audio", "input", "stats", "paths", "replay", "reload" };

    private readonly LineInput _input;
    private readonly Action<LineWriter> _flush;
    private readonly HostArguments? _arguments;
    private GameRunner _runner;
    private readonly LineWriter _lines = new();
    private readonly Graphics _graphics;
    private readonly List<int> _keys = new();
    private readonly List<int> _buttons = new();
    private bool _started;
    private bool _gameFailed;
    private bool _quitSent;
    private long _frameNumber;
    // Allocated bytes of this thread when the previous frame's figure was taken: a
    // frame's figure covers everything since, reading its FRAME line included.
    private long _allocatedAtLastFrame = -1;
    // Hot reload (--watch): the watcher, the contexts of replaced game versions (to see
    // them really unloaded), and the build end of a reload whose first frame is pending.
    private HotReloader? _reloader;
    private readonly List<WeakReference> _oldContexts = new();
    private AssemblyLoadContext? _currentContext;
    private int _reloads;
    private long? _reloadBuildEnd;

    /// <summary>The real host: bytes in, bytes out, one write per answer.</summary>
    /// <param name="arguments">What the host was started with; hot reload needs it to find the game again.</param>
    public HostLoop(Stream input, Stream output, GameRunner runner, HostArguments? arguments = null)
        : this(new StreamLineInput(input), lines => lines.FlushTo(output), runner, arguments)
    {
    }

    /// <summary>Over text, for tests and tools.</summary>
    public HostLoop(TextReader input, TextWriter output, GameRunner runner, HostArguments? arguments = null)
        : this(new TextLineInput(input), lines => lines.FlushTo(output), runner, arguments)
    {
    }

    private HostLoop(LineInput input, Action<LineWriter> flush, GameRunner runner, HostArguments? arguments)
    {
        _input = input;
        _flush = flush;
        _runner = runner;
        _arguments = arguments;
        _graphics = new Graphics(_lines, runner.Game.Settings.ProjectFolder, pathIds: true);
        Log.Sink = _lines;
    }

    /// <summary>Runs until SHUTDOWN or end of input; returns the exit code.</summary>
    public int Run()
    {
        _lines.Raw("EXTENSIONS|" + string.Join(",", Extensions));
        _lines.Raw("READY");
        Flush();
        while (_input.TryReadLine(out var line))
        {
            if (line.SequenceEqual("SHUTDOWN"u8)) break;
            if (line.SequenceEqual("START"u8)) HandleStart();
            else if (line.StartsWith("FRAME|"u8)) HandleFrame(line);
            else if (line.StartsWith("X"u8) && InputLines.Handle(line, _runner.Game)) continue;
            else if (line.StartsWith("SEED|"u8)) HandleSeed(Encoding.UTF8.GetString(line));
            else if (line.StartsWith("WATCH|"u8)) HandleWatch(Encoding.UTF8.GetString(line["WATCH|"u8.Length..]));
            else if (line.Length > 0) Log.Warn($"Script host ignored an unknown command: {Encoding.UTF8.GetString(line)}");
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
        try
        {
            state = old.Game.SaveReloadState();
        }
        catch (Exception error)
        {
            Log.Error($"Saving the state for the reload failed: {error}");
        }
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
        try
        {
            old.Game.CurrentScene?.Unload();
        }
        catch (Exception error)
        {
            Log.Error($"Unloading the old scene failed: {error}");
        }
        _runner = runner;
        if (_currentContext is not null)
        {
            _oldContexts.Add(new WeakReference(_currentContext));
            _currentContext.Unload();
        }
        _currentContext = context;
        _reloads++;
        _reloadBuildEnd = outcome.EndTimestamp;
        if (_gameFailed)
        {
            // The mended game takes over from the error screen.
            _gameFailed = false;
            _lines.Raw("GAME_RESUMED");
        }
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
        try
        {
            _runner.Start();
        }
        catch (Exception error)
        {
            Fail(error);
        }
    }

    private void HandleFrame(ReadOnlySpan<byte> line)
    {
        _frameNumber++;
        EnsureStarted();
        ApplyBuildOutcomes();
        if (!TryParseFrame(line, out var delta, _keys, out var mouse, _buttons))
        {
            _lines.Text("ERROR|", $"Script host received a malformed frame line: {Encoding.UTF8.GetString(line)}");
        }
        else if (!_gameFailed)
        {
            // No closure and no context text unless something fails: a steady frame allocates nothing.
            try
            {
                _runner.Frame(delta, _keys, mouse, _buttons, _graphics);
            }
            catch (Exception error)
            {
                Fail(error);
            }
        }
        _runner.Game.Audio.DrainTo(_lines);
        if (!_gameFailed) _graphics.Camera(_runner.Game.Camera);
        _runner.Game.Window.WriteRequests(_lines);
        if (_runner.Game.QuitRequested && !_quitSent)
        {
            _quitSent = true;
            _lines.Raw("QUIT");
        }
        ReportAllocations();
        _lines.Begin("END_FRAME").Field(_frameNumber).End();
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

    private void Fail(Exception error)
    {
        if (_gameFailed) return;
        _gameFailed = true;
        ReportFailure(_runner.Callback ?? "Update", error);
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

    private void Flush() => _flush(_lines);

    internal static bool TryParseFrame(string line, out float delta, out List<int> keys, out Vector2 mouse, out List<int> buttons)
    {
        keys = new List<int>();
        buttons = new List<int>();
        return TryParseFrame(Encoding.UTF8.GetBytes(line), out delta, keys, out mouse, buttons);
    }

    /// <summary>"FRAME|dt|keys|x,y|buttons" into reused lists; false when a field does not read.</summary>
    internal static bool TryParseFrame(ReadOnlySpan<byte> line, out float delta, List<int> keys, out Vector2 mouse, List<int> buttons)
    {
        keys.Clear();
        buttons.Clear();
        mouse = Vector2.Zero;
        delta = 0f;
        // Fields as string.Split makes them; a sixth range takes whatever follows the buttons.
        Span<Range> parts = stackalloc Range[6];
        var count = Split(line, (byte)'|', parts);
        if (count < 4) return false;
        if (!float.TryParse(line[parts[1]], NumberStyles.Float, CultureInfo.InvariantCulture, out delta)) return false;
        if (!TryParseList(line[parts[2]], keys)) return false;
        var position = line[parts[3]];
        Span<Range> xy = stackalloc Range[3];
        if (Split(position, (byte)',', xy) != 2
            || !int.TryParse(position[xy[0]], NumberStyles.Integer, CultureInfo.InvariantCulture, out var x)
            || !int.TryParse(position[xy[1]], NumberStyles.Integer, CultureInfo.InvariantCulture, out var y))
        {
            return false;
        }
        mouse = new Vector2(x, y);
        return TryParseList(count > 4 ? line[parts[4]] : ReadOnlySpan<byte>.Empty, buttons);
    }

    /// <summary>
    /// The fields of text between separators, at most ranges.Length of them (the last
    /// one then holds the rest); returns how many. Like string.Split, an empty text is
    /// one empty field.
    /// </summary>
    private static int Split(ReadOnlySpan<byte> text, byte separator, Span<Range> ranges)
    {
        var count = 0;
        var start = 0;
        while (count < ranges.Length - 1)
        {
            var at = text[start..].IndexOf(separator);
            if (at < 0) break;
            ranges[count++] = new Range(start, start + at);
            start += at + 1;
        }
        ranges[count++] = new Range(start, text.Length);
        return count;
    }

    private static bool TryParseList(ReadOnlySpan<byte> text, List<int> values)
    {
        if (text.Length == 0) return true;
        for (;;)
        {
            var comma = text.IndexOf((byte)',');
            var item = comma < 0 ? text : text[..comma];
            if (!int.TryParse(item, NumberStyles.Integer, CultureInfo.InvariantCulture, out var value)) return false;
            values.Add(value);
            if (comma < 0) return true;
            text = text[(comma + 1)..];
        }
    }
}
