using System.Reflection;
using System.Runtime.Loader;

namespace Quorvane.ScriptHost;

/// <summary>A game that could not be loaded; the message says why, for the user.</summary>
internal sealed class GameLoadException(string message) : Exception(message);

/// <summary>
/// Loads the game assembly with its own dependencies and creates its main class.
///
/// When the configured path is a folder (project.json without "mainAssembly"), the
/// assembly is looked for there under the names the game's build may give it: the
/// folder's name, the first part of the main class name ("BasicGame" for
/// "BasicGame.MainGame") and the assembly name of each .csproj in the folder; in the
/// folder itself and in every bin/&lt;configuration&gt;/&lt;target framework&gt;/ below it.
/// The newest of the files found is used, so a Release build made after a Debug
/// build (or a net10.0 build after a net8.0 one) wins.
/// </summary>
internal static class GameLoader
{
    // A game folder with more source files than this is not walked for the stale check.
    private const int MaxSourceFiles = 20000;

    // Copied or checked-out trees get near-equal times in any order; an edit made
    // after a build is further apart than this.
    private static readonly TimeSpan StaleMargin = TimeSpan.FromSeconds(2);

    public static string ResolveAssemblyPath(string path, string mainClass) => ResolveAssemblyPath(path, mainClass, new List<string>());

    /// <summary>As above; warnings for the user (a stale build) are added to the list.</summary>
    public static string ResolveAssemblyPath(string path, string mainClass, List<string> warnings)
    {
        if (File.Exists(path)) return Path.GetFullPath(path);
        if (!Directory.Exists(path)) throw new GameLoadException($"Game assembly was not found: {path}");

        var folder = Path.GetFullPath(path).TrimEnd(Path.DirectorySeparatorChar, Path.AltDirectorySeparatorChar);
        var names = new[] { Path.GetFileName(folder), mainClass.Split('.')[0] }
            .Concat(ProjectAssemblyNames(folder))
            .Where(name => !string.IsNullOrEmpty(name)).Distinct(StringComparer.Ordinal).ToList();
        var folders = new List<string> { folder };
        var bin = Path.Combine(folder, "bin");
        if (Directory.Exists(bin))
        {
            folders.AddRange(Directory.EnumerateDirectories(bin).SelectMany(Directory.EnumerateDirectories).Order(StringComparer.Ordinal));
        }
        var found = names.SelectMany(name => folders.Select(sub => Path.Combine(sub, name + ".dll")))
                         .Where(File.Exists)
                         .OrderByDescending(File.GetLastWriteTimeUtc)
                         .FirstOrDefault();
        if (found is null)
        {
            var looked = string.Join(", ", names.Select(name => name + ".dll"));
            throw new GameLoadException(
                $"No game assembly found in the folder {folder}. Looked for {looked} there and in bin/<configuration>/<target framework>/ below it. " +
                "Build the game (dotnet build), or name its assembly with \"mainAssembly\" in project.json.");
        }
        if (NewestSource(folder) is { } source && File.GetLastWriteTimeUtc(source) > File.GetLastWriteTimeUtc(found) + StaleMargin)
        {
            warnings.Add($"The game assembly {found} is older than {source}; run dotnet build, or use --watch.");
        }
        return Path.GetFullPath(found);
    }

    /// <summary>The assembly name of each project file in the folder: its AssemblyName, else its file name.</summary>
    private static IEnumerable<string> ProjectAssemblyNames(string folder)
    {
        foreach (var project in Directory.EnumerateFiles(folder, "*.csproj").Order(StringComparer.Ordinal))
        {
            string text;
            try
            {
                text = File.ReadAllText(project);
            }
            catch (IOException)
            {
                continue;
            }
            var match = System.Text.RegularExpressions.Regex.Match(text, "<AssemblyName>\\s*([^<]+?)\\s*</AssemblyName>");
            yield return match.Success ? match.Groups[1].Value : Path.GetFileNameWithoutExtension(project);
        }
    }

    /// <summary>The most recently written .cs or .csproj file of the game, outside bin/ and obj/.</summary>
    private static string? NewestSource(string folder)
    {
        string? newest = null;
        var newestTime = DateTime.MinValue;
        var seen = 0;
        var pending = new Stack<string>();
        pending.Push(folder);
        while (pending.Count > 0 && seen < MaxSourceFiles)
        {
            var current = pending.Pop();
            try
            {
                foreach (var file in Directory.EnumerateFiles(current))
                {
                    if (!file.EndsWith(".cs", StringComparison.Ordinal) && !file.EndsWith(".csproj", StringComparison.Ordinal)) continue;
                    seen++;
                    var time = File.GetLastWriteTimeUtc(file);
                    if (time > newestTime) (newest, newestTime) = (file, time);
                }
                foreach (var sub in Directory.EnumerateDirectories(current))
                {
                    var name = Path.GetFileName(sub);
                    if (name is "bin" or "obj" || name.StartsWith('.')) continue;
                    pending.Push(sub);
                }
            }
            catch (Exception error) when (error is IOException or UnauthorizedAccessException)
            {
                // A folder we cannot read holds nothing we could compare.
            }
        }
        return newest;
    }

