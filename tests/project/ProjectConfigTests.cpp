#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>

#include "app/Log.h"
#include "project/ProjectConfig.h"
#include "support/TempDir.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

using namespace Quorvane;
using QuorvaneTest::TempDir;

TEST(JsonReaders, FindKeysByShapeAnywhereInTheText) {
    const std::string json = R"({
        "inner": { "name": "nested", "x": 3.5 },
        "name": "outer",
        "width": "800", "width": 640,
        "height": 60.5,
        "targetFps": -1,
        "pixelPerfect": True,
        "enableFrameLimiter": false,
        "title": "Say \"hi\"",
        "maxDeltaTime": 1e-3,
        "y": .5,
        "wrap": 4294967295,
        "empty": "",
        "multi": "a
b"
    })";
    EXPECT_EQ(ReadJsonString(json, "name", "d"), "nested");   // earlier occurrence wins, at any depth
    EXPECT_EQ(ReadJsonString(json, "title", "d"), "Say \\"); // ends at the first quote, backslash kept
    EXPECT_EQ(ReadJsonString(json, "empty", "d"), "");
    EXPECT_EQ(ReadJsonString(json, "multi", "d"), "a\nb");
    EXPECT_EQ(ReadJsonString(json, "missing", "d"), "d");
    EXPECT_EQ(ReadJsonString(json, "width", "d"), "800");

    EXPECT_EQ(ReadJsonInt(json, "width", 1), 640);     // the string-shaped first entry is skipped
    EXPECT_EQ(ReadJsonInt(json, "height", 1), 60);     // stops at the first non-digit
    EXPECT_EQ(ReadJsonInt(json, "targetFps", 240), 240);
    EXPECT_EQ(ReadJsonInt(json, "wrap", 0), -1);
    EXPECT_EQ(ReadJsonInt(json, "Width", 7), 7);       // case-sensitive

    EXPECT_FLOAT_EQ(ReadJsonFloat(json, "x", 0), 3.5f);
    EXPECT_FLOAT_EQ(ReadJsonFloat(json, "maxDeltaTime", 0), 1.0f);  // no exponent
    EXPECT_FLOAT_EQ(ReadJsonFloat(json, "y", 9), 9.0f);             // ".5" does not match
    EXPECT_FLOAT_EQ(ReadJsonFloat(R"("v": -2.25)", "v", 0), -2.25f);

    EXPECT_TRUE(ReadJsonBool(json, "pixelPerfect", true));
    EXPECT_FALSE(ReadJsonBool(json, "pixelPerfect", false));
    EXPECT_FALSE(ReadJsonBool(json, "enableFrameLimiter", true));
}

TEST(JsonReaders, LongValuesAndManyKeys) {
    // Megabytes of level data in a project file must not bring the reader down.
    const std::string level(3'000'000, 'x');
    std::string json = R"({"level": ")" + level + R"(", )";
    for (int i = 0; i < 100000; ++i) json += R"("title": 5, )";
    json += R"("title": "found"})";
    EXPECT_EQ(ReadJsonString(json, "level", ""), level);
    EXPECT_EQ(ReadJsonString(json, "title", ""), "found");
    EXPECT_EQ(ReadJsonInt(json, "title", 0), 5);
    EXPECT_EQ(ReadJsonString(R"("title": "unterminated)", "title", "d"), "d");
    EXPECT_FLOAT_EQ(ReadJsonFloat(R"("x": -7., "x": 2)", "x", 0), -7.0f);  // "-7" then a point without digits
    EXPECT_FLOAT_EQ(ReadJsonFloat(R"("x": -y, "x": 2)", "x", 0), 2.0f);
    EXPECT_TRUE(ReadJsonBool(R"("b"  :	 truest)", "b", false));
}

TEST(JsonReaders, OutOfRangeNumbersRaiseWithTheirTexts) {
    try {
        ReadJsonInt(R"("width": 4294967296)", "width", 0);
        FAIL() << "no error";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "stoul argument out of range");
    }
    try {
        ReadJsonFloat(R"("x": 1)" + std::string(60, '0'), "x", 0);
        FAIL() << "no error";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "stof argument out of range");
    }
}

TEST(ParseColor, Table) {
    const Color fallback{18, 20, 26};
    struct Case { const char* text; Color expected; };
    const Case cases[] = {
        {"#FFFFFF", {255, 255, 255}},
        {"#ffffff", {255, 255, 255}},
        {"#102030", {16, 32, 48}},
        {"#1g2h3i", {1, 2, 3}},     // a pair stops at its first non-hex character
        {"#fff", fallback},
        {"12141a", fallback},
        {"#12141a0", fallback},
        {"#g01020", fallback},      // no digit at all in a pair
        {"", fallback},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseColor(c.text, fallback), c.expected) << c.text;
    }
}

