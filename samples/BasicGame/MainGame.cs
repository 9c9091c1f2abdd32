using Quorvane;

namespace BasicGame;

/// <summary>
/// A tiny platformer: run and jump with the arrow keys or WASD (Space jumps too),
/// collect every coin, then touch the flag. Left click drops a crate you can stand
/// on, right click removes one. F1 or C shows colliders, Z zooms.
/// </summary>
public sealed class MainGame : Game
{
    public MainGame()
    {
        AddScene("Level1", () => new LevelScene("Level1", Levels.First, next: "Level2"));
        AddScene("Level2", () => new LevelScene("Level2", Levels.Second, next: "Level1"));
    }

    /// <summary>Shared by the levels: whether collider outlines are shown.</summary>
    public bool ShowColliders { get; set; }

    public override void Load()
    {
        Log.Info("BasicGame: arrows/WASD to move, Space to jump, click to drop a crate, F1 for colliders, Z to zoom.");
    }

    public override void Update(float deltaTime)
    {
        if (Input.WasPressed(Key.F1) || Input.WasPressed(Key.C))
        {
            ShowColliders = !ShowColliders;
            Log.Info(ShowColliders ? "Colliders shown." : "Colliders hidden.");
        }
        if (Input.WasPressed(Key.Z))
        {
            Camera.Zoom = Camera.Zoom > 1f ? 1f : 1.5f;
            Log.Info($"Zoom {Camera.Zoom:0.0}x.");
        }
        base.Update(deltaTime);
    }
}
