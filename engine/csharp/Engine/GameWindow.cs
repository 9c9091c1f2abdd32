using System.Numerics;

namespace Quorvane;

/// <summary>
/// The game's window. Changes are sent to the runtime at the end of the frame and take
/// effect before the next one; the getters show a change at once.
/// </summary>
public sealed class GameWindow
{
    private string _title = string.Empty;
    private bool _fullscreen;
    private bool _cursorVisible = true;
    private bool _fullscreenShortcut = true;
    private string? _pendingTitle;
    private bool? _pendingFullscreen;
    private bool? _pendingCursor;
    private bool? _pendingShortcut;

    /// <summary>The title bar text.</summary>
    public string Title
    {
        get => _title;
        set
        {
            _title = value ?? string.Empty;
            _pendingTitle = _title;
        }
    }

    /// <summary>Desktop fullscreen (the window covers the screen at the screen's resolution).</summary>
    public bool Fullscreen
    {
        get => _fullscreen;
        set
        {
            _fullscreen = value;
            _pendingFullscreen = value;
        }
    }

    /// <summary>Whether the mouse cursor shows over the window.</summary>
    public bool CursorVisible
    {
        get => _cursorVisible;
        set
        {
            _cursorVisible = value;
            _pendingCursor = value;
        }
    }

    /// <summary>Whether Alt+Enter and F11 toggle fullscreen (on by default). When off, F11
    /// reaches the game as a key.</summary>
    public bool FullscreenShortcut
    {
        get => _fullscreenShortcut;
        set
        {
            _fullscreenShortcut = value;
            _pendingShortcut = value;
        }
    }

    /// <summary>The client area in window pixels (under a scale mode the game still draws
    /// and sees the mouse in the configured width x height).</summary>
    public Vector2 Size { get; private set; }

    /// <summary>False while another window has the keyboard; held keys read as released then.</summary>
    public bool Focused { get; private set; } = true;

    /// <summary>True in the frame the window lost the focus.</summary>
    public bool LostFocus { get; private set; }

    /// <summary>The runtime's report for the coming frame.</summary>
    internal void Report(Vector2 size, bool fullscreen, bool focused)
    {
        Size = size;
        LostFocus = Focused && !focused;
        Focused = focused;
        // A change the game asked for and the runtime has not applied yet wins.
        if (_pendingFullscreen is null) _fullscreen = fullscreen;
    }

    internal void ReportTitle(string title)
    {
        if (_pendingTitle is null) _title = title;
    }

    /// <summary>The frame's window requests as extended lines, each once.</summary>
    internal void WriteRequests(LineWriter lines)
    {
        if (_pendingTitle is { } title) lines.Begin("XTITLE").EscapedTail(title).End();
        if (_pendingFullscreen is { } fullscreen) lines.Raw(fullscreen ? "XFULLSCREEN|1" : "XFULLSCREEN|0");
        if (_pendingCursor is { } cursor) lines.Raw(cursor ? "XCURSOR|1" : "XCURSOR|0");
        if (_pendingShortcut is { } shortcut) lines.Raw(shortcut ? "XFULLSCREEN_TOGGLE|1" : "XFULLSCREEN_TOGGLE|0");
        _pendingTitle = null;
        _pendingFullscreen = null;
        _pendingCursor = null;
        _pendingShortcut = null;
    }
}
