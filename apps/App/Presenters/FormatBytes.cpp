#include "FormatBytes.hpp"

#include <algorithm>
#include <limits>

#include <QLocale>

namespace corvane::app {

QString formatBytes(std::uint64_t count) {
    constexpr auto largest = static_cast<std::uint64_t>(std::numeric_limits<qint64>::max());
    const auto bytes = static_cast<qint64>(std::min(count, largest));
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

}  // namespace corvane::app
