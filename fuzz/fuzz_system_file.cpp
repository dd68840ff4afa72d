// Arbitrary bytes through the system-file reader and, for files that read, a
// coarse diagram over at most 20 temperatures of their range: no crash, no
// sanitizer report, no hang.
#include "engine/diagram/diagram.h"
#include "formats/system_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    System s;
    InputError error;
    if (!parse_system(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.toml", s, error))
        return 0;
    if (s.range.count > 20) {
        s.range.step = (s.range.at(s.range.count - 1) - s.range.first) / 19.0;
        s.range.count = 20;
    }
    const Diagram d = compute_diagram(s);
    return static_cast<int>(d.rows.size() > 20);
}
