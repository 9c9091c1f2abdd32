using System.Numerics;

namespace Quorvane;

/// <summary>
/// What part of the world the window shows. (X, Y) is the world point at the top-left
/// corner of the window; one world unit covers <see cref="Zoom"/> pixels.
/// </summary>
public sealed class Camera
{
    /// <summary>World x at the left edge of the view.</summary>
    public float X { get; set; }
    /// <summary>World y at the top edge of the view.</summary>
    public float Y { get; set; }
    /// <summary>Screen pixels per world unit; values of 0.01 or less are drawn as 1.</summary>
    public float Zoom { get; set; } = 1f;
    /// <summary>Width of the view in pixels; things outside it are not drawn.</summary>
    public float ViewWidth { get; set; } = 1280f;
    /// <summary>Height of the view in pixels.</summary>
    public float ViewHeight { get; set; } = 720f;

    /// <summary>Width of the visible world, in world units.</summary>
    public float WorldWidth => ViewWidth / Zoom;
    /// <summary>Height of the visible world, in world units.</summary>
    public float WorldHeight => ViewHeight / Zoom;

    /// <summary>Places the camera so that the world point is in the middle of the view.</summary>
    public void CenterOn(Vector2 point)
    {
        X = point.X - WorldWidth / 2f;
        Y = point.Y - WorldHeight / 2f;
    }

    /// <summary>
    /// Moves the view's centre part of the way towards the point: smoothing 0 jumps
    /// there, values near 1 follow lazily. Framerate-independent through <paramref name="deltaTime"/>.
    /// </summary>
    public void Follow(Vector2 point, float deltaTime, float smoothing = 0.9f)
    {
        var t = 1f - MathF.Pow(Math.Clamp(smoothing, 0f, 0.9999f), deltaTime * 60f);
        var centre = new Vector2(X + WorldWidth / 2f, Y + WorldHeight / 2f);
        CenterOn(Vector2.Lerp(centre, point, t));
    }

    /// <summary>Keeps the view inside the given world rectangle (when it fits).</summary>
    public void ClampTo(RectF bounds)
    {
        X = WorldWidth >= bounds.Width ? bounds.X : Math.Clamp(X, bounds.X, bounds.Right - WorldWidth);
        Y = WorldHeight >= bounds.Height ? bounds.Y : Math.Clamp(Y, bounds.Y, bounds.Bottom - WorldHeight);
    }

    /// <summary>Turns a window pixel position (such as the mouse) into a world position.</summary>
    public Vector2 ScreenToWorld(Vector2 screen) => new(X + screen.X / Zoom, Y + screen.Y / Zoom);
}
