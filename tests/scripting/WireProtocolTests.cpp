#include <gtest/gtest.h>

#include <cmath>

#include "scripting/WireProtocol.h"
#include "support/TempDir.h"

using namespace Quorvane;

namespace {

struct Logged {
    std::string out;
    std::string err;
};

Logged Handle(ProtocolState& state, const std::vector<std::string>& lines) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (const std::string& line : lines) HandleLine(state, line);
    Logged logged;
    logged.out = testing::internal::GetCapturedStdout();
    logged.err = testing::internal::GetCapturedStderr();
    return logged;
}

}  // namespace

TEST(SplitFields, Table) {
    struct Case { const char* line; std::vector<std::string> fields; };
    const Case cases[] = {
        {"RECT|1|2", {"RECT", "1", "2"}},
        {"RECT|1|2|", {"RECT", "1", "2"}},
        {"RECT||2", {"RECT", "", "2"}},
        {"|a", {"", "a"}},
        {"||", {"", ""}},
        {"", {}},
        {"A", {"A"}},
    };
    std::vector<std::string_view> fields;
    for (const Case& c : cases) {
        SplitFields(c.line, fields);
        EXPECT_EQ(std::vector<std::string>(fields.begin(), fields.end()), c.fields) << c.line;
    }
}

TEST(HandleLine, FlagsLogsAndUnknownLines) {
    ProtocolState state;
    const Logged logged = Handle(state, {
        "READY", "STARTED", "END_FRAME",
        "LOG|Info|hello", "LOG|warn|lower", "LOG||empty", "LOG|Warn|a|b", "LOG|Error|bad", "LOG|nobar",
        "ERROR|boom", "ERROR|", "", "READY ", "END_FRAME ", "something else", "\r",
    });
    EXPECT_TRUE(state.ready);
    EXPECT_TRUE(state.started);
    EXPECT_TRUE(state.frameEnded);
    EXPECT_EQ(logged.out,
              "[Info] hello\n[Info] lower\n[Info] empty\n[Warn] a|b\n"
              "[Info] [ScriptHost] READY \n[Info] [ScriptHost] END_FRAME \n[Info] [ScriptHost] something else\n"
              "[Info] [ScriptHost] \r\n");
    EXPECT_EQ(logged.err, "[Error] bad\n[Error] boom\n[Error] \n");
}

TEST(HandleLine, DrawingLines) {
    QuorvaneTest::TempDir dir;
    ProtocolState state;
    state.projectRoot = dir.Path();
    const std::string absolute = (dir.Path() / "abs" / "." / "x.png").string();
    const Logged logged = Handle(state, {
        "RECT|1|2|3|4|256|-1|300",
        "RECT|1|2|3|4|5|6",             // 7 fields: dropped
        "RECT|1|2|3|4|5|6|7|8",         // 9 fields: dropped
        "RECT|12.5px|0|0|0|0|0|0",
        "DEBUG_RECT|0|0|8|8|10|20|30",
        "SPRITE|0|0|16|16|255|255|255|",                 // 8 fields: dropped
        "SPRITE|0|0|16|16|255|255|255||false|false",    // 11 fields: kept, empty texture
        "SPRITE|1|2|3|4|5|6|7|img/../hero.png|True|TRUE",
        "SPRITE|1|2|3|4|5|6|7|hero.png|true",           // 10 fields: dropped
        "SPRITE|1|2|3|4|5|6|7|" + absolute,
        "COLLIDER|7|1|2|3|4",
        "COLLIDER|7|1|2|3|4",
        "COLLIDER|7|1|2|3",
    });
    EXPECT_EQ(logged.out, "");
    EXPECT_EQ(logged.err, "");
    const FrameSnapshot& s = state.snapshot;
    ASSERT_EQ(s.rects.size(), 2u);
    EXPECT_EQ(s.rects[0].color, (Color{0, 255, 44}));
    EXPECT_EQ(s.rects[0].width, 3.0f);
    EXPECT_EQ(s.rects[1].x, 12.5f);
    ASSERT_EQ(s.debugRects.size(), 1u);
    EXPECT_EQ(s.debugRects[0].color, (Color{10, 20, 30}));
    ASSERT_EQ(s.sprites.size(), 3u);
    EXPECT_EQ(s.sprites[0].texturePath, dir.Path());
    EXPECT_FALSE(s.sprites[0].flipX);
    EXPECT_EQ(s.sprites[1].texturePath, dir.Path() / "hero.png");
    EXPECT_TRUE(s.sprites[1].flipX);
    EXPECT_FALSE(s.sprites[1].flipY);
    EXPECT_EQ(s.sprites[1].color, (Color{5, 6, 7}));
    EXPECT_EQ(s.sprites[2].texturePath, dir.Path() / "abs" / "x.png");
    ASSERT_EQ(s.colliders.size(), 2u);
    EXPECT_EQ(s.colliders[1].id, 7);
    EXPECT_EQ(s.colliders[1].height, 4.0f);
}

