namespace Quorvane;

/// <summary>A sound started by <see cref="Audio.Play"/>; default is no sound.</summary>
public readonly record struct SoundHandle(int Id)
{
    /// <summary>False for the default handle, which stands for no sound.</summary>
    public bool IsValid => Id > 0;
}

/// <summary>
/// Sound effects and music. Paths are relative to the project folder (or absolute),
/// like textures; WAV (8, 16, 24, 32-bit PCM or float, mono or stereo, any rate) and
/// Ogg Vorbis play. A missing or unreadable file is reported once in the runtime's log
/// and plays as silence. Calls take effect when the frame is rendered; calls made in
/// <see cref="Game.Load"/> take effect with the first frame.
/// Volumes are gains (1 unchanged, 0 silent, up to 16); pan runs from -1 (left) to 1
/// (right) with a constant-power law for mono sounds and a balance for stereo ones;
/// pitch is a speed factor (2 an octave up) from 1/16 to 16. Values outside are clamped.
/// </summary>
public sealed class Audio
{
    private const float MaxVolume = 16f;
    private const float MaxFadeSeconds = 3600f;
    private readonly LineWriter _lines = new();
    private int _lastHandle;
    private float _masterVolume = 1f;

    /// <summary>Starts a sound effect; the handle stops or changes it later.</summary>
    /// <exception cref="ArgumentException">The path is empty or contains "|" or a line break.</exception>
    public SoundHandle Play(string path, float volume = 1, float pan = 0, float pitch = 1, bool loop = false)
    {
        CheckPath(path);
        _lastHandle = _lastHandle == int.MaxValue ? 1 : _lastHandle + 1;
        _lines.Begin("XAUDIO_PLAY").Field(_lastHandle).Field(Volume(volume)).Field(Pan(pan)).Field(Pitch(pitch))
            .Field(loop ? 1 : 0).Field(path).End();
        return new SoundHandle(_lastHandle);
    }

    /// <summary>
    /// Decodes a sound effect into the cache without playing it, so that its first
    /// <see cref="Play"/> starts without waiting for the file.
    /// </summary>
    /// <exception cref="ArgumentException">The path is empty or contains "|" or a line break.</exception>
    public void Preload(string path)
    {
        CheckPath(path);
        _lines.Begin("XAUDIO_PRELOAD").Field(path).End();
    }

    /// <summary>Changes a playing sound's volume, pan and pitch (they glide, no click).</summary>
    public void Set(SoundHandle sound, float volume, float pan = 0, float pitch = 1)
    {
        if (!sound.IsValid) return;
        _lines.Begin("XAUDIO_SET").Field(sound.Id).Field(Volume(volume)).Field(Pan(pan)).Field(Pitch(pitch)).End();
    }

    /// <summary>Stops a sound (with a few milliseconds' fade); a finished or default handle is ignored.</summary>
    public void Stop(SoundHandle sound)
    {
        if (sound.IsValid) _lines.Begin("XAUDIO_STOP").Field(sound.Id).End();
    }

    /// <summary>Stops every sound effect; music plays on.</summary>
    public void StopAll() => _lines.Raw("XAUDIO_STOP_ALL");

    /// <summary>Streams a music track from disk, replacing the current one.</summary>
    /// <exception cref="ArgumentException">The path is empty or contains "|" or a line break.</exception>
    public void PlayMusic(string path, bool loop = true, float volume = 1) => PlayMusic(path, loop, volume, 0f);

    /// <summary>Streams a music track that fades in over <paramref name="fadeInSeconds"/>; the current track fades out meanwhile.</summary>
    public void PlayMusic(string path, bool loop, float volume, float fadeInSeconds)
    {
        CheckPath(path);
        _lines.Begin("XAUDIO_MUSIC").Field(loop ? 1 : 0).Field(Volume(volume)).Field(Seconds(fadeInSeconds)).Field(path).End();
    }

    /// <summary>Stops the music.</summary>
    public void StopMusic() => StopMusic(0f);

    /// <summary>Fades the music out over <paramref name="fadeOutSeconds"/>, then stops it.</summary>
    public void StopMusic(float fadeOutSeconds) => _lines.Begin("XAUDIO_MUSIC_STOP").Field(Seconds(fadeOutSeconds)).End();

    /// <summary>Pauses the music where it is.</summary>
    public void PauseMusic() => PauseMusic(0f);

    /// <summary>Fades the music out over <paramref name="fadeOutSeconds"/>, then pauses it.</summary>
    public void PauseMusic(float fadeOutSeconds) => _lines.Begin("XAUDIO_MUSIC_PAUSE").Field(Seconds(fadeOutSeconds)).End();

    /// <summary>Resumes paused music where it stopped.</summary>
    public void ResumeMusic() => ResumeMusic(0f);

    /// <summary>Resumes paused music, fading in over <paramref name="fadeInSeconds"/>.</summary>
    public void ResumeMusic(float fadeInSeconds) => _lines.Begin("XAUDIO_MUSIC_RESUME").Field(Seconds(fadeInSeconds)).End();

    /// <summary>Moves the music's volume to <paramref name="volume"/> over <paramref name="seconds"/>.</summary>
    public void FadeMusic(float volume, float seconds) =>
        _lines.Begin("XAUDIO_MUSIC_FADE").Field(Volume(volume)).Field(Seconds(seconds)).End();

    /// <summary>The gain of everything (sounds and music), 1 by default, 0 to 16.</summary>
    public float MasterVolume
    {
        get => _masterVolume;
        set
        {
            _masterVolume = Volume(value);
            _lines.Begin("XAUDIO_MASTER").Field(_masterVolume).End();
        }
    }

    /// <summary>Hands this frame's lines to the frame's output.</summary>
    internal void DrainTo(LineWriter output) => output.TakeFrom(_lines);

    private static void CheckPath(string path)
    {
        DrawCommands.CheckPath(path, nameof(path));
        if (path.Length == 0) throw new ArgumentException("A sound path cannot be empty.", nameof(path));
    }

    private static float Clamp(float value, float low, float high, float fallback) =>
        float.IsNaN(value) ? fallback : Math.Clamp(value, low, high);

    private static float Volume(float value) => Clamp(value, 0f, MaxVolume, 1f);
    private static float Pan(float value) => Clamp(value, -1f, 1f, 0f);
    private static float Pitch(float value) => Clamp(value, 1f / 16f, 16f, 1f);
    private static float Seconds(float value) => Clamp(value, 0f, MaxFadeSeconds, 0f);
}
