#include "project/ProjectJsonCheck.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Log.h"

namespace Quorvane {
namespace {

enum class Expect { Text, Whole, Decimal, Flag, Colour };

struct KnownKey {
    std::string_view name;
    Expect expect;
};

// Every key the runtime reads. A feature that adds a key adds it here too.
constexpr KnownKey kKnownKeys[] = {
    {"name", Expect::Text},         {"mainClass", Expect::Text},        {"startScene", Expect::Text},
    {"mainAssembly", Expect::Text}, {"width", Expect::Whole},           {"height", Expect::Whole},
    {"title", Expect::Text},        {"backgroundColor", Expect::Colour}, {"pixelPerfect", Expect::Flag},
    {"targetFps", Expect::Whole},   {"enableFrameLimiter", Expect::Flag}, {"maxDeltaTime", Expect::Decimal},
    {"fixedPhysicsFps", Expect::Whole}, {"fixedDeltaTime", Expect::Decimal}, {"x", Expect::Decimal},
    {"y", Expect::Decimal},          {"scaleMode", Expect::Text},       {"resizable", Expect::Flag},
    {"fullscreen", Expect::Flag},    {"cursorVisible", Expect::Flag},   {"overlayKey", Expect::Text},
    {"overlapFrames", Expect::Flag},
};

const KnownKey* FindKnown(std::string_view name) {
    for (const KnownKey& key : kKnownKeys) {
        if (key.name == name) return &key;
    }
    return nullptr;
}

enum class Kind { Null, Flag, Negative, Whole, Decimal, Text, Object, Array };

const char* KindWords(Kind kind) {
    switch (kind) {
        case Kind::Null: return "null";
        case Kind::Flag: return "true or false";
        case Kind::Negative: return "a negative number";
        case Kind::Whole: return "a whole number";
        case Kind::Decimal: return "a decimal number";
        case Kind::Text: return "a string";
        case Kind::Object: return "an object";
        case Kind::Array: return "an array";
    }
    return "?";
}

// One key and its value, in the order of the text.
struct Entry {
    std::string key;
    std::size_t depth = 0;  // 1: the top-level object
    std::string owner;      // the key of the object it stands in ("" at the top)
    Kind kind = Kind::Null;
    std::string text;       // strings and decimals as written
    std::size_t offset = 0; // the key's opening quote
};

using Json = nlohmann::json;

// Collects the entries; the parser gives no positions, so the offsets of the
// keys, found by a scan of the (valid) text, are matched to them in order.
class Collector final : public nlohmann::json_sax<Json> {
public:
    explicit Collector(std::vector<std::size_t> keyOffsets) : offsets(std::move(keyOffsets)) {}

    std::vector<Entry> entries;
    bool rootIsObject = true;
    std::optional<std::string> error;  // the parser's message when the text is not JSON

    bool null() override { return Value(Kind::Null, {}); }
    bool boolean(bool) override { return Value(Kind::Flag, {}); }
    bool number_integer(number_integer_t value) override {
        return Value(value < 0 ? Kind::Negative : Kind::Whole, std::to_string(value));
    }
    bool number_unsigned(number_unsigned_t value) override { return Value(Kind::Whole, std::to_string(value)); }
    bool number_float(number_float_t, const string_t& text) override { return Value(Kind::Decimal, text); }
    bool string(string_t& text) override { return Value(Kind::Text, text); }
    bool binary(binary_t&) override { return Value(Kind::Null, {}); }
    bool start_object(std::size_t) override {
        Value(Kind::Object, {});
        stack.push_back({true, {}, OwnerKey()});
        return true;
    }
    bool key(string_t& name) override {
        stack.back().key = name;
        currentOffset = keyIndex < offsets.size() ? offsets[keyIndex] : 0;
        ++keyIndex;
        return true;
    }
    bool end_object() override {
        stack.pop_back();
        return true;
    }
    bool start_array(std::size_t) override {
        Value(Kind::Array, {});
        stack.push_back({false, {}, OwnerKey()});
        return true;
    }
    bool end_array() override {
        stack.pop_back();
        return true;
    }
    bool parse_error(std::size_t position, const std::string& lastToken, const nlohmann::detail::exception& ex) override {
        error = ex.what();
        // The parser counts to the end of the token it choked on; a reader
        // wants its start, where the fault (a missing comma, say) lies.
        errorOffset = position >= lastToken.size() ? position - lastToken.size() : 0;
        return false;
    }

