#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "audio/AudioTestData.h"
#include "audio/Mixer.h"

using namespace Quorvane;
using namespace QuorvaneTest;

namespace {

std::shared_ptr<SoundAsset> MakeSound(const std::vector<double>& samples, int channels, int rate) {
    auto asset = std::make_shared<SoundAsset>("test");
    asset->data.channels = channels;
    asset->data.sampleRate = rate;
    for (double s : samples) asset->data.samples.push_back(static_cast<float>(s));
    asset->state = SoundAsset::Ready;
    return asset;
}

std::shared_ptr<SoundAsset> Constant(float value, int frames, int channels = 1) {
    return MakeSound(std::vector<double>(static_cast<std::size_t>(frames * channels), value), channels, kMixRate);
}

MixerCommand Play(std::shared_ptr<SoundAsset> sound, float volume = 1, float pan = 0, float pitch = 1, bool loop = false, int handle = 1) {
    MixerCommand command;
    command.kind = MixerCommand::Play;
    command.sound = std::move(sound);
    command.volume = volume;
    command.pan = pan;
    command.pitch = pitch;
    command.loop = loop;
    command.handle = handle;
    return command;
}

std::vector<float> Mix(Mixer& mixer, int frames) {
    std::vector<float> out(static_cast<std::size_t>(frames) * 2);
    // In uneven pieces, as a device asks for them.
    int done = 0;
    for (int piece = 100; done < frames; piece = piece == 100 ? 333 : 100) {
        const int n = std::min(piece, frames - done);
        mixer.Mix(out.data() + 2 * done, n);
        done += n;
    }
    return out;
}

}  // namespace

TEST(Mixer, VolumeAndPanFollowTheConstantPowerLaw) {
    struct Case {
        float volume, pan;
        float left, right;
    };
    const float h = std::sqrt(0.5f);
    const Case cases[] = {
        {1.0f, 0.0f, 0.5f * h, 0.5f * h},
        {1.0f, -1.0f, 0.5f, 0.0f},
        {1.0f, 1.0f, 0.0f, 0.5f},
        {0.5f, 0.0f, 0.25f * h, 0.25f * h},
        {1.0f, 0.5f, 0.5f * std::cos(0.75f * 1.5707963f), 0.5f * std::sin(0.75f * 1.5707963f)},
        {0.0f, 0.0f, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume << " pan " << c.pan);
        Mixer mixer;
        mixer.Apply(Play(Constant(0.5f, 4000), c.volume, c.pan));
        const std::vector<float> out = Mix(mixer, 2000);
        // After the start ramp the output is the gains times the sample.
        EXPECT_NEAR(out[2 * 1000], c.left, 1e-5);
        EXPECT_NEAR(out[2 * 1000 + 1], c.right, 1e-5);
        // Power is the same at any pan.
        if (c.volume == 1.0f) EXPECT_NEAR(out[2000] * out[2000] + out[2001] * out[2001], 0.25f, 1e-5);
    }
}

TEST(Mixer, StereoSoundsAreBalancedNotRepanned) {
    std::vector<double> frames;
    for (int i = 0; i < 3000; ++i) frames.insert(frames.end(), {0.4, -0.2});
    Mixer centre, right;
    centre.Apply(Play(MakeSound(frames, 2, kMixRate), 1, 0));
    right.Apply(Play(MakeSound(frames, 2, kMixRate), 1, 0.5f));
    const std::vector<float> a = Mix(centre, 1000), b = Mix(right, 1000);
    EXPECT_NEAR(a[1800], 0.4f, 1e-6);
    EXPECT_NEAR(a[1801], -0.2f, 1e-6);
    EXPECT_NEAR(b[1800], 0.2f, 1e-6);
    EXPECT_NEAR(b[1801], -0.2f, 1e-6);
}

TEST(Mixer, PitchResamplesASineToTheExpectedFrequency) {
    // A 1 kHz sine at 44.1 kHz, played at several pitches: the mix at 48 kHz holds
    // pitch x 1 kHz.
    const auto sine = MakeSound(Sine(1000.0, 44100, 44100), 1, 44100);
    for (float pitch : {0.5f, 1.0f, 1.3f, 2.0f}) {
        SCOPED_TRACE(pitch);
        Mixer mixer;
        mixer.Apply(Play(sine, 1, 0, pitch));
        const std::vector<float> out = Mix(mixer, 12000);
        EXPECT_NEAR(MeasureFrequency(out, 0, 500, 11000, kMixRate), 1000.0 * pitch, 1.0);
    }
}

