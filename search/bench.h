// The bench: a fixed set of positions searched to a fixed depth on one
// thread with a fresh table. Its node count is the build's signature (equal
// builds search equal trees); its speed is the engine's nodes per second.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace NEngine {

constexpr int BenchDepth = 11;
constexpr uint32_t BenchHashMegabytes = 16;

// The bench positions, in FEN.
const std::vector<std::string>& BenchPositions();

struct BenchTotals {
    uint64_t nodes = 0;
    double seconds = 0;
    int positions = 0;
};

// Searches the first `count` positions (all when count <= 0) to `depth`,
// writing one line per position and then "N nodes R nps".
BenchTotals RunBench(std::ostream& out, int depth = BenchDepth, int count = 0);

}  // namespace NEngine
