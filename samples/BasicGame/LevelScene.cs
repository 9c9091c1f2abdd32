using System.Numerics;
using Quorvane;

namespace BasicGame;

/// <summary>One platformer level built from a tile map.</summary>
internal sealed class LevelScene : Scene
{
    private const float Tile = 32f;
    private const float Gravity = 1900f;
    private const float MaxFallSpeed = 900f;
    private const float RunSpeed = 330f;
    private const float Acceleration = 2600f;
    private const float JumpSpeed = 760f;
    private const float JumpBufferSeconds = 0.12f;
    private const float CoyoteSeconds = 0.08f;
    private const int MaxCrates = 8;

    private const string CloudTexture = "assets/0_sky/cloud.png";
    private const string BrickTexture = "assets/1_world/brick.png";
    private const string CrateTexture = "assets/1_world/crate.png";
    private const string SpikeTexture = "assets/1_world/spike.png";
    private const string CoinTexture = "assets/2_items/coin.png";
    private const string FlagTexture = "assets/2_items/flag.png";
    private const string JumpSound = "assets/sounds/jump.wav";
    private const string CoinSound = "assets/sounds/coin.wav";
    private const string CrateSound = "assets/sounds/crate.wav";
    private const string WinSound = "assets/sounds/win.ogg";
    private const string PlayerSheet = "assets/3_actors/player_sheet.png";
    private const int PlayerFrameWidth = 16;
    private const int PlayerFrameHeight = 19;

    private static readonly Color Dirt = Color.FromHex("#8a5a34");
    private static readonly Color Grass = Color.FromHex("#4caf50");
    private static readonly Color GrassDark = Color.FromHex("#2e7d32");

    private readonly string _name;
    private readonly string _next;
    private readonly string[] _map;

    private readonly List<RectF> _ground = new();
    private readonly List<RectF> _grass = new();
    private readonly List<RectF> _bricks = new();
    private readonly List<RectF> _spikes = new();
    private readonly List<RectF> _crates = new();
    private readonly List<Coin> _coins = new();
    private readonly List<Spark> _sparks = new();
    private readonly List<Spark> _fadingCoins = new();
    private readonly Random _random = new(7);
    private RectF _flag;
    private RectF _world;
    private Vector2 _spawn;

    private Vector2 _position;
    private Vector2 _velocity;
    private bool _grounded;
    private bool _facingLeft;
    private float _jumpBuffer;
    private float _coyote;
    private float _levelTime;
    private float _flagHintCooldown;
    private float _winTimer = -1f;

    private sealed class Coin(Vector2 centre)
    {
        public Vector2 Centre { get; } = centre;
        public bool Taken { get; set; }
        public RectF Bounds => new(Centre.X - 10, Centre.Y - 10, 20, 20);
    }

    private record struct Spark(Vector2 Position, Vector2 Velocity, float Life, Color Color);

    public LevelScene(string name, string[] map, string next)
    {
        _name = name;
        _map = map;
        _next = next;
    }

    private MainGame Main => (MainGame)Game;
    private static RectF PlayerBoxAt(Vector2 p) => new(p.X, p.Y, 24, 36);
    private RectF PlayerBox => PlayerBoxAt(_position);

    public override void Load()
    {
        BuildLevel();
        _position = _spawn;
        Camera.CenterOn(PlayerBox.Center);
        Camera.ClampTo(_world);
        Log.Info($"{_name}: collect all {_coins.Count} coins, then touch the flag.");
    }

    private void BuildLevel()
    {
        var rows = _map.Length;
        var columns = _map.Max(row => row.Length);
        _world = new RectF(0, 0, columns * Tile, rows * Tile);
        bool IsGround(int r, int c) => r >= 0 && r < rows && c >= 0 && c < _map[r].Length && _map[r][c] == '#';

        for (var r = 0; r < rows; r++)
        {
            var line = _map[r];
            // Merge ground tiles of a row into runs: fewer rectangles to collide with and to draw.
            for (var c = 0; c < line.Length;)
            {
                if (line[c] != '#') { c++; continue; }
                var start = c;
                while (c < line.Length && line[c] == '#') c++;
                _ground.Add(new RectF(start * Tile, r * Tile, (c - start) * Tile, Tile));
                for (var g = start; g < c;)
                {
                    if (IsGround(r - 1, g)) { g++; continue; }
                    var grassStart = g;
                    while (g < c && !IsGround(r - 1, g)) g++;
                    _grass.Add(new RectF(grassStart * Tile, r * Tile, (g - grassStart) * Tile, 8));
                }
            }
            for (var c = 0; c < line.Length; c++)
            {
                var cell = new RectF(c * Tile, r * Tile, Tile, Tile);
                switch (line[c])
                {
                    case 'B': _bricks.Add(cell); break;
                    case '^': _spikes.Add(cell); break;
                    case 'o': _coins.Add(new Coin(cell.Center)); break;
                    case 'F': _flag = new RectF(cell.X, cell.Y - Tile, Tile, Tile * 2); break;
                    case 'P': _spawn = new Vector2(cell.X + 4, cell.Y - 4); break;
                }
            }
        }
    }