TEST(Mixer, ManyLoudVoicesAreClampedNeverWrapped) {
    Mixer mixer;
    const auto loud = Constant(1.0f, 10000);
    const auto quiet = Constant(-1.0f, 10000);
    for (int i = 0; i < 40; ++i) mixer.Apply(Play(i % 4 == 0 ? quiet : loud, 4.0f, -1.0f, 1, false, i + 1));
    EXPECT_EQ(mixer.ActiveVoices(), 40);
    const std::vector<float> out = Mix(mixer, 2000);
    for (std::size_t i = 0; i < out.size(); ++i) {
        ASSERT_LE(out[i], 1.0f);
        ASSERT_GE(out[i], -1.0f);
    }
    EXPECT_EQ(out[2 * 1500], 1.0f);
}

TEST(Mixer, ALoopingSoundHasNoSeam) {
    // 100 periods of a sine fill the sound exactly; looped, the output must stay as
    // smooth across the loop point as anywhere else.
    const int frames = 4800;  // 1 kHz at 48 kHz: 48 frames a period
    const auto sine = MakeSound(Sine(1000.0, kMixRate, frames, 1, 0.8), 1, kMixRate);
    for (float pitch : {1.0f, 1.3f}) {
        SCOPED_TRACE(pitch);
        Mixer mixer;
        mixer.Apply(Play(sine, 1, -1, pitch, true));
        const std::vector<float> out = Mix(mixer, frames * 3);
        float worstStep = 0.0f;
        for (int i = 200; i < frames * 3; ++i) worstStep = std::max(worstStep, std::abs(out[2 * i] - out[2 * (i - 1)]));
        // The largest step of the sine itself: 2 pi f / rate x amplitude x pitch.
        const float sineStep = 2.0f * 3.14159265f * 1000.0f / kMixRate * 0.8f * pitch;
        EXPECT_LE(worstStep, sineStep * 1.01f);
        EXPECT_GT(worstStep, sineStep * 0.9f);
        EXPECT_EQ(mixer.ActiveVoices(), 1);
    }
}

TEST(Mixer, StartAndStopAreRampedAndAStoppedVoiceEnds) {
    Mixer mixer;
    mixer.Apply(Play(Constant(1.0f, 100000), 1, -1, 1, false, 7));
    std::vector<float> out = Mix(mixer, 1000);
    EXPECT_LT(out[0], 0.05f);  // no jump to full level at the first sample
    EXPECT_NEAR(out[2 * (Mixer::kStartRampFrames + 1)], 1.0f, 1e-6);
    for (int i = 1; i < 1000; ++i) ASSERT_LE(std::abs(out[2 * i] - out[2 * (i - 1)]), 1.5f / Mixer::kStartRampFrames);

    MixerCommand stop;
    stop.kind = MixerCommand::Stop;
    stop.handle = 7;
    mixer.Apply(stop);
    out = Mix(mixer, 1000);
    for (int i = 1; i < 1000; ++i) ASSERT_LE(std::abs(out[2 * i] - out[2 * (i - 1)]), 1.5f / Mixer::kStopRampFrames);
    EXPECT_EQ(out[2 * Mixer::kStopRampFrames + 10], 0.0f);
    EXPECT_EQ(mixer.ActiveVoices(), 0);
}

TEST(Mixer, MasterVolumeScalesEverythingAndAVoiceEndsWithItsSound) {
    Mixer mixer;
    MixerCommand master;
    master.kind = MixerCommand::MasterVolume;
    master.volume = 0.5f;
    mixer.Apply(master);
    Mix(mixer, 10);
    mixer.Apply(Play(Constant(1.0f, 500), 1, -1));
    const std::vector<float> out = Mix(mixer, 1000);
    EXPECT_NEAR(out[2 * 300], 0.5f, 1e-6);
    EXPECT_EQ(out[2 * 600], 0.0f);
    EXPECT_EQ(mixer.ActiveVoices(), 0);
}

