using System.Numerics;

namespace Quorvane;

/// <summary>How <see cref="Graphics.Sprite(string, RectF, SpriteOptions)"/> draws an image.</summary>
public record struct SpriteOptions()
{
    /// <summary>The part of the texture to draw, in texture pixels (whole numbers; sprite sheets,
    /// atlases, animation frames); null for the whole image. Texels outside the image are transparent.</summary>
    public RectF? Source { get; set; } = null;
    /// <summary>Turn in radians; a positive angle turns clockwise on screen.</summary>
    public float Rotation { get; set; } = 0f;
    /// <summary>The pivot of the turn, relative to the rectangle's top-left corner, in the
    /// rectangle's units; null for its centre.</summary>
    public Vector2? Origin { get; set; } = null;
    /// <summary>Multiplied with every texel, alpha included; white draws the image as it is.
    /// A missing texture is drawn as the rectangle in this colour.</summary>
    public Color Tint { get; set; } = Color.White;
    /// <summary>Mirror left to right within the same rectangle.</summary>
    public bool FlipX { get; set; } = false;
    /// <summary>Mirror top to bottom within the same rectangle.</summary>
    public bool FlipY { get; set; } = false;
    /// <summary>Draw order: lower layers first; within a layer, call order.</summary>
    public int Layer { get; set; } = 0;
    /// <summary>Bilinear sampling instead of the nearest texel (which keeps pixel art crisp).</summary>
    public bool Smooth { get; set; } = false;
}

/// <summary>Where each line of a text starts from its x coordinate.</summary>
public enum TextAlign
{
    /// <summary>x is the left edge of each line.</summary>
    Left = 0,
    /// <summary>x is the centre of each line.</summary>
    Center = 1,
    /// <summary>x is the right edge of each line.</summary>
    Right = 2,
}