    std::size_t errorOffset = 0;

private:
    struct Level {
        bool isObject;
        std::string key;    // the current key, in an object
        std::string owner;  // the key this container is the value of
    };

    std::string OwnerKey() const {
        if (stack.empty()) return {};
        return stack.back().isObject ? stack.back().key : stack.back().owner;
    }

    bool Value(Kind kind, std::string text) {
        if (stack.empty()) {
            rootIsObject = kind == Kind::Object;
            return true;
        }
        if (!stack.back().isObject) return true;  // array elements have no key
        Entry entry;
        entry.key = stack.back().key;
        entry.depth = stack.size();
        entry.owner = stack.back().owner;
        entry.kind = kind;
        entry.text = std::move(text);
        entry.offset = currentOffset;
        entries.push_back(std::move(entry));
        return true;
    }

    std::vector<Level> stack;
    std::vector<std::size_t> offsets;
    std::size_t keyIndex = 0;
    std::size_t currentOffset = 0;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Offsets of the opening quotes of every object key, in order: a string
// followed by a colon. Only used on text the parser accepted.
std::vector<std::size_t> KeyOffsets(const std::string& text) {
    std::vector<std::size_t> offsets;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '"') {
            ++i;
            continue;
        }
        const std::size_t start = i++;
        while (i < text.size() && text[i] != '"') i += text[i] == '\\' ? 2 : 1;
        ++i;
        std::size_t after = i;
        while (after < text.size() && IsBlank(text[after])) ++after;
        if (after < text.size() && text[after] == ':') offsets.push_back(start);
    }
    return offsets;
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const char ca = static_cast<char>(std::tolower(static_cast<unsigned char>(a[i - 1])));
            const char cb = static_cast<char>(std::tolower(static_cast<unsigned char>(b[j - 1])));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (ca == cb ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool IsHexColour(const std::string& text) {
    if (text.size() != 7 || text[0] != '#') return false;
    return std::all_of(text.begin() + 1, text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// The part of a decimal that the key search reads: digits, an optional point and digits.
std::string DecimalPrefix(const std::string& text) {
    std::size_t end = text[0] == '-' ? 1 : 0;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end + 1 < text.size() && text[end] == '.' && std::isdigit(static_cast<unsigned char>(text[end + 1]))) {
        end += 2;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    }
    return text.substr(0, end);
}

// What is wrong with a top-level value of a known key, or "" when nothing is.
std::string TypeFault(const KnownKey& known, const Entry& entry) {
    const std::string key = "\"" + entry.key + "\"";
    switch (known.expect) {
        case Expect::Text:
            if (entry.kind == Kind::Text) return {};
            return key + " should be a string, not " + KindWords(entry.kind) + "; it is ignored";
        case Expect::Colour:
            if (entry.kind != Kind::Text) return key + " should be a string, not " + KindWords(entry.kind) + "; it is ignored";
            if (IsHexColour(entry.text)) return {};
            return key + " should be a colour written \"#rrggbb\"; \"" + entry.text + "\" is ignored";
        case Expect::Flag:
            if (entry.kind == Kind::Flag) return {};
            return key + " should be true or false, not " + KindWords(entry.kind) + "; it is ignored";
        case Expect::Whole:
            if (entry.kind == Kind::Whole) return {};
            if (entry.kind == Kind::Negative) return key + " should not be negative; " + entry.text + " is ignored";
            if (entry.kind == Kind::Decimal) {
                const std::string read = DecimalPrefix(entry.text);
                const std::size_t point = read.find('.');
                return key + " should be a whole number; " + entry.text + " is read as " + read.substr(0, point);
            }
            return key + " should be a whole number, not " + KindWords(entry.kind) + "; it is ignored";
        case Expect::Decimal:
            if (entry.kind == Kind::Whole || entry.kind == Kind::Negative) return {};
            if (entry.kind == Kind::Decimal) {
                if (entry.text.find_first_of("eE") == std::string::npos) return {};
                return key + " is written with an exponent (" + entry.text + ") and is read as " + DecimalPrefix(entry.text) +
                       "; write it as a plain decimal number";
            }
            return key + " should be a number, not " + KindWords(entry.kind) + "; it is ignored";
    }
    return {};
}

// "parse error at line 2, column 9: syntax error while parsing ..." -> the reason.
std::string InvalidJsonWarning(const std::string& position, const std::string& message) {
    std::string reason = message;
    const std::size_t at = message.find("at line ");
    if (at != std::string::npos) {
        const std::size_t colon = message.find(": ", at);
        if (colon != std::string::npos) reason = message.substr(colon + 2);
    }
    const bool missingComma = reason.find("unexpected") != std::string::npos &&
                              reason.find("end of input") == std::string::npos &&
                              (reason.find("expected '}'") != std::string::npos || reason.find("expected ']'") != std::string::npos);
    std::string text = position + ": project.json is not valid JSON: " + reason;
    if (missingComma) text += " (is a comma missing?)";
    return text + "; the values are read as far as they can be";
}

}  // namespace

std::string DescribePosition(const std::string& fileName, const std::string& text, std::size_t offset) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return fileName + ":" + std::to_string(line) + ":" + std::to_string(column);
}

std::string NearestProjectKey(const std::string& key) {
    std::string best;
    std::size_t bestDistance = 0;
    for (const KnownKey& known : kKnownKeys) {
        const std::size_t distance = EditDistance(key, known.name);
        if (best.empty() || distance < bestDistance) {
            best = std::string(known.name);
            bestDistance = distance;
        }
    }
    // Near means a slip of the fingers, not another word.
    const std::size_t limit = key.size() <= 2 ? 1 : std::clamp<std::size_t>(key.size() / 3, 2, 3);
    return bestDistance <= limit ? best : std::string();
}

ProjectJsonCheck CheckProjectJson(const std::string& json, const std::string& fileName) {
    ProjectJsonCheck result;
    Collector collector(KeyOffsets(json));
    try {
        Json::sax_parse(json, &collector);
    } catch (const std::exception& error) {
        collector.error = error.what();
    }
    if (collector.error) {
        LogWarn(InvalidJsonWarning(DescribePosition(fileName, json, collector.errorOffset), *collector.error));
        return result;
    }
    if (!collector.rootIsObject) {
        LogWarn(fileName + ": project.json should hold one object ({ ... }); the values are read as far as they can be");
        return result;
    }
    const auto where = [&](const Entry& entry) { return DescribePosition(fileName, json, entry.offset) + ": "; };

    std::set<std::string> nestedReported;
    for (const Entry& entry : collector.entries) {
        const KnownKey* known = FindKnown(entry.key);
        if (entry.depth == 1) {
            if (known == nullptr) {
                const std::string nearest = NearestProjectKey(entry.key);
                if (nearest.empty()) {
                    LogWarn(where(entry) + "unknown key \"" + entry.key + "\"; it is ignored");
                } else {
                    LogWarn(where(entry) + "unknown key \"" + entry.key + "\" (did you mean \"" + nearest + "\"?); it is ignored");
                }
            } else if (const std::string fault = TypeFault(*known, entry); !fault.empty()) {
                LogWarn(where(entry) + fault);
            }
            continue;
        }
        if (known == nullptr || !nestedReported.insert(entry.key).second) continue;
        const auto topLevel = std::find_if(collector.entries.begin(), collector.entries.end(),
                                           [&](const Entry& other) { return other.depth == 1 && other.key == entry.key; });
        const std::string inside = entry.owner.empty() ? "in a nested object" : "inside \"" + entry.owner + "\"";
        if (topLevel == collector.entries.end()) {
            LogWarn(where(entry) + "\"" + entry.key + "\" " + inside +
                    " is read as the top-level \"" + entry.key + "\"; move it to the top level if that is meant");
        } else if (topLevel->offset > entry.offset) {
            LogWarn(where(entry) + "\"" + entry.key + "\" " + inside + " stands before the top-level \"" + entry.key +
                    "\" (" + DescribePosition(fileName, json, topLevel->offset).substr(fileName.size() + 1) +
                    "); the top-level one is used");
            result.topLevelOffsets[entry.key] = topLevel->offset;
        }
    }
    return result;
}

}  // namespace Quorvane
