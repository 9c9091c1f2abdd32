namespace Quorvane;

/// <summary>What the runtime started the game with (from project.json).</summary>
/// <param name="ProjectFolder">The project folder; also the current directory.</param>
/// <param name="StartScene">The "startScene" value; empty for the game's first scene.</param>
/// <param name="FixedDeltaTime">Seconds per <see cref="Game.FixedUpdate"/> step.</param>
/// <param name="StartX">The "x" value of project.json.</param>
/// <param name="StartY">The "y" value of project.json.</param>
public sealed record GameSettings(string ProjectFolder, string StartScene, float FixedDeltaTime, float StartX, float StartY)
{
    /// <summary>Settings for running a game outside the runtime (tests, tools).</summary>
    public static GameSettings Default { get; } = new(Environment.CurrentDirectory, string.Empty, 1f / 60f, 0f, 0f);
}
