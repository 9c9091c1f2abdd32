using System.Reflection;
using System.Runtime.Loader;

namespace Quorvane.ScriptHost;

/// <summary>A game that could not be loaded; the message says why, for the user.</summary>
internal sealed class GameLoadException(string message) : Exception(message);

/// <summary>
/// Loads the game assembly with its own dependencies and creates its main class.
///
/// When the configured path is a folder (project.json without "mainAssembly"), the
/// assembly is looked for there under two names, the folder's name and the first
/// part of the main class name ("BasicGame" for "BasicGame.MainGame"), each in
/// the folder itself, then in bin/Debug/net8.0 and bin/Release/net8.0 below it.
/// The first file that exists is used.
/// </summary>
internal static class GameLoader
{
    private static readonly string[] BuildFolders = { ".", "bin/Debug/net8.0", "bin/Release/net8.0" };

    public static string ResolveAssemblyPath(string path, string mainClass)
    {
        if (File.Exists(path)) return Path.GetFullPath(path);
        if (!Directory.Exists(path)) throw new GameLoadException($"Game assembly was not found: {path}");

        var folder = Path.GetFullPath(path).TrimEnd(Path.DirectorySeparatorChar, Path.AltDirectorySeparatorChar);
        var names = new[] { Path.GetFileName(folder), mainClass.Split('.')[0] }
            .Where(name => !string.IsNullOrEmpty(name)).Distinct(StringComparer.Ordinal);
        var candidates = names.SelectMany(name => BuildFolders.Select(sub => Path.GetFullPath(Path.Combine(folder, sub, name + ".dll"))))
                              .ToList();
        var found = candidates.FirstOrDefault(File.Exists);
        if (found is not null) return found;
        throw new GameLoadException(
            $"No game assembly found in the folder {folder}. Looked for: {string.Join(", ", candidates)}. " +
            "Build the game, or name its assembly with \"mainAssembly\" in project.json.");
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
        if (type is null) throw new GameLoadException($"The main class \"{mainClass}\" was not found in {assemblyPath}.");
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

    private static Type? FindBySimpleName(Assembly assembly, string name)
    {
        Type?[] types;
        try
        {
            types = assembly.GetTypes();
        }
        catch (ReflectionTypeLoadException error)
        {
            types = error.Types;
        }
        var matches = types.Where(type => type is not null && type.Name == name).ToList();
        return matches.Count == 1 ? matches[0] : null;
    }

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
