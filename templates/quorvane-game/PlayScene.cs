using System.Numerics;
using Quorvane;

namespace QuorvaneGame;

/// <summary>A player that walks with the arrow keys (or WASD) across a floor, with sparks from Game.Random.</summary>
public sealed class PlayScene : Scene
{
    private const float Speed = 240f;
    private Vector2 _player = new(100, 380);
    private readonly List<Vector2> _sparks = new();

    public override void Load()
    {
        Log.Info("Play: arrow keys or WASD move the player.");
        for (var i = 0; i < 12; i++)
        {
            _sparks.Add(new Vector2(Game.Random.Range(0, 960), Game.Random.Range(20, 300)));
        }
    }

    public override void FixedUpdate(float fixedDeltaTime)
    {
        var x = Game.Input.Axis(Key.Left, Key.Right) + Game.Input.Axis(Key.A, Key.D);
        var y = Game.Input.Axis(Key.Up, Key.Down) + Game.Input.Axis(Key.W, Key.S);
        var move = new Vector2(Math.Clamp(x, -1, 1), Math.Clamp(y, -1, 1));
        _player += move * Speed * fixedDeltaTime;
        _player = Vector2.Clamp(_player, new Vector2(0, 0), new Vector2(960 - 32, 420 - 38));
        // The sparks drift down the sky and come back at the top.
        for (var i = 0; i < _sparks.Count; i++)
        {
            var spark = _sparks[i] + new Vector2(0, 30 * fixedDeltaTime);
            _sparks[i] = spark.Y > 410 ? new Vector2(Game.Random.Range(0, 960), 0) : spark;
        }
    }

    public override void Draw(Graphics graphics)
    {
        graphics.FillRect(new RectF(0, 420, 960, 120), Color.FromHex("#3c6e3c"));
        foreach (var spark in _sparks)
        {
            graphics.FillRect(new RectF(spark.X, spark.Y, 4, 4), Color.FromHex("#f0e68c"));
        }
        graphics.Sprite("assets/player.png", new RectF(_player.X, _player.Y, 32, 38), Color.FromHex("#dc3c3c"));
        graphics.Screen.DrawText($"Time {Game.Time:0.0}", 10, 10, 20, Color.White);
    }
}