namespace {

struct Loaded {
    bool ok;
    ProjectConfig config;
};

Loaded Load(const TempDir& dir, const std::string& json, const std::string& folder = "game") {
    dir.Write(std::filesystem::path(folder) / "project.json", json);
    Loaded loaded{false, {}};
    loaded.ok = LoadProject(dir.Path() / folder, loaded.config);
    return loaded;
}

}  // namespace

TEST(LoadProject, OnlyMainClassGivesEveryDefault) {
    TempDir dir;
    const Loaded loaded = Load(dir, R"({"mainClass": "Game.Main"})", "My Game");
    ASSERT_TRUE(loaded.ok);
    const ProjectConfig& c = loaded.config;
    EXPECT_EQ(c.name, "My Game");
    EXPECT_EQ(c.projectRoot, dir.Path() / "My Game");
    EXPECT_EQ(c.mainAssemblyPath, dir.Path() / "My Game");
    EXPECT_EQ(c.mainClass, "Game.Main");
    EXPECT_EQ(c.windowSettings.width, 1280);
    EXPECT_EQ(c.windowSettings.height, 720);
    EXPECT_EQ(c.windowSettings.title, "Quorvane");
    EXPECT_EQ(c.backgroundColor, (Color{18, 20, 26}));
    EXPECT_TRUE(c.pixelPerfect);
    EXPECT_EQ(c.targetFps, 240);
    EXPECT_TRUE(c.enableFrameLimiter);
    EXPECT_FLOAT_EQ(c.maxDeltaTime, 0.05f);
    EXPECT_EQ(c.fixedDeltaTime, 1.0f / 60.0f);
    EXPECT_EQ(c.x, 0.0f);
    EXPECT_EQ(c.y, 0.0f);
}

TEST(LoadProject, FixedDeltaTimeRules) {
    struct Case { const char* json; float expected; };
    const Case cases[] = {
        {R"("fixedDeltaTime": 0.02)", 1.0f / 60.0f},
        {R"("fixedPhysicsFps": 0, "fixedDeltaTime": 0.02)", 0.02f},
        {R"("fixedPhysicsFps": 50, "fixedDeltaTime": 0.5)", 0.02f},
        {R"("fixedPhysicsFps": 4294967295, "fixedDeltaTime": 0.25)", 0.25f},  // wrapped negative
        {R"("fixedPhysicsFps": 0)", 1.0f / 60.0f},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const Loaded loaded = Load(dir, std::string(R"({"mainClass": "M", )") + c.json + "}");
        ASSERT_TRUE(loaded.ok) << c.json;
        EXPECT_EQ(loaded.config.fixedDeltaTime, c.expected) << c.json;
    }
}

TEST(LoadProject, ReadsEveryKey) {
    TempDir dir;
    dir.Write("abs/Game.dll", "");
    const std::string json = R"({"name": "N", "mainClass": "M", "startScene": "S",
        "mainAssembly": "bin/../out/Game.dll", "width": 800, "height": 600, "title": "T",
        "backgroundColor": "#010203", "pixelPerfect": false, "targetFps": 60,
        "enableFrameLimiter": false, "maxDeltaTime": 0.1, "x": 12.5, "y": -3})";
    const Loaded loaded = Load(dir, json);
    ASSERT_TRUE(loaded.ok);
    const ProjectConfig& c = loaded.config;
    EXPECT_EQ(c.name, "N");
    EXPECT_EQ(c.startScene, "S");
    EXPECT_EQ(c.mainAssemblyPath, dir.Path() / "game/out/Game.dll");  // against the project, not the cwd
    EXPECT_EQ(c.windowSettings.width, 800);
    EXPECT_EQ(c.windowSettings.height, 600);
    EXPECT_EQ(c.windowSettings.title, "T");
    EXPECT_EQ(c.backgroundColor, (Color{1, 2, 3}));
    EXPECT_FALSE(c.pixelPerfect);
    EXPECT_EQ(c.targetFps, 60);
    EXPECT_FALSE(c.enableFrameLimiter);
    EXPECT_FLOAT_EQ(c.maxDeltaTime, 0.1f);
    EXPECT_FLOAT_EQ(c.x, 12.5f);
    EXPECT_FLOAT_EQ(c.y, -3.0f);

    const Loaded absolute = Load(dir, R"({"mainClass": "M", "mainAssembly": ")" + (dir.Path() / "abs/./Game.dll").string() + "\"}");
    ASSERT_TRUE(absolute.ok);
    EXPECT_EQ(absolute.config.mainAssemblyPath, dir.Path() / "abs/Game.dll");
}