// A busy frame's SPRITE lines are read in one pass; every other spelling of the
// same line goes the general way. Both must give the same sprite, and the shapes
// at the edge of the common form must be kept or dropped as before.
TEST(HandleLine, SpriteLinesReadTheSameInEveryForm) {
    struct Pair {
        const char* common;
        const char* other;
    };
    const Pair pairs[] = {
        {"SPRITE|1.5|-2|32|32|255|128|0|a.png", "SPRITE| 1.5|-2.0|3.2e1|+32|255|128|0|a.png"},
        {"SPRITE|-0|0.1|1031.7523|.5|-5|300|7|a.png|true|false", "SPRITE|-0.0|1e-1|1031.75230|0.5e0|-5|300|7|a.png|True|no"},
        {"SPRITE|12|3|4|5|6|7|8|a.png", "SPRITE|12abc|3|4|5|6|7|00000008|a.png|"},
        {"SPRITE|0.12345678|1|1|1|0|0|0|a.png", "SPRITE|0.123456780|1|1|1|0|0|0|a.png"},
        {"SPRITE|1|1|1|1|0|0|0|a.png|false|true", "SPRITE|1|1|1|1|0|0|0|a.png||true"},
    };
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.other);
        ProtocolState state;
        const Logged logged = Handle(state, {pair.common, pair.other});
        EXPECT_EQ(logged.out + logged.err, "");
        ASSERT_EQ(state.snapshot.sprites.size(), 2u);
        const SpriteCommand& a = state.snapshot.sprites[0];
        const SpriteCommand& b = state.snapshot.sprites[1];
        for (const auto field : {&SpriteCommand::x, &SpriteCommand::y, &SpriteCommand::width, &SpriteCommand::height}) {
            EXPECT_EQ(std::signbit(a.*field), std::signbit(b.*field));
            EXPECT_EQ(a.*field, b.*field);
        }
        EXPECT_EQ(a.color, b.color);
        EXPECT_EQ(a.texturePath, b.texturePath);
        EXPECT_EQ(a.flipX, b.flipX);
        EXPECT_EQ(a.flipY, b.flipY);
    }
    ProtocolState state;
    Handle(state, {"SPRITE|1|2|3|4|5|6|7|a.png|true|", "SPRITE|1|2|3|4|5|6|7|a.png|true|false|x", "SPRITE|1|2|3|4|5|6|7"});
    EXPECT_EQ(state.snapshot.sprites.size(), 0u);  // 10, 12 and 8 fields
}

TEST(HandleLine, MalformedNumbersDropTheLine) {
    ProtocolState state;
    const Logged logged = Handle(state, {
        "RECT|x|0|1|1|0|0|0",
        "RECT|0|0|1e99|1|0|0|0",
        "RECT|0|0|1|1|0|0|99999999999",
        "COLLIDER|99999999999|0|0|1|1",
        "COLLIDER|1.5|0|0|1|1",          // an int field stops at the point: id 1
        "CAMERA|5|oops",
        "RECT|nan|inf|1|1|0|0|0",   // readable numbers: kept, stored as they come
    });
    EXPECT_EQ(logged.out + logged.err, "");
    ASSERT_EQ(state.snapshot.rects.size(), 1u);
    EXPECT_TRUE(std::isnan(state.snapshot.rects[0].x));
    ASSERT_EQ(state.snapshot.colliders.size(), 1u);
    EXPECT_EQ(state.snapshot.colliders[0].id, 1);
    EXPECT_EQ(state.snapshot.camera.x, 0.0f);
}