    private IEnumerable<RectF> Solids => _ground.Concat(_bricks).Concat(_crates);

    public override void Update(float deltaTime)
    {
        _levelTime += deltaTime;
        _flagHintCooldown -= deltaTime;
        if (Input.WasPressed(Key.Space) || Input.WasPressed(Key.Up) || Input.WasPressed(Key.W) || Pads.Pressed(Input, GamepadButton.A))
        {
            _jumpBuffer = JumpBufferSeconds;
        }
        else _jumpBuffer -= deltaTime;

        HandleMouse();
        UpdateSparks(deltaTime);

        if (_winTimer >= 0f)
        {
            _winTimer -= deltaTime;
            if (_winTimer < 0f) Game.LoadScene(_next);
        }

        Camera.Follow(PlayerBox.Center, deltaTime, smoothing: 0.85f);
        Camera.ClampTo(_world);
    }

    private void HandleMouse()
    {
        var world = Camera.ScreenToWorld(Input.MousePosition);
        var cell = new RectF(MathF.Floor(world.X / Tile) * Tile, MathF.Floor(world.Y / Tile) * Tile, Tile, Tile);
        if (Input.WasPressed(MouseButton.Left))
        {
            if (Solids.Any(solid => solid.Intersects(cell)) || cell.Intersects(PlayerBox))
            {
                Burst(cell.Center, Color.FromHex("#ff5252"), 8);
                return;
            }
            if (_crates.Count == MaxCrates)
            {
                Burst(_crates[0].Center, Color.White, 10);
                _crates.RemoveAt(0);
            }
            _crates.Add(cell);
            Game.Audio.Play(CrateSound);
            Burst(cell.Center, Color.FromHex("#ffe082"), 16);
            Log.Info($"Crate dropped at tile ({cell.X / Tile}, {cell.Y / Tile}); {_crates.Count}/{MaxCrates} crates.");
        }
        if (Input.WasPressed(MouseButton.Right))
        {
            var index = _crates.FindIndex(crate => crate.Contains(world));
            if (index < 0) return;
            Burst(_crates[index].Center, Color.White, 12);
            _crates.RemoveAt(index);
            Game.Audio.Play(CrateSound, volume: 0.7f, pitch: 1.5f);
            Log.Info("Crate removed.");
        }
    }

    public override void FixedUpdate(float dt)
    {
        if (_winTimer >= 0f)
        {
            _velocity = Vector2.Zero;
            return;
        }
        var direction = Input.Axis(Key.Left, Key.Right) + Input.Axis(Key.A, Key.D) + Pads.Horizontal(Input);
        direction = Math.Clamp(direction, -1f, 1f);
        if (direction != 0f) _facingLeft = direction < 0f;
        var target = direction * RunSpeed;
        var step = Acceleration * dt;
        _velocity.X = _velocity.X < target ? MathF.Min(_velocity.X + step, target) : MathF.Max(_velocity.X - step, target);

        _coyote = _grounded ? CoyoteSeconds : _coyote - dt;
        if (_jumpBuffer > 0f && _coyote > 0f)
        {
            _velocity.Y = -JumpSpeed;
            _jumpBuffer = 0f;
            Game.Audio.Play(JumpSound, volume: 0.6f);
            _coyote = 0f;
        }
        // Releasing the jump key early makes a short hop.
        var jumpHeld = Input.IsDown(Key.Space) || Input.IsDown(Key.Up) || Input.IsDown(Key.W) || Pads.Down(Input, GamepadButton.A);
        if (!jumpHeld && _velocity.Y < -250f) _velocity.Y = -250f;
        _velocity.Y = MathF.Min(_velocity.Y + Gravity * dt, MaxFallSpeed);

        MoveAxis(new Vector2(_velocity.X * dt, 0));
        _grounded = false;
        MoveAxis(new Vector2(0, _velocity.Y * dt));

        CheckPickups();
    }

