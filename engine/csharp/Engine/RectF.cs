using System.Numerics;

namespace Quorvane;

/// <summary>An axis-aligned rectangle in world units; (X, Y) is the top-left corner and Y grows downwards.</summary>
public readonly record struct RectF(float X, float Y, float Width, float Height)
{
    /// <summary>The right edge, X + Width.</summary>
    public float Right => X + Width;
    /// <summary>The bottom edge, Y + Height.</summary>
    public float Bottom => Y + Height;
    /// <summary>The centre point.</summary>
    public Vector2 Center => new(X + Width / 2f, Y + Height / 2f);

    /// <summary>True when the two rectangles overlap by more than an edge.</summary>
    public bool Intersects(RectF other) =>
        X < other.Right && other.X < Right && Y < other.Bottom && other.Y < Bottom;

    /// <summary>True when the point lies inside (left and top edges included).</summary>
    public bool Contains(Vector2 point) =>
        point.X >= X && point.X < Right && point.Y >= Y && point.Y < Bottom;

    /// <summary>The same rectangle moved by the given offset.</summary>
    public RectF Offset(float dx, float dy) => this with { X = X + dx, Y = Y + dy };
}
