namespace Quorvane;

/// <summary>
/// What a frame draws. Layers, bottom to top: filled rectangles, sprites, debug
/// rectangles. Within rectangles and debug rectangles later calls cover earlier ones;
/// sprites are ordered by texture path, so give sprites that must overlap in a set
/// order textures whose paths sort that way.
/// </summary>
public sealed class Graphics
{
    private readonly LineWriter _output;

    internal Graphics(LineWriter output) => _output = output;

    /// <summary>A filled rectangle in world units.</summary>
    public void FillRect(RectF rect, Color color) => _output.Begin("RECT").Field(rect).Field(color).End();

    /// <summary>A filled rectangle in world units.</summary>
    public void FillRect(float x, float y, float width, float height, Color color) =>
        FillRect(new RectF(x, y, width, height), color);

    /// <summary>
    /// An image stretched over <paramref name="rect"/>. <paramref name="texture"/> is a
    /// path relative to the project folder (or absolute); PNG, JPEG, BMP, GIF and TGA work.
    /// When the image cannot be loaded the runtime fills the rectangle with
    /// <paramref name="fallback"/> and says so once in its log.
    /// </summary>
    /// <exception cref="ArgumentException">The path contains "|" or a line break.</exception>
    public void Sprite(string texture, RectF rect, Color fallback, bool flipX = false, bool flipY = false)
    {
        ArgumentNullException.ThrowIfNull(texture);
        if (texture.AsSpan().IndexOfAny("|\r\n") >= 0)
        {
            throw new ArgumentException($"A texture path cannot contain '|' or a line break: \"{texture}\".", nameof(texture));
        }
        _output.Begin("SPRITE").Field(rect).Field(fallback).Field(texture).Field(flipX).Field(flipY).End();
    }

    /// <summary>A rectangle outline, 2 pixels wide, drawn above everything else.</summary>
    public void DebugRect(RectF rect, Color color) => _output.Begin("DEBUG_RECT").Field(rect).Field(color).End();

    /// <summary>Reports a collider of this frame to the runtime (it is not drawn).</summary>
    public void Collider(int id, RectF rect) => _output.Begin("COLLIDER").Field(id).Field(rect).End();

    internal void Camera(Camera camera) =>
        _output.Begin("CAMERA").Field(camera.X).Field(camera.Y).Field(camera.Zoom)
               .Field(camera.ViewWidth).Field(camera.ViewHeight).End();
}
