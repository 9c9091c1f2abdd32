#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "render/software/SoftwareCanvas.h"

#include "app/CommandLine.h"
#include "app/Log.h"
#include "app/ImageCompare.h"
#include "app/Replay.h"
#include "support/ImageFile.h"
#include "support/TempDir.h"

using namespace Quorvane;
using QuorvaneTest::ReadFile;
using QuorvaneTest::TempDir;

namespace {

std::string RecordedFile(const TempDir& dir, const std::vector<std::string>& frames, std::uint64_t seed = 42) {
    const auto path = dir.Path() / "run.replay";
    ReplayRecorder recorder;
    std::string error;
    EXPECT_TRUE(recorder.Open(path, {"My|Game", "My.MainGame", seed}, error)) << error;
    for (const std::string& frame : frames) recorder.AddFrame(frame);
    EXPECT_TRUE(recorder.Finish(error)) << error;
    return ReadFile(path);
}

}  // namespace

TEST(Replay, RoundTripKeepsEveryFrameByteForByte) {
    TempDir dir;
    const std::vector<std::string> frames = {
        "FRAME|0.0166667||412,300|",
        "XINPUT|wheel|1\nXINPUT|text|a\\|b\nFRAME|0.0166667|37,39|0,0|0",  // extended lines lead their frame
        "FRAME|1e-05||-3,2|",
    };
    const std::string text = RecordedFile(dir, frames, 18446744073709551615ull);
    EXPECT_EQ(text.rfind("QUORVANE-REPLAY|1\nGAME|My\\pGame|My.MainGame\nSEED|18446744073709551615\n", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 6), "END|3\n");

    ReplayFile replay;
    std::string error;
    ASSERT_TRUE(LoadReplay(dir.Path() / "run.replay", replay, error)) << error;
    EXPECT_EQ(replay.header.seed, 18446744073709551615ull);
    EXPECT_EQ(replay.frames, frames);
    EXPECT_TRUE(ReplayMatchesGame(replay, "run.replay", "My|Game", "My.MainGame", error)) << error;
    EXPECT_FALSE(ReplayMatchesGame(replay, "run.replay", "My|Game", "Other.MainGame", error));
    EXPECT_EQ(error, "The replay file run.replay was recorded with another game (My\\pGame, My.MainGame), not with My|Game "
                     "(Other.MainGame).");
}

TEST(Replay, AFileThatDoesNotFitIsRefusedWithItsReason) {
    TempDir dir;
    const std::string good = RecordedFile(dir, {"FRAME|0.1||0,0|", "FRAME|0.1||0,0|"});
    const std::string file = PathToString(dir.Path() / "bad.replay");
    struct Case {
        std::string name, text, message;
    };
    const Case cases[] = {
        {"empty", "", file + " is not a Quorvane replay file (it must start with QUORVANE-REPLAY|1)."},
        {"another kind of file", "PNG...\n", file + " is not a Quorvane replay file (it must start with QUORVANE-REPLAY|1)."},
        {"newer version", "QUORVANE-REPLAY|2\n" + good.substr(good.find('\n') + 1),
         "The replay file " + file + " has format version 2; this runtime reads version 1."},
        {"no game line", "QUORVANE-REPLAY|1\nSEED|1\nEND|0\n",
         "The replay file " + file + " is malformed: its second line must be GAME|name|mainClass."},
        {"bad seed", "QUORVANE-REPLAY|1\nGAME|a|b\nSEED|-4\nEND|0\n",
         "The replay file " + file + " is malformed: its third line must be SEED|number."},
        {"cut after a frame", good.substr(0, good.rfind("END|")),
         "The replay file " + file + " is truncated: it ends after 2 frames without its END line (was the recording cut short?)."},
        {"cut inside a line", good.substr(0, good.rfind("END|") - 4),
         "The replay file " + file + " is truncated: it ends after 2 frames without its END line (was the recording cut short?)."},
        {"frame count off", good.substr(0, good.rfind("END|")) + "END|3\n",
         "The replay file " + file + " is damaged: its END line says 3 frames, but it holds 2."},
    };
    for (const Case& c : cases) {
        dir.Write("bad.replay", c.text);
        ReplayFile replay;
        std::string error;
        EXPECT_FALSE(LoadReplay(dir.Path() / "bad.replay", replay, error)) << c.name;
        EXPECT_EQ(error, c.message) << c.name;
    }
    ReplayFile replay;
    std::string error;
    EXPECT_FALSE(LoadReplay(dir.Path() / "missing.replay", replay, error));
    EXPECT_EQ(error, "Could not open the replay file: " + PathToString(dir.Path() / "missing.replay"));
}

