using Quorvane;

namespace FaultyGames;

/// <summary>Draws its frame number as a white square's position, so a picture shows which frame's lines were drawn.</summary>
public abstract class FrameGame : Game
{
    /// <summary>The frame in which the game misbehaves.</summary>
    protected const int BadFrame = 3;

    public override void Draw(Graphics graphics)
    {
        graphics.FillRect(new RectF(FrameNumber % 60 * 10, 0, 10, 10), Color.White);
    }
}

public sealed class ExitGame : FrameGame
{
    public override void Update(float deltaTime)
    {
        if (FrameNumber == BadFrame) Environment.Exit(3);
    }
}

public sealed class OverflowGame : FrameGame
{
    public override void Update(float deltaTime)
    {
        if (FrameNumber == BadFrame) Recurse(1);
    }

    private static int Recurse(int depth) => depth == 0 ? 0 : Recurse(depth + 1) + 1;
}

public sealed class ThrowInLoad : FrameGame
{
    public override void Load() => throw new InvalidOperationException("thrown in Load");
}

public sealed class ThrowInUpdate : FrameGame
{
    public override void Update(float deltaTime)
    {
        if (FrameNumber == BadFrame) Explode();
    }

    private static void Explode() => throw new InvalidOperationException("thrown in Update");
}

public sealed class ThrowInFixedUpdate : FrameGame
{
    public override void FixedUpdate(float fixedDeltaTime)
    {
        if (FrameNumber >= BadFrame) throw new InvalidOperationException("thrown in FixedUpdate");
    }
}

public sealed class ThrowInDraw : FrameGame
{
    public override void Draw(Graphics graphics)
    {
        base.Draw(graphics);
        if (FrameNumber == BadFrame) throw new InvalidOperationException("thrown in Draw");
    }
}

public sealed class QuitGame : FrameGame
{
    public override void Update(float deltaTime)
    {
        if (FrameNumber == BadFrame) Quit();
    }
}

/// <summary>One Update takes 2 s; the frames after it must still draw their own lines.</summary>
public sealed class SlowGame : FrameGame
{
    public override void Update(float deltaTime)
    {
        if (FrameNumber == BadFrame) Thread.Sleep(2000);
    }
}

/// <summary>Logs each tap it sees, for the input tests.</summary>
public sealed class TapGame : FrameGame
{
    public override void Update(float deltaTime)
    {
        if (Input.WasPressed(MouseButton.Left)) Log.Info($"click in frame {FrameNumber}");
        if (Input.WasPressed(Key.Space)) Log.Info($"space in frame {FrameNumber}");
    }
}
