#include "core/meterlink/meter_names.h"

#include "core/meterlink/message_fields.h"
#include "core/store/meter_registry.h"
#include "core/texts/utf8.h"

namespace tev {
namespace {

// Why `name` cannot be a meter's name; empty when it can.
std::string nameProblem(std::string_view name) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < name.size(); ++characters) {
        char32_t code = static_cast<unsigned char>(name[i]);
        std::size_t n = 1;
        if (code >= 0x80) {
            n = utf8Sequence(name, i, code);
            if (n == 0) return "is not UTF-8 text";
        }
        // C0, DEL and C1: a name is shown on one line wherever it goes.
        if (code < 0x20 || (code >= 0x7f && code <= 0x9f)) return "holds a control character";
        i += n;
    }
    if (characters > kMaxMeterNameCharacters)
        return "is longer than " + std::to_string(kMaxMeterNameCharacters) + " characters";
    return {};
}

}  // namespace

MeterNames meterNamesFrom(const std::map<std::string, std::string>& metersGroup,
                          std::vector<std::string>& problems) {
    MeterNames names;
    for (const auto& [key, value] : metersGroup) {
        if (key.rfind(kMeterNameKeyPrefix, 0) != 0) continue;
        const std::string_view id = std::string_view(key).substr(kMeterNameKeyPrefix.size());
        if (id.size() != static_cast<std::size_t>(kMeterIdLength) || !isStorableMeterId(id)) {
            problems.push_back("[meters] " + key + ": \"" + std::string(id) +
                               "\" is not a 12-character meter ID; the name is left out");
            continue;
        }
        if (value.empty()) continue;
        if (const std::string why = nameProblem(value); !why.empty()) {
            problems.push_back("[meters] " + key + ": the name " + why + "; it is left out");
            continue;
        }
        names.byId.emplace(std::string(id), value);
    }
    return names;
}

}  // namespace tev
