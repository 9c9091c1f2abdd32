using System.Numerics;

namespace Quorvane;

/// <summary>
/// What a frame draws, in world units under the camera; <see cref="Screen"/> draws in
/// window pixels. Order, bottom to top: world drawables of layers below 0; then the
/// calls without a layer or options (opaque <see cref="FillRect(RectF, Color, int)"/> at
/// layer 0 in call order, then <see cref="Sprite(string, RectF, Color, bool, bool)"/>
/// sorted by texture path); then the other world drawables of layer 0 and above, by
/// layer and within a layer in call order; then <see cref="DebugRect(RectF, Color)"/>
/// outlines; last everything drawn through <see cref="Screen"/>, by layer and call order.
/// </summary>
public sealed class Graphics
{
    private readonly LineWriter _output;
    private readonly DrawCommands _world;

    private readonly PathIds? _paths;

    /// <param name="output">Where the lines go.</param>
    /// <param name="projectFolder">Base of font paths, for measuring.</param>
    /// <param name="pathIds">The runtime accepts short ids for texture paths ("paths" extension).</param>
    internal Graphics(LineWriter output, string? projectFolder = null, bool pathIds = false)
    {
        _output = output;
        _paths = pathIds ? new PathIds(output) : null;
        var fonts = new FontLibrary(projectFolder);
        _world = new DrawCommands(output, fonts, space: 0, _paths);
        Screen = new ScreenGraphics(new DrawCommands(output, fonts, space: 1, _paths));
    }

    /// <summary>Drawing in window pixels, unaffected by the camera: HUDs and menus.</summary>
    public ScreenGraphics Screen { get; }

    /// <summary>A filled rectangle in world units; a translucent colour blends over what lies below.</summary>
    public void FillRect(RectF rect, Color color, int layer = 0)
    {
        if (color.A == 255 && layer == 0) _output.Begin("RECT").Field(rect).Field(color).End();
        else _world.Rect("XRECT", rect, color, layer);
    }

    /// <summary>A filled rectangle in world units.</summary>
    public void FillRect(float x, float y, float width, float height, Color color, int layer = 0) =>
        FillRect(new RectF(x, y, width, height), color, layer);

    /// <summary>
    /// An image stretched over <paramref name="rect"/>. <paramref name="texture"/> is a
    /// path relative to the project folder (or absolute); PNG, JPEG, BMP, GIF and TGA work.
    /// When the image cannot be loaded the runtime fills the rectangle with
    /// <paramref name="fallback"/> and says so once in its log. These sprites are ordered
    /// by texture path; use <see cref="Sprite(string, RectF, SpriteOptions)"/> for layers.
    /// </summary>
    /// <exception cref="ArgumentException">The path contains "|" or a line break.</exception>
    public void Sprite(string texture, RectF rect, Color fallback, bool flipX = false, bool flipY = false)
    {
        // A path that already has an id passed the check then (strings do not change).
        if (_paths is null || !_paths.TryGetRecent(texture, out var id))
        {
            DrawCommands.CheckPath(texture, nameof(texture));
            id = _paths?.Get(texture) ?? -1;
        }
        _output.Begin("SPRITE"u8).Field(rect).Field(fallback).Texture(texture, id).Field(flipX).Field(flipY).End();
    }

    /// <summary>An image with a source rectangle, rotation, tint, flips, layer and sampling.</summary>
    /// <exception cref="ArgumentException">The path contains "|" or a line break.</exception>
    public void Sprite(string texture, RectF rect, SpriteOptions options) => _world.Sprite(texture, rect, options);

    /// <summary>
    /// Text in world units: x is the left edge, centre or right edge of each line (see
    /// <paramref name="align"/>), y the top of the first line, <paramref name="size"/> the
    /// height of a line from ascent to descent. "\n" breaks lines. <paramref name="font"/> is
    /// a .ttf or .otf file relative to the project folder; null for the default font.
    /// </summary>
    public void DrawText(string text, float x, float y, float size, Color color, TextAlign align = TextAlign.Left,
        string? font = null, int layer = 0) => _world.Text(text, x, y, size, color, align, font, layer);

