#pragma once

#include <map>
#include <string>
#include <variant>

#include <nlohmann/json.hpp>

#include "platform/Bytes.hpp"

namespace corvane::platform {

using StringMap = std::map<std::string, std::string>;

// One value of a provider configuration: data, a dictionary of strings to strings,
// or any other property-list value (kept as JSON). Data and a string map stay
// distinct through storage and transport.
using ConfigValue = std::variant<Bytes, StringMap, nlohmann::json>;

// The JSON form used by the configuration store and the control socket: data as
// {"$data": "<base64>"}, a string map as an object of strings, any other value as
// itself (wrapped as {"$json": value} where it would read back as one of the two).
nlohmann::json configValueToJson(const ConfigValue& value);
// Throws JsonDecodeError on a "$data" value that is not valid base64.
ConfigValue configValueFromJson(const nlohmann::json& json);

}  // namespace corvane::platform
