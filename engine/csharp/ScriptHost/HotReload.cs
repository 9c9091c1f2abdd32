using System.Collections.Concurrent;
using System.Diagnostics;
using System.Text.RegularExpressions;

namespace Quorvane.ScriptHost;

/// <summary>What one rebuild produced, handed from the build thread to the frame loop.</summary>
internal sealed record BuildOutcome(bool Succeeded, IReadOnlyList<string> Errors, long EndTimestamp, TimeSpan Duration);

/// <summary>
/// Hot reload's watcher: notices .cs files of the game changing under a folder, waits
/// for the burst of writes an editor makes to settle, then runs an incremental
/// <c>dotnet build</c> of the game project on a background thread. Results are queued
/// for the frame loop, which alone talks to the runtime and swaps the game.
/// </summary>
internal sealed partial class HotReloader : IDisposable
{
    private static readonly TimeSpan QuietPeriod = TimeSpan.FromMilliseconds(200);

    private readonly FileSystemWatcher _watcher;
    private readonly string _folder;
    private readonly object _gate = new();
    private readonly ConcurrentQueue<BuildOutcome> _outcomes = new();
    private readonly CancellationTokenSource _stop = new();
    private readonly SemaphoreSlim _changed = new(0);
    private readonly Task _loop;
    private long _lastChange;
    private Process? _current;

    public HotReloader(string folder, string projectFile)
    {
        _folder = Path.GetFullPath(folder);
        ProjectFile = projectFile;
        _watcher = new FileSystemWatcher(_folder, "*.cs") { IncludeSubdirectories = true, NotifyFilter = NotifyFilters.LastWrite | NotifyFilters.FileName | NotifyFilters.Size };
        _watcher.Changed += OnChange;
        _watcher.Created += OnChange;
        _watcher.Renamed += OnChange;
        _watcher.Deleted += OnChange;
        _watcher.EnableRaisingEvents = true;
        _loop = Task.Run(BuildLoop);
    }

    public string ProjectFile { get; }

    /// <summary>The .csproj to build for a watched folder: the only one in it, else the only one in the project folder.</summary>
    public static string? FindProject(string folder, string projectFolder, out string? problem)
    {
        problem = null;
        foreach (var candidate in new[] { folder, projectFolder }.Distinct())
        {
            if (!Directory.Exists(candidate)) continue;
            var projects = Directory.GetFiles(candidate, "*.csproj");
            if (projects.Length == 1) return projects[0];
            if (projects.Length > 1)
            {
                problem = $"--watch found several projects in {candidate} ({string.Join(", ", projects.Select(Path.GetFileName))}); nothing is rebuilt.";
                return null;
            }
        }
        problem = $"--watch found no .csproj in {folder}; nothing is rebuilt.";
        return null;
    }

    public bool TryTakeOutcome(out BuildOutcome outcome) => _outcomes.TryDequeue(out outcome!);

    private void OnChange(object sender, FileSystemEventArgs change)
    {
        // The build writes generated .cs files under obj/; those must not start another.
        var relative = Path.GetRelativePath(_folder, change.FullPath).Replace('\\', '/');
        if (relative.StartsWith("obj/", StringComparison.Ordinal) || relative.StartsWith("bin/", StringComparison.Ordinal)
            || relative.Contains("/obj/", StringComparison.Ordinal) || relative.Contains("/bin/", StringComparison.Ordinal))
        {
            return;
        }
        Interlocked.Exchange(ref _lastChange, Stopwatch.GetTimestamp());
        _changed.Release();
    }

    private async Task BuildLoop()
    {
        var token = _stop.Token;
        try
        {
            while (!token.IsCancellationRequested)
            {
                await _changed.WaitAsync(token);
                // Editors save in several writes; build once they are done.
                while (Stopwatch.GetElapsedTime(Interlocked.Read(ref _lastChange)) < QuietPeriod)
                {
                    await Task.Delay(50, token);
                }
                while (_changed.CurrentCount > 0) await _changed.WaitAsync(token);
                _outcomes.Enqueue(await BuildAsync(token));
            }
        }
        catch (OperationCanceledException)
        {
        }
    }

    private async Task<BuildOutcome> BuildAsync(CancellationToken token)
    {
        var started = Stopwatch.GetTimestamp();
        var start = new ProcessStartInfo(DotnetExecutable())
        {
            RedirectStandardOutput = true,
            RedirectStandardError = true,
            RedirectStandardInput = true,
            UseShellExecute = false,
            WorkingDirectory = Path.GetDirectoryName(ProjectFile)!,
        };
        // No build nodes stay behind after the host ends; -clp keeps one line per error.
        foreach (var argument in new[] { "build", ProjectFile, "-nologo", "-nodeReuse:false", "-v:q", "-clp:NoSummary" })
        {
            start.ArgumentList.Add(argument);
        }
        var errors = new List<string>();
        try
        {
            using var process = Process.Start(start)!;
            lock (_gate) _current = process;
            process.StandardInput.Close();
            var output = process.StandardOutput.ReadToEndAsync(token);
            var errorOutput = process.StandardError.ReadToEndAsync(token);
            await process.WaitForExitAsync(token);
            var end = Stopwatch.GetTimestamp();
            lock (_gate) _current = null;
            var text = await output + "\n" + await errorOutput;
            foreach (var line in text.Split('\n'))
            {
                var trimmed = line.Trim();
                if (ErrorLine().IsMatch(trimmed) && !errors.Contains(trimmed)) errors.Add(trimmed);
            }
            var succeeded = process.ExitCode == 0;
            if (!succeeded && errors.Count == 0) errors.Add($"dotnet build exited with code {process.ExitCode}: {text.Trim()}");
            return new BuildOutcome(succeeded, errors, end, Stopwatch.GetElapsedTime(started, end));
        }
        catch (Exception error) when (error is not OperationCanceledException)
        {
            errors.Add($"dotnet build could not be run: {error.Message}");
            var end = Stopwatch.GetTimestamp();
            return new BuildOutcome(false, errors, end, Stopwatch.GetElapsedTime(started, end));
        }
    }

    // The host runs under dotnet; the same one builds.
    private static string DotnetExecutable()
    {
        var path = Environment.ProcessPath;
        var name = path is null ? null : Path.GetFileNameWithoutExtension(path);
        return name == "dotnet" ? path! : "dotnet";
    }

    [GeneratedRegex(@"(^|\s|:)error\s+[A-Z]+\d+\s*:")]
    private static partial Regex ErrorLine();

    public void Dispose()
    {
        _watcher.Dispose();
        _stop.Cancel();
        lock (_gate)
        {
            // A build still running when the game ends is not left behind.
            try
            {
                if (_current is { HasExited: false }) _current.Kill(entireProcessTree: true);
            }
            catch (InvalidOperationException)
            {
            }
        }
        try
        {
            _loop.Wait(TimeSpan.FromSeconds(2));
        }
        catch (AggregateException)
        {
        }
        _stop.Dispose();
    }
}
