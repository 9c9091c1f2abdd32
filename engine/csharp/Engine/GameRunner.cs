using System.Numerics;

namespace Quorvane;

/// <summary>
/// Drives a <see cref="Game"/> frame by frame: input edges, the fixed-step
/// accumulator, update and draw. The script host uses it; tests can too.
/// </summary>
public sealed class GameRunner
{
    private float _accumulator;

    /// <summary>Wraps a game that has not been started yet.</summary>
    public GameRunner(Game game, GameSettings settings)
    {
        Game = game ?? throw new ArgumentNullException(nameof(game));
        Game.Settings = settings ?? throw new ArgumentNullException(nameof(settings));
    }

    /// <summary>The game being run.</summary>
    public Game Game { get; }

    /// <summary>
    /// The game callback running now, or last: "Load", "FixedUpdate", "Update" or
    /// "Draw". When a callback throws, this names it.
    /// </summary>
    public string? Callback { get; private set; }

    /// <summary>The start scene's name: the configured one, else the first registered.</summary>
    public string? StartSceneName =>
        string.IsNullOrEmpty(Game.Settings.StartScene) ? Game.SceneNames.FirstOrDefault() : Game.Settings.StartScene;

    /// <summary>Calls <see cref="Game.Load"/> and loads the start scene.</summary>
    public void Start()
    {
        Callback = "Load";
        Game.Load();
        if (StartSceneName is { } name && Game.CurrentScene is null) Game.LoadScene(name);
        Game.ApplyPendingScene();
    }

    /// <summary>
    /// Hot reload: starts this runner's new game instance in place of <paramref name="previous"/>'s
    /// game: the clock, camera, input and random state carry over, <see cref="Game.Load"/> runs,
    /// the scene of the same name is created anew, then <paramref name="state"/> (when not null)
    /// goes to <see cref="Game.RestoreReloadState"/>.
    /// </summary>
    public void StartAfterReload(GameRunner previous, string? state)
    {
        ArgumentNullException.ThrowIfNull(previous);
        Game.TakeOverEngineState(previous.Game);
        _accumulator = previous._accumulator;
        Game.Load();
        var scene = previous.Game.CurrentSceneName is { } name && Game.HasScene(name) ? name : StartSceneName;
        if (scene is not null && Game.CurrentScene is null) Game.LoadScene(scene);
        Game.ApplyPendingScene();
        if (state is not null) Game.RestoreReloadState(state);
    }

    /// <summary>Runs one frame and returns how many fixed steps it took.</summary>
    public int Frame(float deltaTime, IEnumerable<int> keysDown, Vector2 mouse, IEnumerable<int> buttonsDown, Graphics graphics)
    {
        // A scene switch runs the new scene's Load.
        Callback = "Load";
        Game.ApplyPendingScene();
        Game.FrameNumber++;
        Game.Time += deltaTime;
        Game.Input.BeginFrame(keysDown, mouse, buttonsDown);
        return Run(deltaTime, graphics);
    }

    /// <summary>The same with lists, which the host reuses frame after frame.</summary>
    internal int Frame(float deltaTime, List<int> keysDown, Vector2 mouse, List<int> buttonsDown, Graphics graphics)
    {
        Game.ApplyPendingScene();
        Game.FrameNumber++;
        Game.Time += deltaTime;
        Game.Input.BeginFrame(keysDown, mouse, buttonsDown);
        return Run(deltaTime, graphics);
    }

    private int Run(float deltaTime, Graphics graphics)
    {
        var steps = 0;
        var fixedDelta = Game.Settings.FixedDeltaTime;
        if (fixedDelta > 0f && float.IsFinite(deltaTime) && deltaTime > 0f)
        {
            _accumulator += deltaTime;
            Callback = "FixedUpdate";
            while (_accumulator >= fixedDelta && steps < Game.MaxFixedStepsPerFrame)
            {
                Game.FixedUpdate(fixedDelta);
                _accumulator -= fixedDelta;
                steps++;
            }
            // After a stall the backlog is dropped rather than replayed in later frames.
            if (_accumulator >= fixedDelta) _accumulator %= fixedDelta;
        }
        Callback = "Update";
        Game.Update(deltaTime);
        Callback = "Draw";
        Game.Draw(graphics);
        return steps;
    }
}