    public static Game CreateGame(string assemblyPath, string mainClass) =>
        CreateGame(assemblyPath, mainClass, new GameLoadContext(assemblyPath, collectible: false), fromBytes: false);

    /// <summary>
    /// Hot reload: the game in a collectible context of its own, read from a copy of the
    /// files in memory, so the next build can overwrite them and the context can be
    /// unloaded once the game is replaced.
    /// </summary>
    public static Game CreateReloadableGame(string assemblyPath, string mainClass, out AssemblyLoadContext context)
    {
        var collectible = new GameLoadContext(assemblyPath, collectible: true);
        try
        {
            var game = CreateGame(assemblyPath, mainClass, collectible, fromBytes: true);
            context = collectible;
            return game;
        }
        catch
        {
            collectible.Unload();
            throw;
        }
    }

    private static Game CreateGame(string assemblyPath, string mainClass, AssemblyLoadContext context, bool fromBytes)
    {
        Assembly assembly;
        try
        {
            if (fromBytes)
            {
                using var image = new MemoryStream(File.ReadAllBytes(assemblyPath));
                var symbolsPath = Path.ChangeExtension(assemblyPath, ".pdb");
                using var symbols = File.Exists(symbolsPath) ? new MemoryStream(File.ReadAllBytes(symbolsPath)) : null;
                assembly = context.LoadFromStream(image, symbols);
            }
            else
            {
                assembly = context.LoadFromAssemblyPath(assemblyPath);
            }
        }
        catch (Exception error) when (error is BadImageFormatException or FileLoadException or FileNotFoundException or IOException)
        {
            throw new GameLoadException($"The game assembly {assemblyPath} could not be loaded: {error.Message}");
        }

        var type = assembly.GetType(mainClass, throwOnError: false) ?? FindBySimpleName(assembly, mainClass);
        if (type is null)
        {
            var games = GameTypes(assembly);
            var hint = games.Count == 0
                ? "It holds no class derived from Quorvane.Game."
                : "Classes derived from Quorvane.Game in it: " + string.Join(", ", games) + ".";
            throw new GameLoadException($"The main class \"{mainClass}\" was not found in {assemblyPath}. {hint}");
        }
        if (!typeof(Game).IsAssignableFrom(type) || type.IsAbstract)
        {
            throw new GameLoadException($"The main class \"{type.FullName}\" must be a non-abstract class derived from Quorvane.Game.");
        }
        if (type.GetConstructor(Type.EmptyTypes) is null)
        {
            throw new GameLoadException($"The main class \"{type.FullName}\" needs a public parameterless constructor.");
        }
        try
        {
            return (Game)Activator.CreateInstance(type)!;
        }
        catch (TargetInvocationException error) when (error.InnerException is not null)
        {
            throw new GameLoadException($"The constructor of \"{type.FullName}\" failed: {error.InnerException}");
        }
    }

    private static Type?[] AllTypes(Assembly assembly)
    {
        try
        {
            return assembly.GetTypes();
        }
        catch (ReflectionTypeLoadException error)
        {
            return error.Types;
        }
    }

    private static Type? FindBySimpleName(Assembly assembly, string name)
    {
        var matches = AllTypes(assembly).Where(type => type is not null && type.Name == name).ToList();
        return matches.Count == 1 ? matches[0] : null;
    }

    /// <summary>Full names of the non-abstract classes that derive from Game: what mainClass may name.</summary>
    private static List<string> GameTypes(Assembly assembly) =>
        AllTypes(assembly)
            .Where(type => type is { IsAbstract: false } && typeof(Game).IsAssignableFrom(type))
            .Select(type => type!.FullName ?? type.Name)
            .Order(StringComparer.Ordinal)
            .ToList();

    /// <summary>
    /// Resolves the game's own dependencies from its folder, but shares Quorvane.Engine
    /// with the host: a second copy would make the game's Game a different type.
    /// </summary>
    private sealed class GameLoadContext(string assemblyPath, bool collectible) : AssemblyLoadContext("Game", collectible)
    {
        private readonly AssemblyDependencyResolver _resolver = new(assemblyPath);

        protected override Assembly? Load(AssemblyName name)
        {
            if (name.Name == typeof(Game).Assembly.GetName().Name) return null;
            var path = _resolver.ResolveAssemblyToPath(name);
            return path is null ? null : LoadFromAssemblyPath(path);
        }

        protected override IntPtr LoadUnmanagedDll(string unmanagedDllName)
        {
            var path = _resolver.ResolveUnmanagedDllToPath(unmanagedDllName);
            return path is null ? IntPtr.Zero : LoadUnmanagedDllFromPath(path);
        }
    }
}