    private void MoveAxis(Vector2 delta)
    {
        _position += delta;
        foreach (var solid in Solids)
        {
            var box = PlayerBox;
            if (!box.Intersects(solid)) continue;
            if (delta.X > 0) _position.X = solid.X - box.Width;
            else if (delta.X < 0) _position.X = solid.Right;
            else if (delta.Y > 0)
            {
                _position.Y = solid.Y - box.Height;
                _grounded = true;
                _velocity.Y = 0;
            }
            else if (delta.Y < 0)
            {
                _position.Y = solid.Bottom;
                _velocity.Y = 0;
            }
            if (delta.X != 0) _velocity.X = 0;
        }
        _position.X = Math.Clamp(_position.X, _world.X, _world.Right - PlayerBox.Width);
    }

    private void CheckPickups()
    {
        var box = PlayerBox;
        foreach (var coin in _coins.Where(coin => !coin.Taken && coin.Bounds.Intersects(box)))
        {
            coin.Taken = true;
            // Panned towards the coin's side of the view, a little higher for each coin in a row.
            var pan = Math.Clamp((coin.Centre.X - Game.Camera.X - Game.Camera.WorldWidth / 2f) / Game.Camera.WorldWidth * 1.5f, -1f, 1f);
            Game.Audio.Play(CoinSound, volume: 0.8f, pan: pan, pitch: 1f + 0.05f * _coins.Count(c => c.Taken));
            Burst(coin.Centre, Color.FromHex("#ffd740"), 12);
            _fadingCoins.Add(new Spark(coin.Centre, new Vector2(0, -90f), 0.6f, Color.White));
            var taken = _coins.Count(c => c.Taken);
            Log.Info(taken == _coins.Count ? "All coins collected! Now find the flag." : $"Coin {taken}/{_coins.Count}.");
        }
        var hurt = _spikes.Any(spike => new RectF(spike.X + 4, spike.Y + 12, spike.Width - 8, spike.Height - 12).Intersects(box));
        if (hurt || box.Y > _world.Bottom)
        {
            Log.Warn(hurt ? "Ouch, spikes! Back to the start." : "You fell! Back to the start.");
            Burst(box.Center, Color.FromHex("#ff5252"), 20);
            _position = _spawn;
            _velocity = Vector2.Zero;
            return;
        }
        if (_winTimer < 0f && box.Intersects(_flag))
        {
            var left = _coins.Count(coin => !coin.Taken);
            if (left == 0)
            {
                Log.Info($"{_name} complete in {_levelTime:0.0} s! On to {_next}.");
                Burst(_flag.Center, Color.FromHex("#69f0ae"), 40);
                Game.Audio.Play(WinSound);
                _winTimer = 1.5f;
            }
            else if (_flagHintCooldown <= 0f)
            {
                Log.Info($"The flag wants all the coins: {left} left.");
                _flagHintCooldown = 3f;
            }
        }
    }

    private void Burst(Vector2 at, Color color, int count)
    {
        for (var i = 0; i < count; i++)
        {
            var angle = _random.NextSingle() * MathF.Tau;
            var speed = 80f + _random.NextSingle() * 220f;
            _sparks.Add(new Spark(at, new Vector2(MathF.Cos(angle), MathF.Sin(angle)) * speed, 0.5f, color));
        }
    }

    private void UpdateSparks(float dt)
    {
        for (var i = _sparks.Count - 1; i >= 0; i--)
        {
            var s = _sparks[i];
            s = s with { Position = s.Position + s.Velocity * dt, Velocity = s.Velocity + new Vector2(0, 600f * dt), Life = s.Life - dt };
            if (s.Life <= 0f) _sparks.RemoveAt(i); else _sparks[i] = s;
        }
        for (var i = _fadingCoins.Count - 1; i >= 0; i--)
        {
            var f = _fadingCoins[i];
            f = f with { Position = f.Position + f.Velocity * dt, Life = f.Life - dt };
            if (f.Life <= 0f) _fadingCoins.RemoveAt(i); else _fadingCoins[i] = f;
        }
    }

