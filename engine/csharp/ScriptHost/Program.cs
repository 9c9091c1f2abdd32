using Quorvane;
using Quorvane.ScriptHost;

// The runtime reads this process's stdout (stderr shares the pipe) as protocol lines.
// Both ends are raw byte streams: the loop formats and cuts UTF-8 lines itself, so
// a frame is one write and allocates nothing.
var output = Console.OpenStandardOutput();
var input = Console.OpenStandardInput();

void Fatal(string message)
{
    var lines = new LineWriter();
    lines.Text("ERROR|", message);
    lines.FlushTo(output);
}

GameRunner runner;
HostArguments arguments;
try
{
    arguments = HostArguments.Parse(args);
    var warnings = new List<string>();
    var assemblyPath = GameLoader.ResolveAssemblyPath(arguments.GameAssemblyPath, arguments.MainClass, warnings);
    if (warnings.Count > 0)
    {
        var early = new LineWriter();
        foreach (var warning in warnings) early.Text("LOG|Warn|", warning);
        early.FlushTo(output);
    }
    var game = GameLoader.CreateGame(assemblyPath, arguments.MainClass);
    runner = new GameRunner(game, arguments.ToSettings());
    if (!string.IsNullOrEmpty(arguments.StartScene) && !game.HasScene(arguments.StartScene))
    {
        var known = game.SceneNames.Count == 0 ? "the game registers none" : "known scenes: " + string.Join(", ", game.SceneNames);
        throw new GameLoadException($"The start scene \"{arguments.StartScene}\" does not exist ({known}).");
    }
}
catch (Exception error) when (error is ArgumentException or GameLoadException)
{
    Fatal(error.Message);
    return 1;
}
catch (Exception error)
{
    Fatal("The script host could not load the game: " + error);
    return 1;
}

Console.SetOut(new ConsoleRedirect(Log.Info));
Console.SetError(new ConsoleRedirect(Log.Error));
return new HostLoop(input, output, runner, arguments).Run();