TEST(LoadProject, FailuresAreLoggedAndReturnFalse) {
    struct Case { const char* json; const char* message; };
    const Case cases[] = {
        {R"({"name": "x"})", "project.json must define mainClass."},
        {R"({"mainClass": ""})", "project.json must define mainClass."},
        {R"({"mainClass": 5})", "project.json must define mainClass."},
        {R"({"width": 99999999999})", "stoul argument out of range"},  // reported instead of mainClass
        {R"({"mainClass": "M", "x": 1000000000000000000000000000000000000000.0})", "stof argument out of range"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        testing::internal::CaptureStderr();
        const Loaded loaded = Load(dir, c.json);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(loaded.ok) << c.json;
        EXPECT_EQ(err, std::string("[Error] ") + c.message + "\n") << c.json;
    }

    TempDir dir;
    ProjectConfig config;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadProject(dir.Path() / "nowhere", config));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[Error] Could not open file: " + (dir.Path() / "nowhere" / "project.json").string() + "\n");
}

// The second reading warns on standard output, each warning with the file, line
// and column; the values stay those of the key search, except that a key at the
// top level beats the same key in a nested object written before it.
TEST(LoadProject, MistakesAreWarnedWithTheirPlace) {
    struct Case {
        const char* name;
        std::string json;
        std::vector<std::string> warnings;  // after "FILE:"
        std::int32_t width = 1280;
    };
    const Case cases[] = {
        {"clean", R"({"mainClass": "M", "width": 960, "x": -2, "maxDeltaTime": 0.1})", {}, 960},
        {"misspelt key", "{\"mainClass\": \"M\",\n  \"widht\": 960}",
         {R"(2:3: unknown key "widht" (did you mean "width"?); it is ignored)"}},
        {"unknown key", R"({"mainClass": "M", "soundtrack": 1})", {R"(1:20: unknown key "soundtrack"; it is ignored)"}},
        {"missing comma", "{\"mainClass\": \"M\"\n  \"width\": 960}",
         {"2:3: project.json is not valid JSON: syntax error while parsing object - unexpected string literal; "
          "expected '}' (is a comma missing?); the values are read as far as they can be"},
         960},
        {"number as string", R"({"mainClass": "M", "width": "960"})",
         {R"(1:20: "width" should be a whole number, not a string; it is ignored)"}},
        {"short colour", R"({"mainClass": "M", "backgroundColor": "#f00"})",
         {R"(1:20: "backgroundColor" should be a colour written "#rrggbb"; "#f00" is ignored)"}},
        {"negative and decimal whole numbers", R"({"mainClass": "M", "targetFps": -1, "height": 60.5})",
         {R"(1:20: "targetFps" should not be negative; -1 is ignored)",
          R"(1:37: "height" should be a whole number; 60.5 is read as 60)"}},
        {"exponent and wrong flags", R"({"mainClass": "M", "maxDeltaTime": 1e-3, "pixelPerfect": "yes", "title": 5})",
         {R"(1:20: "maxDeltaTime" is written with an exponent (1e-3) and is read as 1; write it as a plain decimal number)",
          R"(1:42: "pixelPerfect" should be true or false, not a string; it is ignored)",
          R"(1:65: "title" should be a string, not a whole number; it is ignored)"}},
        {"nested before top level", R"({"window": {"width": 800}, "width": 960, "mainClass": "M"})",
         {R"(1:2: unknown key "window"; it is ignored)",
          R"(1:13: "width" inside "window" stands before the top-level "width" (1:28); the top-level one is used)"},
         960},
        {"nested only", R"({"mainClass": "M", "display": {"width": 800}})",
         {R"(1:20: unknown key "display"; it is ignored)",
          R"(1:32: "width" inside "display" is read as the top-level "width"; move it to the top level if that is meant)"},
         800},
        {"not an object", R"(["mainClass", "M"])", {": project.json should hold one object ({ ... }); the values are read as far as they can be"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        testing::internal::CaptureStdout();
        const Loaded loaded = Load(dir, c.json);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string file = (dir.Path() / "game" / "project.json").string();
        std::string expected;
        for (const std::string& warning : c.warnings) expected += "[Warn] " + file + (warning[0] == ':' ? "" : ":") + warning + "\n";
        EXPECT_EQ(out, expected) << c.name;
        if (std::string(c.name) == "not an object") continue;
        ASSERT_TRUE(loaded.ok) << c.name;
        EXPECT_EQ(loaded.config.windowSettings.width, c.width) << c.name;
    }
}

TEST(LoadProject, NumberOutOfRangeIsNamedBeforeTheError) {
    TempDir dir;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const Loaded loaded = Load(dir, "{\"mainClass\": \"M\",\n \"height\": 5000000000}");
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(out, "[Warn] " + (dir.Path() / "game" / "project.json").string() +
                       ":2:12: \"height\" holds 5000000000, which is out of range\n");
    EXPECT_EQ(err, "[Error] stoul argument out of range\n");
}

// Crafted project folders: whatever stands where project.json should be, the
// load ends at once with one clear error.
TEST(LoadProject, ProjectFileThatIsNotARegularFileOrIsHuge) {
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        std::string reason;
    };
    const Case cases[] = {
        {"folder", [](const std::filesystem::path& file) { std::filesystem::create_directories(file); },
         " (it is a folder)"},
#if !defined(_WIN32)
        {"endless device", [](const std::filesystem::path& file) { std::filesystem::create_symlink("/dev/zero", file); },
         " (it is not a regular file)"},
        {"fifo", [](const std::filesystem::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); },
         " (it is not a regular file)"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::filesystem::path file = dir.Path() / "project.json";
        c.make(file);
        ProjectConfig config;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(LoadProject(dir.Path(), config));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Error] Could not open file: " + file.string() + c.reason + "\n");
    }

    TempDir dir;
    const std::filesystem::path file = dir.Write("project.json", R"({"mainClass": "M"})" + std::string(kMaxTextFileBytes, ' '));
    ProjectConfig config;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadProject(dir.Path(), config));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Error] Could not read file: " + file.string() + " (larger than " +
                                                          std::to_string(kMaxTextFileBytes) + " bytes)\n");
}

