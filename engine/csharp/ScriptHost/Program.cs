using System.Text;
using Quorvane;
using Quorvane.ScriptHost;

// The runtime reads this process's stdout (stderr shares the pipe) as protocol lines.
var output = new StreamWriter(Console.OpenStandardOutput(), new UTF8Encoding(false)) { AutoFlush = false, NewLine = "\n" };
var input = new StreamReader(Console.OpenStandardInput(), new UTF8Encoding(false));

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
    var assemblyPath = GameLoader.ResolveAssemblyPath(arguments.GameAssemblyPath, arguments.MainClass);
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