    /// <summary>Width (widest line) and height of a text as it will be drawn.</summary>
    public Vector2 MeasureText(string text, float size, string? font = null) => _world.Measure(text, size, font);

    /// <summary>A rectangle outline, 2 pixels wide, drawn above every other world drawable.</summary>
    public void DebugRect(RectF rect, Color color) => _output.Begin("DEBUG_RECT").Field(rect).Field(color).End();

    /// <summary>A rectangle outline, 2 pixels wide, on a layer of its own choosing.</summary>
    public void DebugRect(RectF rect, Color color, int layer) => _world.Rect("XDEBUG_RECT", rect, color, layer);

    /// <summary>Reports a collider of this frame to the runtime (it is not drawn).</summary>
    public void Collider(int id, RectF rect) => _output.Begin("COLLIDER").Field(id).Field(rect).End();

    internal void Camera(Camera camera) =>
        _output.Begin("CAMERA").Field(camera.X).Field(camera.Y).Field(camera.Zoom)
               .Field(camera.ViewWidth).Field(camera.ViewHeight).End();
}

/// <summary>Drawing in window pixels, above everything drawn in the world.</summary>
public sealed class ScreenGraphics
{
    private readonly DrawCommands _commands;

    internal ScreenGraphics(DrawCommands commands) => _commands = commands;

    /// <summary>A filled rectangle in window pixels.</summary>
    public void FillRect(RectF rect, Color color, int layer = 0) => _commands.Rect("XRECT", rect, color, layer);

    /// <summary>A filled rectangle in window pixels.</summary>
    public void FillRect(float x, float y, float width, float height, Color color, int layer = 0) =>
        FillRect(new RectF(x, y, width, height), color, layer);

    /// <summary>An image in window pixels (see <see cref="Graphics.Sprite(string, RectF, SpriteOptions)"/>).</summary>
    public void Sprite(string texture, RectF rect, SpriteOptions options) => _commands.Sprite(texture, rect, options);

    /// <summary>An image stretched over a rectangle in window pixels.</summary>
    public void Sprite(string texture, RectF rect) => _commands.Sprite(texture, rect, new SpriteOptions());

    /// <summary>Text in window pixels (see <see cref="Graphics.DrawText"/>).</summary>
    public void DrawText(string text, float x, float y, float size, Color color, TextAlign align = TextAlign.Left,
        string? font = null, int layer = 0) => _commands.Text(text, x, y, size, color, align, font, layer);

    /// <summary>Width (widest line) and height of a text as it will be drawn, in pixels.</summary>
    public Vector2 MeasureText(string text, float size, string? font = null) => _commands.Measure(text, size, font);
}

/// <summary>The extended drawing lines of one space (0 world, 1 screen).</summary>
internal sealed class DrawCommands
{
    private readonly LineWriter _output;
    private readonly FontLibrary _fonts;
    private readonly int _space;
    private readonly PathIds? _paths;

    public DrawCommands(LineWriter output, FontLibrary fonts, int space, PathIds? paths = null)
    {
        _output = output;
        _fonts = fonts;
        _space = space;
        _paths = paths;
    }

    public static void CheckPath(string? path, string name)
    {
        ArgumentNullException.ThrowIfNull(path, name);
        if (path.AsSpan().IndexOfAny("|\r\n") >= 0)
        {
            throw new ArgumentException($"A path cannot contain '|' or a line break: \"{path}\".", name);
        }
    }

    public void Rect(string tag, RectF rect, Color color, int layer) =>
        _output.Begin(tag).Field(layer).Field(_space).Field(rect).FieldWithAlpha(color).End();

    public void Sprite(string texture, RectF rect, SpriteOptions options)
    {
        CheckPath(texture, nameof(texture));
        var source = options.Source ?? default;
        var origin = options.Origin ?? default;
        var flags = (options.FlipX ? 1 : 0) | (options.FlipY ? 2 : 0) | (options.Smooth ? 4 : 0)
            | (options.Source.HasValue ? 8 : 0) | (options.Origin.HasValue ? 16 : 0);
        var id = _paths?.Get(texture) ?? -1;
        _output.Begin("XSPRITE").Field(options.Layer).Field(_space).Field(rect).FieldWithAlpha(options.Tint)
            .Field(flags).Field(source).Field(options.Rotation).Field(origin.X).Field(origin.Y).Texture(texture, id).End();
    }

