#pragma once
// Starts a program that outlives the caller and is nobody's child to wait for, in `workDir`, with
// `handOver` readable on its descriptor 3 (a pipe, written whole before this returns): a way to
// give it something secret that never shows on a command line or in an environment.

#include <string>
#include <vector>

namespace kel {

// False with `error` when the program could not be started (its own failure comes later).
bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& workDir, const std::string& handOver, std::string& error);

}  // namespace kel
