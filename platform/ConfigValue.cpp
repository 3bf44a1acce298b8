#include "platform/ConfigValue.hpp"

#include "CorvaneCore/Support/JsonDecodeError.hpp"
#include "CorvaneCore/Support/Base64.hpp"

namespace corvane::platform {

namespace {

constexpr const char* kDataKey = "$data";
constexpr const char* kJsonKey = "$json";

bool isStringObject(const nlohmann::json& json) {
    if (!json.is_object()) return false;
    for (const auto& [key, value] : json.items()) {
        if (!value.is_string()) return false;
    }
    return true;
}

bool isWrapper(const nlohmann::json& json, const char* key) {
    return json.is_object() && json.size() == 1 && json.contains(key);
}

}  // namespace

nlohmann::json configValueToJson(const ConfigValue& value) {
    if (const auto* data = std::get_if<Bytes>(&value)) {
        return nlohmann::json{{kDataKey, base64::encode(*data)}};
    }
    if (const auto* map = std::get_if<StringMap>(&value)) {
        nlohmann::json object = nlohmann::json::object();
        for (const auto& [key, text] : *map) object[key] = text;
        return object;
    }
    const auto& other = std::get<nlohmann::json>(value);
    // A value that would read back as data, as a string map or as a wrapper is wrapped.
    if (isStringObject(other) || isWrapper(other, kDataKey) || isWrapper(other, kJsonKey)) {
        return nlohmann::json{{kJsonKey, other}};
    }
    return other;
}

ConfigValue configValueFromJson(const nlohmann::json& json) {
    if (isWrapper(json, kDataKey) && json.at(kDataKey).is_string()) {
        auto data = base64::decode(json.at(kDataKey).get<std::string>());
        if (!data) throw JsonDecodeError("configuration data is not valid base64");
        return *data;
    }
    if (isWrapper(json, kJsonKey)) return json.at(kJsonKey);
    if (isStringObject(json)) {
        StringMap map;
        for (const auto& [key, value] : json.items()) map[key] = value.get<std::string>();
        return map;
    }
    return json;
}

}  // namespace corvane::platform