    public void Text(string text, float x, float y, float size, Color color, TextAlign align, string? font, int layer)
    {
        ArgumentNullException.ThrowIfNull(text);
        if (font is not null) CheckPath(font, nameof(font));
        _output.Begin("XTEXT").Field(layer).Field(_space).Field(x).Field(y).Field(size).FieldWithAlpha(color)
            .Field((int)align).Field(font ?? string.Empty).EscapedTail(text).End();
    }

    public Vector2 Measure(string text, float size, string? font)
    {
        ArgumentNullException.ThrowIfNull(text);
        return _fonts.Get(font).Measure(text, size);
    }
}

/// <summary>Fonts by path, read once; a font that cannot be read measures as the default
/// font, which is also what the runtime draws it with.</summary>
internal sealed class FontLibrary
{
    private readonly string _folder;
    private readonly Dictionary<string, FontMetrics> _fonts = new(StringComparer.Ordinal);

    public FontLibrary(string? projectFolder) => _folder = projectFolder ?? Environment.CurrentDirectory;

    public FontMetrics Get(string? path)
    {
        if (string.IsNullOrEmpty(path)) return FontMetrics.Default;
        if (_fonts.TryGetValue(path, out var font)) return font;
        try
        {
            font = FontMetrics.Parse(File.ReadAllBytes(Path.Combine(_folder, path))) ?? FontMetrics.Default;
        }
        catch (Exception error) when (error is IOException or UnauthorizedAccessException or ArgumentException
                                      or NotSupportedException)
        {
            font = FontMetrics.Default;
        }
        if (_fonts.Count < 64) _fonts[path] = font;
        return font;
    }
}

/// <summary>
/// Short ids for texture paths ("paths" extension): the first use of a path sends
/// "XPATH|id|path", later lines carry "#id". Up to 65,536 paths get ids; beyond that
/// paths are sent as they are.
/// </summary>
internal sealed class PathIds
{
    private const int MaxIds = 65536;
    private readonly LineWriter _output;
    private readonly Dictionary<string, int> _ids = new(StringComparer.Ordinal);
    // Games pass the same string objects frame after frame: a reference check
    // skips hashing the path.
    private string? _lastPath;
    private int _lastId = -1;

    // The last few paths by reference: games cycle over a handful of textures, which a
    // single last-path check misses every time.
    private readonly string?[] _recentPaths = new string?[4];
    private readonly int[] _recentIds = new int[4];
    private int _nextRecent;

    public PathIds(LineWriter output) => _output = output;

    /// <summary>The id of a path that was recently given one, without hashing it.</summary>
    public bool TryGetRecent(string path, out int id)
    {
        var paths = _recentPaths;
        // Empty slots are null: a null path must still reach the check and throw.
        if (path is null)
        {
            id = -1;
            return false;
        }
        for (var i = 0; i < paths.Length; i++)
        {
            if (ReferenceEquals(paths[i], path))
            {
                id = _recentIds[i];
                return true;
            }
        }
        id = -1;
        return false;
    }

    /// <summary>The id of the path (declaring it first if new), or -1 to send the path itself.</summary>
    public int Get(string path)
    {
        if (ReferenceEquals(path, _lastPath)) return _lastId;
        if (!_ids.TryGetValue(path, out var id))
        {
            if (_ids.Count >= MaxIds) return -1;
            id = _ids.Count;
            _ids.Add(path, id);
            _output.Begin("XPATH").Field(id).Field(path).End();
        }
        _lastPath = path;
        _lastId = id;
        _recentPaths[_nextRecent] = path;
        _recentIds[_nextRecent] = id;
        _nextRecent = (_nextRecent + 1) & 3;
        return id;
    }
}
