// The "fetchRecords" reply as the app reads it from the daemon: a JSON array
// of connection records.
#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "CorvaneCore/Support/JsonDecodeError.hpp"
#include "FuzzCheck.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<ConnectionRecord> records;
    try {
        records = decodeRecordList(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const JsonDecodeError&) {
        return 0;
    }
    // What was read is written back and reads as the same records.
    const std::string encoded = encodeRecordList(records);
    const std::vector<ConnectionRecord> decoded = decodeRecordList(encoded);
    FUZZ_CHECK(decoded == records);
    FUZZ_CHECK(encodeRecordList(decoded) == encoded);
    return 0;
}
