#include "jsonl.h"

#include <cctype>
#include <functional>
#include <istream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <utility>

#include "utf.h"

namespace declconv {
namespace {

using Json = nlohmann::ordered_json;

// A request that cannot be answered; its message goes back as {"error": ...}.
class BadRequest : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A surrogate escape without its partner ("\ud83d" alone) is text the engine can
// make and must get back, but the JSON parser refuses it. Before parsing, each one
// is written as the private-use character U+F0000 + (unit - 0xD800) instead, and
// the text fields turn those back into the code units. A line that holds such
// characters of its own is parsed as it stands.
constexpr char32_t kStandIn = 0xF0000;

bool IsHigh(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code unit of the "\uXXXX" escape at `at`.
std::optional<char16_t> EscapedUnit(std::string_view line, std::size_t at) {
    if (at + 6 > line.size() || line[at] != '\\' || line[at + 1] != 'u') return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = at + 2; i < at + 6; ++i) {
        const int c = std::tolower(static_cast<unsigned char>(line[i]));
        if (!std::isxdigit(c)) return std::nullopt;
        value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    return static_cast<char16_t>(value);
}

void AppendEscape(std::string& out, char32_t unit) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
}

// The line with its lone surrogate escapes replaced by stand-ins, or nothing.
std::optional<std::string> WithStandIns(std::string_view line) {
    // U+F0000 to U+F0FFF as UTF-8 begin so.
    if (line.find("\\u") == std::string_view::npos || line.find("\xF3\xB0") != std::string_view::npos) {
        return std::nullopt;
    }
    std::string out;
    bool replaced = false;
    bool inString = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') inString = !inString;
        if (!inString || line[i] != '\\' || i + 1 == line.size()) {
            out.push_back(line[i]);
            continue;
        }
        const auto unit = EscapedUnit(line, i);
        const auto next = unit ? EscapedUnit(line, i + 6) : std::nullopt;
        if (unit && IsHigh(*unit) && next && IsLow(*next)) {
            if (*unit == 0xDB80 || *unit == 0xDB81) return std::nullopt;  // a stand-in of the line's own
            out.append(line.substr(i, 12));
            i += 11;
        } else if (unit && (IsHigh(*unit) || IsLow(*unit))) {
            const char32_t offset = kStandIn + (*unit - 0xD800u) - 0x10000;
            AppendEscape(out, 0xD800 + (offset >> 10));
            AppendEscape(out, 0xDC00 + (offset & 0x3FF));
            replaced = true;
            i += 5;
        } else {
            out.append(line.substr(i, 2));  // any other escape, with the character it escapes
            ++i;
        }
    }
    if (!replaced) return std::nullopt;
    return out;
}

class Fields {
public:
    Fields(const Json& request, bool standIns) : request_(request), standIns_(standIns) {}

    std::u16string Text(const char* key) const {
        const auto it = request_.find(key);
        if (it == request_.end() || it->is_null()) return {};
        if (!it->is_string()) throw BadRequest(std::string("field \"") + key + "\" must be a string");
        std::u16string text;
        try {
            text = Utf8ToUtf16(it->get_ref<const std::string&>());
        } catch (const std::invalid_argument& e) {
            throw BadRequest(std::string("field \"") + key + "\": " + e.what());
        }
        return standIns_ ? WithoutStandIns(text) : text;
    }

private:
    static std::u16string WithoutStandIns(const std::u16string& text) {
        std::u16string out;
        out.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool pair = IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1]);
            const char32_t cp = pair ? 0x10000 + ((text[i] - 0xD800u) << 10) + (text[i + 1] - 0xDC00u) : 0;
            if (cp >= kStandIn && cp < kStandIn + 0x800) {
                out.push_back(static_cast<char16_t>(0xD800 + (cp - kStandIn)));
                ++i;
            } else {
                out.push_back(text[i]);
            }
        }
        return out;
    }

    const Json& request_;
    bool standIns_;
};

std::int64_t IntegerOption(const std::string& key, const Json& value, std::int64_t low, std::int64_t high) {
    std::int64_t number;
    if (value.is_boolean()) {
        number = value.get<bool>() ? -1 : 0;
    } else if (value.is_number_integer()) {
        number = value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<std::uint64_t>(high)
                     ? high + 1
                     : value.get<std::int64_t>();
    } else {
        throw BadRequest("option \"" + key + "\" must be an integer or a boolean");
    }
    if (number < low || number > high) {
        throw BadRequest("option \"" + key + "\" is out of range (" + std::to_string(low) + " to " +
                         std::to_string(high) + ")");
    }
    return number;
}

