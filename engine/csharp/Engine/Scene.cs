namespace Quorvane;

/// <summary>
/// One screen of a game (a level, a menu). Register scenes with
/// <see cref="Game.AddScene"/> and switch with <see cref="Game.LoadScene"/>.
/// </summary>
public abstract class Scene
{
    private Game? _game;

    /// <summary>The game this scene belongs to.</summary>
    public Game Game => _game ?? throw new InvalidOperationException("The scene is not attached to a game yet.");
    /// <summary>Shortcut for <c>Game.Input</c>.</summary>
    public Input Input => Game.Input;
    /// <summary>Shortcut for <c>Game.Camera</c>.</summary>
    public Camera Camera => Game.Camera;

    internal void Attach(Game game) => _game = game;

    /// <summary>Called when the scene becomes current.</summary>
    public virtual void Load() { }
    /// <summary>Called when another scene replaces this one.</summary>
    public virtual void Unload() { }
    /// <summary>Called once per frame with the frame's duration in seconds.</summary>
    public virtual void Update(float deltaTime) { }
    /// <summary>Called zero or more times per frame with the fixed step, for physics.</summary>
    public virtual void FixedUpdate(float fixedDeltaTime) { }
    /// <summary>Called once per frame after the updates.</summary>
    public virtual void Draw(Graphics graphics) { }
}
