#include "Shared/ProviderRequest.hpp"

namespace corvane {

std::string_view toString(ProviderRequest::Kind kind) {
    switch (kind) {
        case ProviderRequest::Kind::fetchRecords: return "fetchRecords";
        case ProviderRequest::Kind::reloadProfile: return "reloadProfile";
    }
    return {};
}

std::optional<ProviderRequest::Kind> providerRequestKindFromString(std::string_view text) {
    using Kind = ProviderRequest::Kind;
    for (const Kind kind : {Kind::fetchRecords, Kind::reloadProfile}) {
        if (toString(kind) == text) return kind;
    }
    return std::nullopt;
}

ProviderRequest ProviderRequest::fromJson(const json::Json& value) {
    json::requireObject(value, "provider request");
    const auto text = json::required<std::string>(value, "kind");
    const auto kind = providerRequestKindFromString(text);
    if (!kind) throw JsonDecodeError("“kind”: unknown value “" + text + "”.");
    ProviderRequest request{*kind, std::nullopt};
    if (const json::Json* profile = json::find(value, "profile")) {
        request.profile = Profile::fromJson(*profile);
    }
    return request;
}

ProviderRequest ProviderRequest::decode(std::string_view data) {
    return fromJson(json::parse(data));
}

std::string ProviderRequest::encoded() const {
    return toJson(*this).dump(-1, ' ', false, json::Json::error_handler_t::replace);
}

json::Json toJson(const ProviderRequest& request) {
    json::Json object = {{"kind", std::string(toString(request.kind))}};
    if (request.profile) object["profile"] = toJson(*request.profile);
    return object;
}

}  // namespace corvane
