#pragma once
// SHA-256 (FIPS 180-4) of a byte string, for the hashes a backup's manifest keeps of its files.
#include <string>
#include <string_view>

namespace spoolsweep::preview {

// The digest as 64 lower-case hexadecimal digits.
[[nodiscard]] std::string Sha256Hex(std::string_view bytes);

}  // namespace spoolsweep::preview
