using System.Numerics;

namespace Quorvane;

/// <summary>The buttons of a standard gamepad (the Xbox layout; A is the bottom face button).</summary>
public enum GamepadButton
{
#pragma warning disable CS1591 // the names say it all
    A, B, X, Y, LeftShoulder, RightShoulder, Back, Start, Guide, LeftStick, RightStick,
    DPadUp, DPadDown, DPadLeft, DPadRight,
#pragma warning restore CS1591
}

/// <summary>One pad's state as the runtime reported it for a frame.</summary>
internal readonly record struct GamepadState(bool Connected, uint Buttons, Vector2 LeftStick, Vector2 RightStick, float LeftTrigger, float RightTrigger)
{
    public static GamepadState Disconnected => default;
    public bool Has(GamepadButton button) => (uint)button < 32 && (Buttons & (1u << (int)button)) != 0;
}

/// <summary>
/// One gamepad slot of <see cref="Input.Gamepad"/>. A slot keeps its object; when no
/// pad is connected it reads as released and centred. Sticks are -1..1 with the
/// runtime's dead zone applied (Y positive down, like the screen); triggers 0..1.
/// </summary>
public sealed class Gamepad
{
    internal GamepadState Current;
    internal GamepadState Previous;

    internal Gamepad(int index) => Index = index;

    /// <summary>The slot number, 0 to 3.</summary>
    public int Index { get; }
    /// <summary>True while a pad is connected in this slot.</summary>
    public bool Connected => Current.Connected;
    /// <summary>True while the button is held.</summary>
    public bool IsDown(GamepadButton button) => Current.Has(button);
    /// <summary>True in the frame the button went down.</summary>
    public bool WasPressed(GamepadButton button) => Current.Has(button) && !Previous.Has(button);
    /// <summary>True in the frame the button came up (also when the pad was unplugged with it held).</summary>
    public bool WasReleased(GamepadButton button) => !Current.Has(button) && Previous.Has(button);
    /// <summary>True in the frame the pad was plugged in.</summary>
    public bool WasConnected => Current.Connected && !Previous.Connected;
    /// <summary>True in the frame the pad was unplugged.</summary>
    public bool WasDisconnected => !Current.Connected && Previous.Connected;
    /// <summary>Left stick, each axis -1..1.</summary>
    public Vector2 LeftStick => Current.LeftStick;
    /// <summary>Right stick, each axis -1..1.</summary>
    public Vector2 RightStick => Current.RightStick;
    /// <summary>Left trigger, 0 released to 1 fully pulled.</summary>
    public float LeftTrigger => Current.LeftTrigger;
    /// <summary>Right trigger, 0 released to 1 fully pulled.</summary>
    public float RightTrigger => Current.RightTrigger;

    internal void Advance(GamepadState next)
    {
        Previous = Current;
        Current = next;
    }
}
