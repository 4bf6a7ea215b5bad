// What the PE headers of an executable file say about how it was linked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wine_tests {

struct ExecutableImage {
    std::uint16_t machine = 0;
    std::uint16_t subsystem = 0;
    std::vector<std::string> importedModules;  // as written in the import directory
};

// Reads the file at `path` (a path the C runtime can open); nullopt when it
// is not a well-formed PE32+ image.
std::optional<ExecutableImage> ReadExecutableImage(const std::string& path);

}  // namespace wine_tests