    public override void Draw(Graphics g)
    {
        // Clouds drift slower than the camera for a touch of depth.
        for (var i = 0; i < 8; i++)
        {
            var x = i * 420f + Camera.X * 0.5f + (Main.PlayTime * 12f + i * 90f) % 420f;
            g.Sprite(CloudTexture, new RectF(x, 60 + (i % 3) * 50, 144, 72), Color.White);
        }
        foreach (var run in _ground) g.FillRect(run, Dirt);
        foreach (var run in _grass)
        {
            g.FillRect(run, Grass);
            g.FillRect(run.X, run.Bottom - 2, run.Width, 2, GrassDark);
        }
        foreach (var brick in _bricks) g.Sprite(BrickTexture, brick, Color.FromHex("#c45c34"));
        foreach (var crate in _crates) g.Sprite(CrateTexture, crate, Color.FromHex("#cc9450"));
        foreach (var spike in _spikes) g.Sprite(SpikeTexture, spike, Color.FromHex("#9aa0aa"));
        foreach (var coin in _coins.Where(coin => !coin.Taken))
        {
            var bob = MathF.Sin(Main.PlayTime * 4f + coin.Centre.X * 0.05f) * 4f;
            g.Sprite(CoinTexture, coin.Bounds.Offset(0, bob), Color.Yellow);
        }
        g.Sprite(FlagTexture, _flag, Color.Green);
        // A collected coin rises, spins and fades out.
        foreach (var fading in _fadingCoins)
        {
            var life = fading.Life / 0.6f;
            g.Sprite(CoinTexture, new RectF(fading.Position.X - 10, fading.Position.Y - 10, 20, 20), new SpriteOptions
            {
                Rotation = (1f - life) * MathF.Tau, Tint = Color.White.WithAlpha((byte)(255 * life)), Layer = 1,
            });
        }
        var box = PlayerBox;
        g.Sprite(PlayerSheet, new RectF(box.X - 4, box.Bottom - 38, 32, 38), new SpriteOptions
        {
            Source = new RectF(PlayerFrame() * PlayerFrameWidth, 0, PlayerFrameWidth, PlayerFrameHeight),
            FlipX = _facingLeft,
            Tint = Color.White,
        });
        foreach (var spark in _sparks) g.FillRect(spark.Position.X - 2, spark.Position.Y - 2, 4, 4, spark.Color);

        DrawHud(g);
        ReportColliders(g);
    }

    // Frames of the sheet: 0 idle, 1 and 2 running (ten steps a second), 3 in the air.
    private int PlayerFrame()
    {
        if (!_grounded && _velocity.Y != 0f) return 3;
        if (MathF.Abs(_velocity.X) < 20f) return 0;
        return 1 + (int)(Main.PlayTime * 10f) % 2;
    }

    private void DrawHud(Graphics g)
    {
        // Screen space: the HUD keeps its place and size whatever the camera does.
        var screen = g.Screen;
        var taken = _coins.Count(c => c.Taken);
        var label = $"{taken} / {_coins.Count}";
        var size = screen.MeasureText(label, 24);
        screen.FillRect(10, 10, 48 + size.X, 40, new Color(20, 24, 40, 170));
        screen.Sprite(CoinTexture, new RectF(18, 18, 24, 24), new SpriteOptions { Rotation = MathF.Sin(Main.PlayTime * 3f) * 0.3f });
        screen.DrawText(label, 50, 18, 24, Color.White);
        screen.DrawText(_name, Camera.ViewWidth - 10, 14, 20, Color.White.WithAlpha(200), TextAlign.Right);
        if (_winTimer >= 0f)
        {
            var fade = (byte)(255 * MathF.Min(1f, _winTimer * 2f));
            screen.DrawText("Level complete!", Camera.ViewWidth / 2, Camera.ViewHeight / 2 - 60, 72,
                Color.FromHex("#69f0ae").WithAlpha(fade), TextAlign.Center);
        }
    }

    private void ReportColliders(Graphics g)
    {
        var id = 0;
        void Report(RectF rect, Color color)
        {
            g.Collider(id++, rect);
            if (Main.ShowColliders) g.DebugRect(rect, color);
        }
        Report(PlayerBox, Color.Green);
        foreach (var solid in Solids) Report(solid, Color.FromHex("#40c4ff"));
        foreach (var spike in _spikes) Report(spike, Color.Red);
        foreach (var coin in _coins.Where(c => !c.Taken)) Report(coin.Bounds, Color.Yellow);
        Report(_flag, Color.Magenta);
    }
}
