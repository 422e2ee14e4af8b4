// Endgame special cases: material balances the general evaluation misjudges
// get a rule, looked up by the position's material key, that either gives
// the exact score or scales the general evaluation down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

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
// A stored key with its rule. Map nodes never move, so a pointer to one
// stays valid for the table's life (the material cache keeps such pointers).
using SpecialCaseEntry = SpecialCaseTable::value_type;

// The material key of a signature written White's men first, "KRP v KR":
// both kings and exactly the listed men. 0 for text that is not a
// signature (each side a K followed by any of Q, R, B, N, P).
uint64_t SignatureKey(const std::string& signature);

// Fills the table with every known rule. Two signatures naming one key are a
// fault in the table itself: the build reports both on the error stream and
// aborts, as it does for a signature it cannot read. The signatures, as
// text, go to `signatures` when it is given.
void BuildSpecialCaseTable(SpecialCaseTable& table, std::vector<std::string>* signatures = nullptr);

// The program-wide table, built on the first call (thread-safe) and read-only
// afterwards. Evaluation contexts take it when they are built, at start-up.
const SpecialCaseTable& GlobalSpecialCaseTable();

// The side whose exact score falls by one with every reversible ply, or -1:
// the rules for bishop and knight, queen, rook or two bishops against the
// bare king subtract the halfmove clock so that a sooner mate scores higher.
// Their scores therefore depend on the path to a position, not only on the
// position itself; the transposition table stores them relative to the clock.
int ClockCountingSide(const Board& board);

// The stored key and rule for a material key, or null.
inline const SpecialCaseEntry* FindSpecialCaseEntry(const SpecialCaseTable& table, uint64_t materialKey) {
    const auto it = table.find(materialKey);
    return it == table.end() ? nullptr : &*it;
}

// The rule's verdict for the board, or NoRule. The entry's full key is
// compared so that a cache slot taken over by another material (its 32-bit
// check matching by chance) never runs a rule on men it does not expect.
inline SpecialCaseOutcome CallSpecialCase(const SpecialCaseEntry* entry, const Board& board) {
    if (entry == nullptr || entry->first != board.materialKey) return {NoRule, 0};
    return entry->second(board);
}

// The rule stored for the board's material key, or NoRule (a hash-map look-up:
// the evaluation reads the rule cached in its material table instead).
inline SpecialCaseOutcome FindSpecialCase(const SpecialCaseTable& table, const Board& board) {
    return CallSpecialCase(FindSpecialCaseEntry(table, board.materialKey), board);
}

// ---------------------------------------------------------------- the rules
// Each takes the board and the side the rule is about (the side with the
// extra material of its signature, or the pawn side where the rule says so);
// values are from White's view.
using EndgameRule = SpecialCaseOutcome (*)(const Board& board, Colour strong);

// Shared routines, c being the pawn side.
int PawnRaceScore(const Board& board, Colour c);
bool MinorStopsPawn(const Board& board, Colour c);

SpecialCaseOutcome RookMinorVersusRookPawns(const Board& board, Colour minorSide);
SpecialCaseOutcome RookMinorPawnVersusRookMinor(const Board& board, Colour pawnSide);
SpecialCaseOutcome BishopsEnding(const Board& board, Colour ignored);
SpecialCaseOutcome WrongBishop(const Board& board, Colour bishopSide);
SpecialCaseOutcome KingPawnVersusKing(const Board& board, Colour pawnSide);
SpecialCaseOutcome PawnVersusMinor(const Board& board, Colour pawnSide);
SpecialCaseOutcome PawnVersusTwoKnights(const Board& board, Colour pawnSide);
SpecialCaseOutcome RookVersusMinor(const Board& board, Colour rookSide);
SpecialCaseOutcome BishopKnightMate(const Board& board, Colour strong);
SpecialCaseOutcome MopUp(const Board& board, Colour strong);
SpecialCaseOutcome PieceAndPawnVersusPiece(const Board& board, Colour strong);
SpecialCaseOutcome PieceAndTwoPawnsVersusPiece(const Board& board, Colour strong);
SpecialCaseOutcome QueenVersusRook(const Board& board, Colour queenSide);
SpecialCaseOutcome QueenVersusRookPawns(const Board& board, Colour queenSide);
SpecialCaseOutcome RookVersusPawn(const Board& board, Colour rookSide);
SpecialCaseOutcome RookBishopGeometry(const Board& board, Colour strong);

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