TEST(HandleLine, Camera) {
    ProtocolState state;
    const CameraState initial = state.snapshot.camera;
    EXPECT_EQ(initial.zoom, 1.0f);
    EXPECT_EQ(initial.viewWidth, 1280.0f);
    EXPECT_EQ(initial.viewHeight, 720.0f);

    Handle(state, {"CAMERA|1|2|0|640|360", "CAMERA|5|6|2", "CAMERA|9"});
    const CameraState& camera = state.snapshot.camera;
    EXPECT_EQ(camera.x, 5.0f);
    EXPECT_EQ(camera.y, 6.0f);
    EXPECT_EQ(camera.zoom, 0.0f);  // stored as received
    EXPECT_EQ(camera.viewWidth, 640.0f);
    EXPECT_EQ(camera.viewHeight, 360.0f);
    Handle(state, {"CAMERA|1|1|3|4|5|6|7"});
    EXPECT_EQ(camera.zoom, 3.0f);
    EXPECT_EQ(camera.viewHeight, 5.0f);
}

TEST(ComposeFrameLine, Forms) {
    InputState input;
    EXPECT_EQ(ComposeFrameLine(1.0f / 60.0f, input), "FRAME|0.0166667||0,0|");
    EXPECT_EQ(ComposeFrameLine(0.00001f, input), "FRAME|1e-05||0,0|");
    input.SetKey(65, true);
    input.SetKey(16, true);
    input.SetMouseButton(0, true);
    input.SetMousePosition(-5, 12);
    EXPECT_EQ(ComposeFrameLine(0.1f, input), "FRAME|0.1|16,65|-5,12|0");
}

TEST(InputState, RecordsLevelsAndIgnoresOutOfRange) {
    InputState input;
    EXPECT_EQ(input.FormatPressedKeys(), "");
    EXPECT_EQ(input.FormatPressedButtons(), "");
    input.SetKey(256, true);
    input.SetMouseButton(8, true);
    input.SetMouseButton(2, true);
    input.SetMouseButton(0, true);
    input.SetKey(255, true);
    input.SetKey(0, true);
    EXPECT_EQ(input.FormatPressedKeys(), "0,255");
    EXPECT_EQ(input.FormatPressedButtons(), "0,2");
    input.EndFrame();
    input.SetKey(0, false);
    input.SetMouseButton(1, true);
    EXPECT_EQ(input.FormatPressedKeys(), "255");
    EXPECT_EQ(input.FormatPressedButtons(), "0,1,2");
}

// A tap shorter than a frame reads as down in its frame and up in the next.
TEST(InputState, TapsWithinOneFrameAreReportedForOneFrame) {
    struct Case {
        const char* name;
        void (*between)(InputState&);  // what happens before the first read
        const char* firstKeys;
        const char* firstButtons;
        const char* secondKeys;
        const char* secondButtons;
    };
    const Case cases[] = {
        {"key tap", [](InputState& in) { in.SetKey(32, true); in.SetKey(32, false); }, "32", "", "", ""},
        {"click", [](InputState& in) { in.SetMouseButton(0, true); in.SetMouseButton(0, false); }, "", "0", "", ""},
        {"double tap", [](InputState& in) { for (int i = 0; i < 2; ++i) { in.SetKey(65, true); in.SetKey(65, false); } }, "65", "", "", ""},
        {"tap then hold", [](InputState& in) { in.SetKey(65, true); in.SetKey(65, false); in.SetKey(65, true); }, "65", "", "65", ""},
        {"release only", [](InputState& in) { in.SetKey(65, false); }, "", "", "", ""},
    };
    for (const Case& c : cases) {
        InputState input;
        c.between(input);
        EXPECT_EQ(input.FormatPressedKeys(), c.firstKeys) << c.name;
        EXPECT_EQ(input.FormatPressedButtons(), c.firstButtons) << c.name;
        input.EndFrame();
        EXPECT_EQ(input.FormatPressedKeys(), c.secondKeys) << c.name;
        EXPECT_EQ(input.FormatPressedButtons(), c.secondButtons) << c.name;
    }
}

TEST(Extensions, DeclarationIsSilentAndNamesAreParsed) {
    ProtocolState state;
    const Logged logged = Handle(state, {"EXTENSIONS|draw,nonsense,frames,"});
    EXPECT_EQ(logged.out, "");
    EXPECT_EQ(logged.err, "");
    EXPECT_TRUE(state.extensions.Has(Extension::Draw));
    EXPECT_TRUE(state.extensions.Has(Extension::Frames));
    EXPECT_FALSE(state.extensions.Has(Extension::Audio));
    EXPECT_EQ(FormatExtensionList(state.extensions), "draw,frames");
    EXPECT_EQ(FormatExtensionList(ParseExtensionList("")), "");
}

