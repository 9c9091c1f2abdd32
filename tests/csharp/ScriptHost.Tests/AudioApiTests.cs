using Quorvane.ScriptHost;

namespace Quorvane.Tests;

public sealed class MusicGame : Game
{
    public SoundHandle Last { get; private set; }

    public override void Load() => Audio.PlayMusic("music/theme.ogg");

    public override void Update(float deltaTime)
    {
        if (FrameNumber == 2) Last = Audio.Play("sfx/jump.wav", volume: 0.5f, pan: -0.25f, pitch: 1.5f);
    }
}

public class AudioApiTests
{
    private static string[] Lines(Action<Audio> play)
    {
        var audio = new Audio();
        play(audio);
        var writer = new LineWriter();
        audio.DrainTo(writer);
        var output = new StringWriter { NewLine = "\n" };
        writer.FlushTo(output);
        return output.ToString().Split('\n', StringSplitOptions.RemoveEmptyEntries);
    }

    [Fact]
    public void EveryCallBecomesItsAudioLine()
    {
        SoundHandle first = default, second = default;
        Assert.Equal(new[]
        {
            "XAUDIO_PLAY|1|1|0|1|0|a.wav",
            "XAUDIO_PLAY|2|0.5|-1|2|1|b b.ogg",
            "XAUDIO_SET|2|0.25|0.5|1",
            "XAUDIO_STOP|1",
            "XAUDIO_STOP_ALL",
            "XAUDIO_MUSIC|1|1|0|m.ogg",
            "XAUDIO_MUSIC|0|0.5|2|n.ogg",
            "XAUDIO_MUSIC_PAUSE|0",
            "XAUDIO_MUSIC_RESUME|0.3",
            "XAUDIO_MUSIC_FADE|0.2|1",
            "XAUDIO_MUSIC_STOP|1.5",
            "XAUDIO_MASTER|0.8",
            "XAUDIO_PRELOAD|c.wav",
        }, Lines(audio =>
        {
            first = audio.Play("a.wav");
            second = audio.Play("b b.ogg", volume: 0.5f, pan: -1, pitch: 2, loop: true);
            audio.Set(second, 0.25f, 0.5f);
            audio.Stop(first);
            audio.Stop(default);
            audio.StopAll();
            audio.PlayMusic("m.ogg");
            audio.PlayMusic("n.ogg", false, 0.5f, 2f);
            audio.PauseMusic();
            audio.ResumeMusic(0.3f);
            audio.FadeMusic(0.2f, 1f);
            audio.StopMusic(1.5f);
            audio.MasterVolume = 0.8f;
            audio.Preload("c.wav");
        }));
        Assert.Equal(1, first.Id);
        Assert.True(second.IsValid);
        Assert.False(default(SoundHandle).IsValid);
    }

    [Fact]
    public void ValuesOutsideTheirRangesAreClampedSoNoLineIsDropped()
    {
        var audio = new Audio();
        Assert.Equal(new[]
        {
            "XAUDIO_PLAY|1|16|1|0.0625|0|a.wav",
            "XAUDIO_PLAY|2|1|0|16|0|a.wav",
            "XAUDIO_MASTER|0",
        }, Lines(a =>
        {
            a.Play("a.wav", volume: 100, pan: 5, pitch: 0);
            a.Play("a.wav", volume: float.NaN, pan: float.NaN, pitch: float.PositiveInfinity);
            a.MasterVolume = -3;
        }));
        audio.MasterVolume = 2;
        Assert.Equal(2, audio.MasterVolume);
    }

    [Theory]
    [InlineData("a|b.wav")]
    [InlineData("a\nb.wav")]
    [InlineData("")]
    public void BadPathsThrow(string path)
    {
        var audio = new Audio();
        Assert.Throws<ArgumentException>(() => audio.Play(path));
        Assert.Throws<ArgumentException>(() => audio.PlayMusic(path));
        Assert.Throws<ArgumentException>(() => audio.Preload(path));
    }

    [Fact]
    public void TheHostDeclaresAudioAndSendsLoadTimeMusicWithTheFirstFrame()
    {
        var game = new MusicGame();
        var runner = new GameRunner(game, new GameSettings("/proj", "", 0.02f, 1, 2));
        var output = new StringWriter { NewLine = "\n" };
        new HostLoop(new StringReader("START\nFRAME|0.01||0,0|\nFRAME|0.01||0,0|\n"), output, runner).Run();
        var lines = output.ToString().Split('\n', StringSplitOptions.RemoveEmptyEntries);
        Assert.Contains("audio", HostLoop.Extensions);
        Assert.Equal(new[]
        {
            "STARTED",
            "XAUDIO_MUSIC|1|1|0|music/theme.ogg",
            "CAMERA|0|0|1|1280|720",
            "END_FRAME|1",
            "XAUDIO_PLAY|1|0.5|-0.25|1.5|0|sfx/jump.wav",
            "CAMERA|0|0|1|1280|720",
            "END_FRAME|2",
        }, lines.Skip(2).Where(line => !line.StartsWith("XSTATS|", StringComparison.Ordinal)));
        Assert.Equal(1, game.Last.Id);
    }
}