declshift::Options ReadOptions(const Json& request) {
    declshift::Options options;
    const auto it = request.find("options");
    if (it == request.end() || it->is_null()) return options;
    if (!it->is_object()) throw BadRequest("field \"options\" must be an object");
    constexpr std::int64_t kShortMin = std::numeric_limits<std::int16_t>::min();
    constexpr std::int64_t kShortMax = std::numeric_limits<std::int16_t>::max();
    const std::map<std::string, std::int16_t declshift::Options::*> flags = {
        {"AutoFormat", &declshift::Options::m_AutoFormat},
        {"ShowParams", &declshift::Options::m_ShowParams},
        {"ExplConst", &declshift::Options::m_ExplConst},
        {"InsertAfterOption", &declshift::Options::m_InsertAfterOption},
    };
    for (const auto& [key, value] : it->items()) {
        if (key == "Charset") {
            options.m_Charset =
                static_cast<std::int32_t>(IntegerOption(key, value, std::numeric_limits<std::int32_t>::min(),
                                                        std::numeric_limits<std::int32_t>::max()));
        } else if (const auto flag = flags.find(key); flag != flags.end()) {
            options.*(flag->second) =
                static_cast<std::int16_t>(IntegerOption(key, value, kShortMin, kShortMax));
        } else {
            throw BadRequest("unknown option \"" + key + "\"");
        }
    }
    return options;
}

// Answers are written here rather than by the JSON library, which cannot hold a
// lone surrogate: every code unit of a result comes back.
std::string ResultOnly(const std::u16string& result) {
    std::string answer = "{\"result\":";
    AppendJsonString(answer, result, JsonText::kUtf8);
    return answer + "}";
}

std::string NameAndResult(const std::u16string& result, const std::u16string& name) {
    std::string answer = "{\"result\":";
    AppendJsonString(answer, result, JsonText::kUtf8);
    answer += ",\"name\":";
    AppendJsonString(answer, name, JsonText::kUtf8);
    return answer + "}";
}

// Each call: how it reads its fields, calls the object and shapes the answer.
using Handler = std::function<std::string(PlugIn&, const Fields&)>;

// A call that takes `name` and `data` by reference and answers with the name after it.
Handler ByReference(std::u16string (PlugIn::*member)(std::u16string&, std::u16string&)) {
    return [member](PlugIn& object, const Fields& fields) {
        auto name = fields.Text("name");
        auto data = fields.Text("data");
        const auto result = (object.*member)(name, data);
        return NameAndResult(result, name);
    };
}

// A call that takes its texts by value: nothing comes back but the result.
Handler ByValue(std::u16string (PlugIn::*member)(std::u16string, std::u16string)) {
    return [member](PlugIn& object, const Fields& fields) {
        return ResultOnly((object.*member)(fields.Text("name"), fields.Text("data")));
    };
}

const std::map<std::string, Handler>& Handlers() {
    static const std::map<std::string, Handler> handlers = {
        {"GetConst", ByReference(&PlugIn::GetConst)},
        {"GetType", ByValue(&PlugIn::GetType)},
        {"GetEnum", ByValue(&PlugIn::GetEnum)},
        {"GetSub", ByReference(&PlugIn::GetSub)},
        {"GetFunc", ByReference(&PlugIn::GetFunc)},
        {"StartsWith",
         [](PlugIn& object, const Fields& fields) {
             auto src = fields.Text("src");
             auto contains = fields.Text("contains");
             return std::string(object.StartsWith(src, contains) ? "{\"result\":true}"
                                                                 : "{\"result\":false}");
         }},
        {"Preview", [](PlugIn& object, const Fields&) { return ResultOnly(object.Preview()); }},
    };
    return handlers;
}

}  // namespace

std::pair<std::string, bool> AnswerRequest(Backend& backend, const std::string& line) {
    Json error;
    try {
        const auto standIns = WithStandIns(line);
        const Json request = Json::parse(standIns ? *standIns : line);
        if (!request.is_object()) throw BadRequest("a request must be a JSON object");
        const auto call = request.find("call");
        if (call == request.end() || !call->is_string()) throw BadRequest("field \"call\" must be a string");
        const auto handler = Handlers().find(call->get<std::string>());
        if (handler == Handlers().end())
            throw BadRequest("unknown call \"" + call->get<std::string>() + "\"");
        const auto options = ReadOptions(request);
        auto object = backend.NewObject();
        object->PutOptions(options);
        return {handler->second(*object, Fields(request, standIns.has_value())), true};
    } catch (const Json::parse_error& e) {
        error = Json{{"error", std::string("malformed JSON: ") + e.what()}};
    } catch (const BadRequest& e) {
        error = Json{{"error", e.what()}};
    } catch (const std::exception& e) {
        error = Json{{"error", std::string("call failed: ") + e.what()}};
    }
    return {error.dump(-1, ' ', false, Json::error_handler_t::replace), false};
}

bool RunJsonLines(Backend& backend, std::istream& in, const tools::OutputSink& out) {
    bool allOk = true;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto [answer, ok] = AnswerRequest(backend, line);
        allOk = allOk && ok;
        answer.push_back('\n');
        out(answer);
    }
    return allOk;
}

}  // namespace declconv
