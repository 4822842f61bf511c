// Signs test publications with the build tree's throwaway publisher key, so the test
// server can answer "<path>.sig" for whatever it serves at <path>.
#pragma once

#include <optional>
#include <string>

namespace testserver {

// The 64-byte signature (r then s) of bytes; nullopt when this build has no private key
// to sign with (a build that verifies nothing, or one given only a public key).
std::optional<std::string> SignForTests(const std::string& bytes);

}  // namespace testserver