TEST(Mixer, ASoundStillLoadingWaitsAndAFailedOneEnds) {
    Mixer mixer;
    auto pending = std::make_shared<SoundAsset>("pending");
    auto broken = std::make_shared<SoundAsset>("broken");
    mixer.Apply(Play(pending, 1, -1, 1, false, 1));
    mixer.Apply(Play(broken, 1, -1, 1, false, 2));
    broken->state = SoundAsset::Failed;
    EXPECT_EQ(Mix(mixer, 100)[0], 0.0f);
    EXPECT_EQ(mixer.ActiveVoices(), 1);
    pending->data.channels = 1;
    pending->data.sampleRate = kMixRate;
    pending->data.samples.assign(1000, 1.0f);
    pending->state = SoundAsset::Ready;
    const std::vector<float> out = Mix(mixer, 200);
    EXPECT_NEAR(out[2 * 150], 1.0f, 1e-6);  // from its first sample, after the start ramp
}

TEST(Mixer, VoicesBeyondTheLimitTakeTheOldestSlot) {
    Mixer mixer;
    const auto sound = Constant(0.001f, 100000);
    for (int i = 0; i < Mixer::kMaxVoices + 5; ++i) mixer.Apply(Play(sound, 1, 0, 1, false, i + 1));
    EXPECT_EQ(mixer.ActiveVoices(), Mixer::kMaxVoices);
}

TEST(Mixer, MusicStreamsLoopsAndFades) {
    const std::string path = std::string(QUORVANE_SOURCE_DIR) + "/tests/e2e/AudioGame/assets/beep.wav";
    auto stream = std::make_shared<MusicStream>(path, true);
    std::string fault;
    ASSERT_TRUE(stream->Fill(fault)) << fault;
    Mixer mixer;
    MixerCommand play;
    play.kind = MixerCommand::PlayMusic;
    play.music = stream;
    play.volume = 1.0f;
    play.seconds = 0.1f;  // fade in over 4800 frames
    mixer.Apply(play);
    std::vector<float> out = Mix(mixer, 4800 * 4);
    // The fade-in: the first tenth of a second is quieter than the rest.
    const auto peak = [&](int from, int to) {
        float p = 0;
        for (int i = from; i < to; ++i) p = std::max(p, std::abs(out[2 * i]));
        return p;
    };
    EXPECT_LT(peak(0, 1000), 0.15f);
    EXPECT_NEAR(peak(9600, 19200), 0.5f, 0.02f);
    // The beep is 0.1 s long and loops: 440 Hz throughout, at 48 kHz.
    EXPECT_NEAR(MeasureFrequency(out, 0, 9600, 9600, kMixRate), 440.0, 3.0);
    stream->Fill(fault);

    MixerCommand stop;
    stop.kind = MixerCommand::StopMusic;
    stop.seconds = 0.05f;
    mixer.Apply(stop);
    out = Mix(mixer, 4800);
    EXPECT_EQ(out[2 * 4000], 0.0f);
    EXPECT_LT(std::abs(out[2 * 100]), 0.5f);
}

TEST(Mixer, MissingMusicEndsQuietly) {
    auto stream = std::make_shared<MusicStream>("/nonexistent/music.ogg", true);
    std::string fault;
    EXPECT_FALSE(stream->Fill(fault));
    Mixer mixer;
    MixerCommand play;
    play.kind = MixerCommand::PlayMusic;
    play.music = stream;
    mixer.Apply(play);
    EXPECT_EQ(Mix(mixer, 100)[10], 0.0f);
}

TEST(AudioRing, WrapsAroundAndNeverOverfills) {
    AudioRing ring(8, 2);
    float in[20], out[20];
    for (int i = 0; i < 20; ++i) in[i] = static_cast<float>(i);
    EXPECT_EQ(ring.Write(in, 6), 6u);
    EXPECT_EQ(ring.Read(out, 4), 4u);
    EXPECT_EQ(ring.Write(in, 10), 6u);  // only 6 frames of room
    EXPECT_EQ(ring.Free(), 0u);
    EXPECT_EQ(ring.Read(out, 10), 8u);
    // The two frames left from the first write, then the six of the second, across the wrap.
    EXPECT_EQ(out[0], 8.0f);
    EXPECT_EQ(out[3], 11.0f);
    EXPECT_EQ(out[4], 0.0f);
    EXPECT_EQ(out[15], 11.0f);
    EXPECT_EQ(ring.Available(), 0u);
    EXPECT_EQ(ring.Skip(3), 0u);
}
