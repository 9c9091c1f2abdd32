namespace Quorvane;

/// <summary>
/// Keyboard keys. The values are the Windows virtual-key codes the runtime sends on
/// every platform, so <c>(Key)65</c> is <see cref="A"/>.
/// Shift and Control are reported as one key each (no left/right distinction); Alt,
/// F10 and keys pressed while Alt is held are never reported.
/// </summary>
public enum Key
{
#pragma warning disable CS1591 // the names say it all
    Backspace = 8, Tab = 9, Enter = 13, Shift = 16, Control = 17, Pause = 19, CapsLock = 20,
    Escape = 27, Space = 32, PageUp = 33, PageDown = 34, End = 35, Home = 36,
    Left = 37, Up = 38, Right = 39, Down = 40, PrintScreen = 44, Insert = 45, Delete = 46,
    D0 = 48, D1, D2, D3, D4, D5, D6, D7, D8, D9,
    A = 65, B, C, D, E, F, G, H, I, J, K, L, M, N, O, P, Q, R, S, T, U, V, W, X, Y, Z,
    NumPad0 = 96, NumPad1, NumPad2, NumPad3, NumPad4, NumPad5, NumPad6, NumPad7, NumPad8, NumPad9,
    Multiply = 106, Add = 107, Separator = 108, Subtract = 109, Decimal = 110, Divide = 111,
    F1 = 112, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12,
    NumLock = 144, ScrollLock = 145,
    Semicolon = 186, Plus = 187, Comma = 188, Minus = 189, Period = 190, Slash = 191, Backquote = 192,
    OpenBracket = 219, Backslash = 220, CloseBracket = 221, Quote = 222,
#pragma warning restore CS1591
}

/// <summary>Mouse buttons, numbered as the runtime reports them.</summary>
public enum MouseButton
{
    /// <summary>The primary button.</summary>
    Left = 0,
    /// <summary>The secondary button.</summary>
    Right = 1,
    /// <summary>The wheel button.</summary>
    Middle = 2,
}