TEST(Replay, WindowsLineEndsFromAnEditorStillRead) {
    TempDir dir;
    dir.Write("crlf.replay", "QUORVANE-REPLAY|1\r\nGAME|a|b\r\nSEED|9\r\nFRAME|0.5||1,2|\r\nEND|1\r\n");
    ReplayFile replay;
    std::string error;
    ASSERT_TRUE(LoadReplay(dir.Path() / "crlf.replay", replay, error)) << error;
    EXPECT_EQ(replay.frames, std::vector<std::string>{"FRAME|0.5||1,2|"});
}

TEST(ImageCompare, CountsDifferingPixelsAndWritesTheDiffBesideTheImage) {
    TempDir dir;
    // Expected 3x2: all grey (alpha in the file must not matter).
    std::vector<unsigned char> rgba;
    for (int i = 0; i < 6; ++i) rgba.insert(rgba.end(), {100, 100, 100, 255});
    const auto expected = dir.Path() / "shots" / "level.png";
    std::filesystem::create_directories(expected.parent_path());
    ASSERT_TRUE(QuorvaneTest::WriteRgbaPng(expected, 3, 2, rgba));

    std::vector<std::uint32_t> frame(8, 0xFF646464u);  // stride 4: the padding pixel is not compared
    frame[3] = 0xFF0000FFu;
    ImageComparison result;
    std::string error;
    ASSERT_TRUE(CompareWithImage({frame.data(), 3, 2, 4}, expected, result, error)) << error;
    EXPECT_EQ(result.differing, 0);
    EXPECT_EQ(result.total, 6);
    EXPECT_TRUE(result.diffImage.empty());

    frame[5] = 0xFF646465u;  // one blue step off at (1, 1)
    ASSERT_TRUE(CompareWithImage({frame.data(), 3, 2, 4}, expected, result, error)) << error;
    EXPECT_EQ(result.differing, 1);
    EXPECT_EQ(result.diffImage, dir.Path() / "shots" / "level.diff.png");
    const std::unique_ptr<SoftwareImage> diff = DecodeImageFile(result.diffImage);
    ASSERT_NE(diff, nullptr);
    ASSERT_EQ(diff->Width() * diff->Height(), 6);
    EXPECT_EQ(diff->Row(1)[1] & 0xFFFFFFu, 0xFF0000u);
    EXPECT_NE(diff->Row(0)[0] & 0x00FF00u, 0u);  // the others are a faded copy, not red

    ASSERT_FALSE(CompareWithImage({frame.data(), 2, 2, 4}, expected, result, error));
    EXPECT_EQ(error, "The image " + PathToString(expected) + " is 3x2, the frame is 2x2.");
    ASSERT_FALSE(CompareWithImage({frame.data(), 3, 2, 4}, dir.Path() / "none.png", result, error));
    EXPECT_EQ(error, "The image to compare with was not found: " + PathToString(dir.Path() / "none.png") +
                         " (make one with --screenshot).");
    dir.Write("junk.png", "not an image");
    ASSERT_FALSE(CompareWithImage({frame.data(), 3, 2, 4}, dir.Path() / "junk.png", result, error));
    EXPECT_EQ(error, "The image to compare with could not be read: " + PathToString(dir.Path() / "junk.png"));
}