TEST(Extensions, FaultsAreReportedOncePerKind) {
    ProtocolState state;
    testing::internal::CaptureStdout();
    for (int frame = 0; frame < 3; ++frame) {
        ReportLineFault(state, "XRECT", "expected 12 fields, got 3");
        ReportLineFault(state, "XRECT", "x is not a number");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Warn] Dropped a malformed XRECT line: expected 12 fields, got 3\n"
              "[Warn] Dropped a malformed XRECT line: x is not a number\n");
}

// The "frames" lines: numbered ends, QUIT and failure reports, with their faults
// warned once; a host that did not declare them sees them as unknown lines.
TEST(FramesExtension, LinesAndFaults) {
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        bool frameEnded;
        std::size_t rectsLeft;
        std::string out;
    };
    const Case cases[] = {
        {"its own frame", {"RECT|0|0|1|1|0|0|0", "END_FRAME|5"}, true, 1, ""},
        {"a late frame drops its lines", {"RECT|0|0|1|1|0|0|0", "END_FRAME|4", "RECT|1|0|1|1|0|0|0"}, false, 1, ""},
        {"ahead", {"END_FRAME|6"}, false, 0, "[Warn] Dropped a malformed END_FRAME line: the frame number is ahead of the frames sent\n"},
        {"not a number", {"END_FRAME|x", "END_FRAME|5x", "END_FRAME|"}, false, 0,
         "[Warn] Dropped a malformed END_FRAME line: the frame number is not a whole number\n"},
        {"the bare end still ends", {"END_FRAME"}, true, 0, ""},
        {"quit with a field", {"QUITTING"}, false, 0, "[Warn] Dropped a malformed QUIT line: QUIT takes no fields\n"},
        {"failure where", {"GAME_FAILED|Render|T|m"}, false, 0,
         "[Warn] Dropped a malformed GAME_FAILED line: where must be Load, Update, FixedUpdate or Draw\n"},
        {"stack line", {"GAME_STACK|-1|M|f", "GAME_STACK|x"}, false, 0,
         "[Warn] Dropped a malformed GAME_STACK line: line is not a whole number of 0 or more\n"
         "[Warn] Dropped a malformed GAME_STACK line: expected GAME_STACK|line|method|file\n"},
    };
    for (const Case& c : cases) {
        ProtocolState state;
        state.extensions = ParseExtensionList("frames");
        state.frameNumber = 5;
        const Logged logged = Handle(state, c.lines);
        EXPECT_EQ(state.frameEnded, c.frameEnded) << c.name;
        EXPECT_EQ(state.snapshot.rects.size(), c.rectsLeft) << c.name;
        EXPECT_EQ(logged.out, c.out) << c.name;
        EXPECT_EQ(logged.err, "") << c.name;
    }

    ProtocolState state;
    state.extensions = ParseExtensionList("frames");
    Handle(state, {"QUIT", "GAME_STACK|1|Ignored|before any failure", "GAME_FAILED|Draw|System.Exception|a|b\\nc",
                   "GAME_STACK|12|Game.Draw|/src/a|b.cs", "GAME_FAILED|Update|Second|ignored"});
    EXPECT_TRUE(state.quitRequested);
    ASSERT_TRUE(state.gameFailure.has_value());
    EXPECT_EQ(DescribeGameFailure(*state.gameFailure),
              (std::vector<std::string>{"Draw failed: System.Exception: a|b\nc", "   at Game.Draw in /src/a|b.cs:line 12"}));
    // A game mended under --watch takes over again; a later failure is a new one.
    const Logged resumed = Handle(state, {"GAME_RESUMED|now", "GAME_RESUMED"});
    EXPECT_EQ(resumed.out, "[Warn] Dropped a malformed GAME_RESUMED line: GAME_RESUMED takes no fields\n");
    EXPECT_FALSE(state.gameFailure.has_value());
    Handle(state, {"GAME_FAILED|Update|Second|counted now"});
    ASSERT_TRUE(state.gameFailure.has_value());
    EXPECT_EQ(state.gameFailure->type, "Second");

    ProtocolState base;
    const Logged logged = Handle(base, {"END_FRAME|1", "QUIT"});
    EXPECT_FALSE(base.frameEnded);
    EXPECT_FALSE(base.quitRequested);
    EXPECT_EQ(logged.out, "[Info] [ScriptHost] END_FRAME|1\n[Info] [ScriptHost] QUIT\n");
}
