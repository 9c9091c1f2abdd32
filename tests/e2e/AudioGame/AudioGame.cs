using Quorvane;

namespace AudioGame;

/// <summary>
/// Plays sounds at known frames, so that the end-to-end test can find them in the
/// captured mix: a WAV beep at frame 10 (centre), an Ogg beep at frame 40 (hard left),
/// a looping beep from frame 60 stopped at frame 70, and a missing file twice.
/// </summary>
public sealed class AudioTestGame : Game
{
    private SoundHandle _loop;

    public override void Update(float deltaTime)
    {
        switch (FrameNumber)
        {
            case 10: Audio.Play("assets/beep.wav"); break;
            case 40: Audio.Play("assets/beep.ogg", pan: -1); break;
            case 50:
            case 51:
                Audio.Play("assets/missing.wav");
                break;
            case 60: _loop = Audio.Play("assets/beep.wav", volume: 0.5f, pitch: 2f, loop: true); break;
            case 70: Audio.Stop(_loop); break;
        }
    }
}