TEST(ImageCompare, ToleranceIsAShareOrAPercentage) {
    const std::pair<const char*, double> good[] = {{"0", 0.0}, {"0.01", 0.01}, {"1", 1.0}, {"1%", 0.01}, {"100%", 1.0}, {"2.5%", 0.025}};
    for (const auto& [text, want] : good) {
        double tolerance = -1;
        EXPECT_TRUE(ParseTolerance(text, tolerance)) << text;
        EXPECT_DOUBLE_EQ(tolerance, want) << text;
    }
    for (const char* text : {"", "%", "-0.1", "1.5", "101%", "nan", "inf", "0.1x", "5 %"}) {
        double tolerance = 0;
        EXPECT_FALSE(ParseTolerance(text, tolerance)) << text;
    }
}

TEST(CommandLine, DeveloperLoopOptions) {
    struct Case {
        std::vector<const char*> args;
        std::string error;  // empty: accepted
        std::string project = "samples/BasicGame";
        std::string watchFolder = "";
    };
    const Case cases[] = {
        {{"q", "--record", "a.replay", "G"}, "", "G"},
        {{"q", "--replay=a.replay", "--compare", "a.png", "--tolerance", "1%"}, ""},
        {{"q", "--watch"}, "", "samples/BasicGame", ""},
        {{"q", "--watch", "--headless", "G"}, "", "G", ""},
        {{"q", "--watch", "G"}, "", "G", "G"},            // the watched folder is also the game
        {{"q", "--watch", "src", "G"}, "", "G", "src"},   // unless a game is named
        {{"q", "G", "--watch", "src"}, "", "G", "src"},
        {{"q", "--watch=src"}, "", "src", "src"},
        {{"q", "--seed", "18446744073709551615"}, ""},
        {{"q", "--record"}, "--record needs the name of a file."},
        {{"q", "--compare="}, "--compare needs the name of a file."},
        {{"q", "--tolerance", "2"}, "--tolerance needs a share of pixels from 0 to 1 (0.01) or a percentage (1%)."},
        {{"q", "--seed", "-1"}, "--seed needs a whole number from 0 to 18446744073709551615."},
        {{"q", "--seed", "18446744073709551616"}, "--seed needs a whole number from 0 to 18446744073709551615."},
        {{"q", "--record", "a", "--replay", "b"}, "--record and --replay cannot be used together."},
        {{"q", "--replay", "b", "--seed", "3"}, "--seed cannot be used with --replay: the replay file holds its seed."},
        {{"q", "--screenshot", "shots/a.png", "--compare", "shots/../shots/a.png"},
         "--screenshot and --compare name the same file; the comparison would compare the frame with itself."},
        {{"q", "--screenshot", "shots/b.png", "--compare", "shots/a.png"}, ""},
    };
    for (const Case& c : cases) {
        CommandLine line;
        std::string error;
        const bool ok = ParseCommandLine(static_cast<int>(c.args.size()), c.args.data(), line, error);
        EXPECT_EQ(ok, c.error.empty()) << c.args[1] << " " << error;
        EXPECT_EQ(error, c.error) << c.args[1];
        if (!ok) continue;
        EXPECT_EQ(line.projectPath, c.project) << c.args[1];
        EXPECT_EQ(line.watchFolder, c.watchFolder) << c.args[1];
    }
    CommandLine line;
    std::string error;
    const char* args[] = {"q", "--replay", "r", "--compare", "c.png", "--tolerance", "0.5"};
    ASSERT_TRUE(ParseCommandLine(7, args, line, error));
    EXPECT_EQ(line.replay, "r");
    EXPECT_EQ(line.compare, "c.png");
    EXPECT_DOUBLE_EQ(line.tolerance, 0.5);
    EXPECT_FALSE(line.watch);
}
