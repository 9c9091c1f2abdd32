using System.Numerics;

namespace Quorvane;

/// <summary>
/// Keyboard and mouse as of the current frame. "Down" is a level; "pressed" and
/// "released" are edges that hold for exactly the one frame in which they happened.
/// </summary>
public sealed class Input
{
    private readonly bool[] _keys = new bool[256];
    private readonly bool[] _previousKeys = new bool[256];
    private readonly bool[] _buttons = new bool[8];
    private readonly bool[] _previousButtons = new bool[8];
    private readonly Gamepad[] _gamepads = { new(0), new(1), new(2), new(3) };
    private readonly Gamepad _noGamepad = new(-1);
    private readonly GamepadState[] _nextGamepads = new GamepadState[MaxGamepads];
    private Vector2 _nextWheel;
    private string _nextText = string.Empty;

    /// <summary>How many gamepad slots there are.</summary>
    public const int MaxGamepads = 4;

    /// <summary>The cursor in window pixels from the top-left corner of the client area.</summary>
    public Vector2 MousePosition { get; private set; }

    /// <summary>This frame's mouse wheel notches: X to the right, Y away from the user (scrolling up).</summary>
    public Vector2 MouseWheel { get; private set; }

    /// <summary>The text typed this frame (UTF-16 of the system's text input, so keyboard
    /// layouts and dead keys work); empty when none.</summary>
    public string TextTyped { get; private set; } = string.Empty;

    /// <summary>The gamepad in slot <paramref name="index"/> (0 to 3, in the order pads were
    /// plugged in). Any other index gives a pad that is never connected.</summary>
    public Gamepad Gamepad(int index) => (uint)index < MaxGamepads ? _gamepads[index] : _noGamepad;

    /// <summary>True while the key is held.</summary>
    public bool IsDown(Key key) => Get(_keys, (int)key);
    /// <summary>True in the frame the key went down.</summary>
    public bool WasPressed(Key key) => Get(_keys, (int)key) && !Get(_previousKeys, (int)key);
    /// <summary>True in the frame the key came up.</summary>
    public bool WasReleased(Key key) => !Get(_keys, (int)key) && Get(_previousKeys, (int)key);

    /// <summary>True while the button is held.</summary>
    public bool IsDown(MouseButton button) => Get(_buttons, (int)button);
    /// <summary>True in the frame the button went down.</summary>
    public bool WasPressed(MouseButton button) => Get(_buttons, (int)button) && !Get(_previousButtons, (int)button);
    /// <summary>True in the frame the button came up.</summary>
    public bool WasReleased(MouseButton button) => !Get(_buttons, (int)button) && Get(_previousButtons, (int)button);

    /// <summary>-1, 0 or 1 from a pair of keys, e.g. <c>Axis(Key.Left, Key.Right)</c>.</summary>
    public float Axis(Key negative, Key positive) => (IsDown(positive) ? 1f : 0f) - (IsDown(negative) ? 1f : 0f);

    /// <summary>A reloaded game keeps what was held, so a held key shows no new press.</summary>
    internal void CopyFrom(Input other)
    {
        Array.Copy(other._keys, _keys, _keys.Length);
        Array.Copy(other._previousKeys, _previousKeys, _keys.Length);
        Array.Copy(other._buttons, _buttons, _buttons.Length);
        Array.Copy(other._previousButtons, _previousButtons, _buttons.Length);
        MousePosition = other.MousePosition;
    }

    /// <summary>Starts a new frame with the runtime's report of what is held.</summary>
    internal void BeginFrame(IEnumerable<int> keysDown, Vector2 mouse, IEnumerable<int> buttonsDown)
    {
        StartFrame(mouse);
        foreach (var key in keysDown) Set(_keys, key);
        foreach (var button in buttonsDown) Set(_buttons, button);
    }

    /// <summary>The same from lists, enumerated without boxing: the host's steady path.</summary>
    internal void BeginFrame(List<int> keysDown, Vector2 mouse, List<int> buttonsDown)
    {
        StartFrame(mouse);
        foreach (var key in keysDown) Set(_keys, key);
        foreach (var button in buttonsDown) Set(_buttons, button);
    }

    private void StartFrame(Vector2 mouse)
    {
        Array.Copy(_keys, _previousKeys, _keys.Length);
        Array.Copy(_buttons, _previousButtons, _buttons.Length);
        Array.Clear(_keys);
        Array.Clear(_buttons);
        MousePosition = mouse;
        MouseWheel = _nextWheel;
        TextTyped = _nextText;
        _nextWheel = Vector2.Zero;
        _nextText = string.Empty;
        for (var i = 0; i < MaxGamepads; i++)
        {
            _gamepads[i].Advance(_nextGamepads[i]);
            _nextGamepads[i] = GamepadState.Disconnected;
        }
    }

    /// <summary>What the runtime's input lines said about the coming frame; used by its BeginFrame.
    /// Pads not set stay disconnected for that frame.</summary>
    internal void SetNextFrame(Vector2 wheel, string text)
    {
        _nextWheel = wheel;
        _nextText = text;
    }

    internal void SetNextGamepad(int index, GamepadState state)
    {
        if ((uint)index < MaxGamepads) _nextGamepads[index] = state;
    }

    private static bool Get(bool[] table, int index) => (uint)index < (uint)table.Length && table[index];

    private static void Set(bool[] table, int index)
    {
        if ((uint)index < (uint)table.Length) table[index] = true;
    }
}
