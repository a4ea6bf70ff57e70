// Input: one byte giving the name's length (mod 33), the name, then a driver line.
// Matching must stay inside the line, and whatever it finds must be an identifier
// that a delete then recognises in the same line.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "store/format_id.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t name_length = data[0] % 33;
    if (size < 1 + name_length) return 0;
    const std::string_view name(reinterpret_cast<const char*>(data + 1), name_length);
    const std::string_view line(reinterpret_cast<const char*>(data + 1 + name_length),
                                size - 1 - name_length);
    const std::string_view id = match_format_id(line, name);
    if (id.empty()) return 0;
    const bool inside =
        id.data() >= line.data() && id.data() + id.size() <= line.data() + line.size();
    if (!inside || id.substr(0, 3) != "ZkL" || id.size() < 15 || !contains_format_id(line, id))
        __builtin_trap();
    return 0;
}
