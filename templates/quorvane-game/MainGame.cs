using Quorvane;

namespace QuorvaneGame;

/// <summary>The game: project.json names this class; its scenes are registered here.</summary>
public sealed class MainGame : Game
{
    public MainGame()
    {
        AddScene("Play", () => new PlayScene());
    }
}
