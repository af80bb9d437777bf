#include "jsonl.h"

#include <functional>
#include <istream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>
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

std::u16string TextField(const Json& request, const char* key) {
    const auto it = request.find(key);
    if (it == request.end() || it->is_null()) return {};
    if (!it->is_string()) throw BadRequest(std::string("field \"") + key + "\" must be a string");
    try {
        return Utf8ToUtf16(it->get_ref<const std::string&>());
    } catch (const std::invalid_argument& e) {
        throw BadRequest(std::string("field \"") + key + "\": " + e.what());
    }
}

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

std::string Utf8(const std::u16string& text) { return Utf16ToUtf8(text); }

// Each call: how it reads its fields, calls the object and shapes the answer.
using Handler = std::function<Json(PlugIn&, const Json&)>;

Json ResultOnly(const std::u16string& result) {
    Json answer;
    answer["result"] = Utf8(result);
    return answer;
}

Json NameAndResult(const std::u16string& result, const std::u16string& name) {
    Json answer;
    answer["result"] = Utf8(result);
    answer["name"] = Utf8(name);
    return answer;
}

// A call that takes `name` and `data` by reference and answers with the name after it.
Handler ByReference(std::u16string (PlugIn::*member)(std::u16string&, std::u16string&)) {
    return [member](PlugIn& object, const Json& request) {
        auto name = TextField(request, "name");
        auto data = TextField(request, "data");
        const auto result = (object.*member)(name, data);
        return NameAndResult(result, name);
    };
}

const std::map<std::string, Handler>& Handlers() {
    static const std::map<std::string, Handler> handlers = {
        {"GetConst",
         [](PlugIn& object, const Json& request) {
             auto name = TextField(request, "name");
             auto data = TextField(request, "data");
             const auto result = object.GetConst(name, data);
             return NameAndResult(result, name);
         }},
        {"StartsWith",
         [](PlugIn& object, const Json& request) {
             auto src = TextField(request, "src");
             auto contains = TextField(request, "contains");
             Json answer;
             answer["result"] = object.StartsWith(src, contains);
             return answer;
         }},
        // By-value texts: nothing comes back but the result.
        {"GetType",
         [](PlugIn& object, const Json& request) {
             auto name = TextField(request, "name");
             auto data = TextField(request, "data");
             return ResultOnly(object.GetType(std::move(name), std::move(data)));
         }},
        {"GetEnum",
         [](PlugIn& object, const Json& request) {
             auto name = TextField(request, "name");
             auto data = TextField(request, "data");
             return ResultOnly(object.GetEnum(std::move(name), std::move(data)));
         }},
        {"Preview", [](PlugIn& object, const Json&) { return ResultOnly(object.Preview()); }},
        // Procedure and function declarations: like GetConst, the by-reference name comes back.
        {"GetSub", ByReference(&PlugIn::GetSub)},
        {"GetFunc", ByReference(&PlugIn::GetFunc)},
    };
    return handlers;
}

}  // namespace

std::pair<std::string, bool> AnswerRequest(Backend& backend, const std::string& line) {
    Json answer;
    bool ok = false;
    try {
        const Json request = Json::parse(line);
        if (!request.is_object()) throw BadRequest("a request must be a JSON object");
        const auto call = request.find("call");
        if (call == request.end() || !call->is_string()) throw BadRequest("field \"call\" must be a string");
        const auto handler = Handlers().find(call->get<std::string>());
        if (handler == Handlers().end())
            throw BadRequest("unknown call \"" + call->get<std::string>() + "\"");
        const auto options = ReadOptions(request);
        auto object = backend.NewObject();
        object->PutOptions(options);
        answer = handler->second(*object, request);
        ok = true;
    } catch (const Json::parse_error& e) {
        answer = Json{{"error", std::string("malformed JSON: ") + e.what()}};
    } catch (const BadRequest& e) {
        answer = Json{{"error", e.what()}};
    } catch (const std::exception& e) {
        answer = Json{{"error", std::string("call failed: ") + e.what()}};
    }
    return {answer.dump(-1, ' ', false, Json::error_handler_t::replace), ok};
}

bool RunJsonLines(Backend& backend, std::istream& in, std::ostream& out) {
    bool allOk = true;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto [answer, ok] = AnswerRequest(backend, line);
        allOk = allOk && ok;
        out << answer << '\n';
        out.flush();
    }
    return allOk;
}

}  // namespace declconv
