using Quorvane;

namespace BasicGame;

/// <summary>
/// A tiny platformer: run and jump with the arrow keys or WASD (Space jumps too),
/// collect every coin, then touch the flag. Left click drops a crate you can stand
/// on, right click removes one. F1 or C shows colliders, Z zooms, P or Escape pauses
/// (the pause menu resumes, restarts the level or quits).
/// </summary>
public sealed class MainGame : Game
{
    private static readonly string[] PauseItems = { "Resume", "Restart level", "Quit" };

    private enum Mode { Title, Playing, Paused }

    private Mode _mode = Mode.Title;
    private int _pauseSelection;

    public MainGame()
    {
        AddScene("Level1", () => new LevelScene("Level1", Levels.First, next: "Level2"));
        AddScene("Level2", () => new LevelScene("Level2", Levels.Second, next: "Level1"));
    }

    /// <summary>Shared by the levels: whether collider outlines are shown.</summary>
    public bool ShowColliders { get; set; }

    /// <summary>Seconds of play: stands still on the title screen and while paused.</summary>
    public float PlayTime { get; private set; }

    public override void Load()
    {
        Log.Info("BasicGame: arrows/WASD or a gamepad to move, Space or A to jump, click to drop a crate, F1 for colliders, Z to zoom, P or Start to pause.");
        // Streamed from disk and looped; it fades in so the first frame does not start with a jolt.
        Audio.PlayMusic("assets/sounds/music.ogg", loop: true, volume: 0.5f, fadeInSeconds: 1f);
        foreach (var sound in new[] { "jump.wav", "coin.wav", "crate.wav", "win.ogg" }) Audio.Preload("assets/sounds/" + sound);
    }

    public override void Update(float deltaTime)
    {
        switch (_mode)
        {
            case Mode.Title:
                if (Input.WasPressed(Key.Enter) || Input.WasPressed(Key.Space) ||
                    Pads.Pressed(Input, GamepadButton.A) || Pads.Pressed(Input, GamepadButton.Start))
                {
                    _mode = Mode.Playing;
                    Log.Info("Game started.");
                }
                return;
            case Mode.Paused:
                UpdatePauseMenu();
                return;
        }
        // A game that keeps running behind another window loses lives nobody saw.
        if (Input.WasPressed(Key.P) || Input.WasPressed(Key.Escape) || Pads.Pressed(Input, GamepadButton.Start) || !Window.Focused)
        {
            _mode = Mode.Paused;
            Audio.PauseMusic(0.3f);
            _pauseSelection = 0;
            Log.Info(Window.Focused ? "Paused." : "Paused: the window lost the focus.");
            return;
        }
        if (Input.WasPressed(Key.F1) || Input.WasPressed(Key.C))
        {
            ShowColliders = !ShowColliders;
            Log.Info(ShowColliders ? "Colliders shown." : "Colliders hidden.");
        }
        if (Input.WasPressed(Key.Z))
        {
            Camera.Zoom = Camera.Zoom > 1f ? 1f : 1.5f;
            Log.Info($"Zoom {Camera.Zoom:0.0}x.");
        }
        PlayTime += deltaTime;
        base.Update(deltaTime);
    }

    public override void FixedUpdate(float fixedDeltaTime)
    {
        if (_mode == Mode.Playing) base.FixedUpdate(fixedDeltaTime);
    }

    public override void Draw(Graphics graphics)
    {
        base.Draw(graphics);
        if (_mode == Mode.Title) DrawTitle(graphics.Screen);
        else if (_mode == Mode.Paused) DrawPauseMenu(graphics.Screen);
    }

    private void Resume()
    {
        _mode = Mode.Playing;
        Audio.ResumeMusic(0.3f);
    }

    private void UpdatePauseMenu()
    {
        // Resuming needs the focus back: a key pressed elsewhere never reaches us anyway.
        if (!Window.Focused) return;
        if (Input.WasPressed(Key.P) || Input.WasPressed(Key.Escape) || Pads.Pressed(Input, GamepadButton.Start) ||
            Pads.Pressed(Input, GamepadButton.B))
        {
            Resume();
            return;
        }
        if (Input.WasPressed(Key.Up) || Input.WasPressed(Key.W) || Pads.Pressed(Input, GamepadButton.DPadUp))
        {
            _pauseSelection = (_pauseSelection + PauseItems.Length - 1) % PauseItems.Length;
        }
        if (Input.WasPressed(Key.Down) || Input.WasPressed(Key.S) || Pads.Pressed(Input, GamepadButton.DPadDown))
        {
            _pauseSelection = (_pauseSelection + 1) % PauseItems.Length;
        }
        if (!Input.WasPressed(Key.Enter) && !Input.WasPressed(Key.Space) && !Pads.Pressed(Input, GamepadButton.A)) return;
        switch (PauseItems[_pauseSelection])
        {
            case "Resume":
                Resume();
                break;
            case "Restart level":
                Resume();
                LoadScene(CurrentSceneName!);
                break;
            case "Quit":
                Quit();
                break;
        }
    }

    private void DrawTitle(ScreenGraphics screen)
    {
        var (width, height) = (Camera.ViewWidth, Camera.ViewHeight);
        screen.FillRect(width / 2 - 330, height / 2 - 170, 660, 250, new Color(16, 20, 36, 200));
        screen.DrawText("BasicGame", width / 2, height / 2 - 150, 96, Color.FromHex("#ffd740"), TextAlign.Center);
        screen.DrawText("Collect every coin, then touch the flag.\nArrows or WASD run, Space jumps, P pauses.",
            width / 2, height / 2 - 30, 24, Color.White, TextAlign.Center);
        // Blinks by frame, not by clock, so the title screen is the same picture every run.
        if (FrameNumber / 30 % 2 == 0)
        {
            screen.DrawText("Press Enter to start", width / 2, height / 2 + 40, 22, Color.FromHex("#69f0ae"), TextAlign.Center);
        }
    }

    private void DrawPauseMenu(ScreenGraphics screen)
    {
        var (width, height) = (Camera.ViewWidth, Camera.ViewHeight);
        screen.FillRect(0, 0, width, height, new Color(0, 0, 0, 140));
        screen.DrawText("Paused", width / 2, height / 2 - 120, 64, Color.White, TextAlign.Center);
        for (var i = 0; i < PauseItems.Length; i++)
        {
            var selected = i == _pauseSelection;
            var label = selected ? $"> {PauseItems[i]} <" : PauseItems[i];
            screen.DrawText(label, width / 2, height / 2 - 10 + i * 44, 30,
                selected ? Color.FromHex("#ffd740") : Color.White.WithAlpha(190), TextAlign.Center);
        }
        screen.DrawText("Up/Down and Enter (pad: d-pad and A); P, Escape or Start resumes", width / 2, height / 2 + 110, 18,
            Color.White.WithAlpha(150), TextAlign.Center);
    }
}
