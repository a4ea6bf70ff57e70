// Input: one byte giving the name's length (mod 33), the name, then a driver line.
// Matching must stay inside the line, and whatever it finds must be an identifier
// that a delete then recognises in the same line.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "store/format_id.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size < 1u + data[0] % 33) return 0;
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::string_view name = all.substr(1, data[0] % 33), line = all.substr(1 + name.size());
    const std::string_view id = match_format_id(line, name);
    if (id.empty()) return 0;
    const bool inside = id.data() >= line.data() && id.end() <= line.end();
    if (!inside || !refers_to_format(line, id)) __builtin_trap();
    return 0;
}
