#include "CorvaneCore/Presets/ServicePreset.hpp"

namespace {

void combine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

void combine(std::size_t& seed, const std::vector<std::string>& texts) {
    combine(seed, texts.size());
    for (const auto& text : texts) combine(seed, std::hash<std::string>{}(text));
}

}  // namespace

std::size_t std::hash<corvane::ServicePreset>::operator()(
    const corvane::ServicePreset& preset) const noexcept {
    std::size_t seed = std::hash<std::string>{}(preset.id);
    combine(seed, std::hash<std::string>{}(preset.name));
    combine(seed, static_cast<std::size_t>(preset.category));
    combine(seed, preset.applications);
    combine(seed, preset.hosts);
    combine(seed, std::hash<std::string>{}(preset.symbolName));
    return seed;
}