TEST(LoadProject, WindowKeys) {
    {
        TempDir dir;
        const Loaded loaded = Load(dir, R"({"mainClass": "M"})");
        ASSERT_TRUE(loaded.ok);
        const WindowSettings& w = loaded.config.windowSettings;
        EXPECT_EQ(w.scaleMode, ScaleMode::None);
        EXPECT_TRUE(w.resizable);
        EXPECT_FALSE(w.fullscreen);
        EXPECT_TRUE(w.cursorVisible);
    }
    {
        TempDir dir;
        const Loaded loaded = Load(dir, R"({"mainClass": "M", "scaleMode": "integer", "resizable": false,
                                            "fullscreen": true, "cursorVisible": false})");
        ASSERT_TRUE(loaded.ok);
        const WindowSettings& w = loaded.config.windowSettings;
        EXPECT_EQ(w.scaleMode, ScaleMode::Integer);
        EXPECT_FALSE(w.resizable);
        EXPECT_TRUE(w.fullscreen);
        EXPECT_FALSE(w.cursorVisible);
    }
    {
        TempDir dir;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const Loaded loaded = Load(dir, R"({"mainClass": "M", "scaleMode": "zoom"})");
        const std::string log = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
        ASSERT_TRUE(loaded.ok) << "an unknown mode is a warning, not a failure";
        EXPECT_EQ(loaded.config.windowSettings.scaleMode, ScaleMode::None);
        EXPECT_NE(log.find("Unknown scaleMode \"zoom\" in project.json; using \"none\""), std::string::npos) << log;
    }
}

TEST(LoadProject, OverlayKey) {
    struct Case {
        const char* json;
        std::optional<std::uint32_t> key;
        const char* warning;  // empty: none
    };
    const Case cases[] = {
        {R"({"mainClass": "M"})", 0x72, ""},
        {R"({"mainClass": "M", "overlayKey": "F9"})", 0x78, ""},
        {R"({"mainClass": "M", "overlayKey": "none"})", std::nullopt, ""},
        {R"({"mainClass": "M", "overlayKey": "9"})", 9, ""},
        {R"({"mainClass": "M", "overlayKey": "Tab"})", 0x72, "Unknown overlayKey \"Tab\" in project.json; using \"F3\""},
        {R"({"mainClass": "M", "overlayKy": "F9"})", 0x72, "did you mean \"overlayKey\""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const Loaded loaded = Load(dir, c.json);
        const std::string log = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
        ASSERT_TRUE(loaded.ok) << c.json;
        EXPECT_EQ(loaded.config.overlayKey, c.key) << c.json;
        if (*c.warning) {
            EXPECT_NE(log.find(c.warning), std::string::npos) << log;
        } else {
            EXPECT_EQ(log.find("[Warn]"), std::string::npos) << log;
        }
    }
}
