namespace Quorvane;

/// <summary>
/// Base class of a game: the class named by "mainClass" in project.json. It needs a
/// public parameterless constructor, in which it registers its scenes.
/// Per frame the engine calls <see cref="FixedUpdate"/> as often as the fixed step
/// requires, then <see cref="Update"/>, then <see cref="Draw"/>. By default each of
/// these forwards to the current scene.
/// </summary>
public abstract class Game
{
    private readonly Dictionary<string, Func<Scene>> _scenes = new(StringComparer.Ordinal);
    private readonly List<string> _sceneOrder = new();
    private string? _pendingScene;

    /// <summary>Keyboard and mouse of the current frame.</summary>
    public Input Input { get; } = new();
    /// <summary>Sound effects and music.</summary>
    public Audio Audio { get; } = new();
    /// <summary>The window: title, fullscreen, cursor, size and focus.</summary>
    public GameWindow Window { get; } = new();
    /// <summary>The camera; its state is sent to the runtime every frame.</summary>
    public Camera Camera { get; } = new();
    /// <summary>What the runtime started the game with.</summary>
    public GameSettings Settings { get; internal set; } = GameSettings.Default;
    /// <summary>Seconds of game time since the start (sum of the frame deltas).</summary>
    public float Time { get; internal set; }
    /// <summary>Number of the current frame, from 1.</summary>
    public long FrameNumber { get; internal set; }
    /// <summary>The most fixed steps one frame may run; the rest of a long stall is dropped.</summary>
    public int MaxFixedStepsPerFrame { get; set; } = 5;
    /// <summary>The scene that receives updates, or null when the game has none.</summary>
    public Scene? CurrentScene { get; private set; }
    /// <summary>Name of the current scene, or null.</summary>
    public string? CurrentSceneName { get; private set; }
    /// <summary>Registered scene names, in registration order.</summary>
    public IReadOnlyList<string> SceneNames => _sceneOrder;
    /// <summary>
    /// The game's random numbers. The runtime seeds them before <see cref="Load"/> (a new
    /// seed each run, <c>--seed N</c> to choose one) and <c>--record</c> writes the seed
    /// down, so a replay draws the same numbers. Numbers drawn in the constructor come
    /// before the seed arrives and are not reproducible.
    /// </summary>
    public GameRandom Random { get; } = new(0);

    /// <summary>
    /// Hot reload (<c>--watch</c>): called on the running instance just before its code is
    /// replaced. Return a text (JSON, say) to hand to the new instance's
    /// <see cref="RestoreReloadState"/>; return null (the default) and the current scene is
    /// simply created anew. Only text crosses over, so nothing of the old code stays alive.
    /// </summary>
    public virtual string? SaveReloadState() => null;

    /// <summary>
    /// Hot reload: called on the new instance with what the old one's
    /// <see cref="SaveReloadState"/> returned, after <see cref="Load"/> and after the scene
    /// of the same name has been created, so the state can be put back into it.
    /// </summary>
    public virtual void RestoreReloadState(string state) { }

    /// <summary>True once <see cref="Quit"/> has been called.</summary>
    public bool QuitRequested { get; private set; }

    /// <summary>
    /// Ends the game after the current frame, the way closing the window does: the
    /// runtime shuts the game down and exits with code 0.
    /// </summary>
    public void Quit() => QuitRequested = true;

    /// <summary>Registers a scene; the first one registered is the default start scene.</summary>
    protected void AddScene(string name, Func<Scene> factory)
    {
        ArgumentException.ThrowIfNullOrEmpty(name);
        ArgumentNullException.ThrowIfNull(factory);
        if (!_scenes.TryAdd(name, factory)) throw new ArgumentException($"A scene named \"{name}\" is already registered.", nameof(name));
        _sceneOrder.Add(name);
    }

    /// <summary>True when a scene of that name is registered.</summary>
    public bool HasScene(string name) => _scenes.ContainsKey(name);

    /// <summary>Switches to the named scene at the start of the next frame.</summary>
    /// <exception cref="ArgumentException">No scene has that name.</exception>
    public void LoadScene(string name)
    {
        if (!HasScene(name)) throw new ArgumentException($"There is no scene named \"{name}\".", nameof(name));
        _pendingScene = name;
    }

    /// <summary>Called once when the runtime starts the game, before the start scene loads.</summary>
    public virtual void Load() { }
    /// <summary>Called once per frame; forwards to the current scene.</summary>
    public virtual void Update(float deltaTime) => CurrentScene?.Update(deltaTime);
    /// <summary>Called per fixed step; forwards to the current scene.</summary>
    public virtual void FixedUpdate(float fixedDeltaTime) => CurrentScene?.FixedUpdate(fixedDeltaTime);
    /// <summary>Called once per frame after the updates; forwards to the current scene.</summary>
    public virtual void Draw(Graphics graphics) => CurrentScene?.Draw(graphics);

    /// <summary>What a reloaded instance keeps of the one it replaces: clock, camera, input, random state.</summary>
    internal void TakeOverEngineState(Game previous)
    {
        Time = previous.Time;
        FrameNumber = previous.FrameNumber;
        MaxFixedStepsPerFrame = previous.MaxFixedStepsPerFrame;
        Camera.X = previous.Camera.X;
        Camera.Y = previous.Camera.Y;
        Camera.Zoom = previous.Camera.Zoom;
        Camera.ViewWidth = previous.Camera.ViewWidth;
        Camera.ViewHeight = previous.Camera.ViewHeight;
        Input.CopyFrom(previous.Input);
        Random.CopyFrom(previous.Random);
    }

    /// <summary>Makes a pending <see cref="LoadScene"/> take effect.</summary>
    internal void ApplyPendingScene()
    {
        if (_pendingScene is not { } name) return;
        _pendingScene = null;
        CurrentScene?.Unload();
        var scene = _scenes[name]();
        scene.Attach(this);
        CurrentScene = scene;
        CurrentSceneName = name;
        scene.Load();
    }
}
