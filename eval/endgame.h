// Endgame special cases: material balances the general evaluation misjudges
// get a rule, looked up by the position's material key, that either gives
// the exact score or scales the general evaluation down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>

#include "board/types.h"

namespace NEngine {

enum SpecialCaseResult : uint8_t {
    ExactScore = 0,     // the rule's value (White's view) is the evaluation
    DivideBy32 = 1,
    DivideBy8 = 2,
    DivideBy4 = 3,
    DivideBy2 = 4,
    ThreeQuarters = 5,
    NoRule = 6,         // the general evaluation stands unscaled
};

// What a rule returns: the verdict and, for ExactScore, the value.
struct SpecialCaseOutcome {
    SpecialCaseResult result;
    int16_t value;
};

// Rules read the Board only; they must not depend on an evaluation context.
using SpecialCaseRule = std::function<SpecialCaseOutcome(const Board&)>;

// 64-bit FNV-1a over the key's eight bytes, least significant first.
struct MaterialKeyHash {
    size_t operator()(uint64_t key) const noexcept {
        uint64_t h = 0xcbf29ce484222325ull;
        for (int i = 0; i < 8; ++i) {
            h ^= (key >> (8 * i)) & 0xFF;
            h *= 0x100000001b3ull;
        }
        return size_t(h);
    }
};

using SpecialCaseTable = std::unordered_map<uint64_t, SpecialCaseRule, MaterialKeyHash>;

// Fills the table with every known rule (none are registered yet, so every
// position gets NoRule).
void BuildSpecialCaseTable(SpecialCaseTable& table);

// The program-wide table, built on the first call (thread-safe) and read-only
// afterwards. Evaluation contexts take it when they are built, at start-up.
const SpecialCaseTable& GlobalSpecialCaseTable();

// The rule stored for the board's material key, or NoRule.
inline SpecialCaseOutcome FindSpecialCase(const SpecialCaseTable& table, const Board& board) {
    if (table.empty()) return {NoRule, 0};
    const auto it = table.find(board.materialKey);
    if (it == table.end()) return {NoRule, 0};
    return it->second(board);
}

// Scaling of the final score for a verdict: multiply by `multiplier` (as a
// 16-bit value), then shift right arithmetically by `shift`.
struct ScaleFactor {
    int multiplier;
    int shift;
};
constexpr ScaleFactor ScaleFactorOf(SpecialCaseResult result) {
    switch (result) {
        case DivideBy32: return {1, 5};
        case DivideBy8: return {1, 3};
        case DivideBy4: return {1, 2};
        case DivideBy2: return {1, 1};
        case ThreeQuarters: return {3, 2};
        default: return {1, 0};
    }
}

}  // namespace NEngine
