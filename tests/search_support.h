// Helpers shared by the move generation and picker tests: list walks,
// brute-force move classes and a varied set of positions.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "board_support.h"
#include "search/movegen.h"
#include "search/movelist.h"

namespace NEngine::SearchTests {

using namespace NEngine::BoardTests;

inline std::vector<Move> Chain(MoveList& list) {
    std::vector<Move> moves;
    list.Rewind();
    while (MoveNode* n = list.Next()) moves.push_back(n->move & MoveMask);
    list.Rewind();
    return moves;
}

inline std::vector<Move> Sorted(std::vector<Move> v) {
    for (Move& m : v) m &= MoveMask;
    std::sort(v.begin(), v.end());
    return v;
}

inline bool NoDuplicates(std::vector<Move> v) {
    v = Sorted(v);
    return std::adjacent_find(v.begin(), v.end()) == v.end();
}

inline bool IsCapture(const Board& b, Move m) {
    return b.mailbox[ToSquare(m)] ||
           (TypeOf(b.mailbox[FromSquare(m)]) == Pawn && b.epSquare > 0 && ToSquare(m) == b.epSquare);
}
inline bool IsCastling(const Board& b, Move m) {
    return TypeOf(b.mailbox[FromSquare(m)]) == King && std::abs(ToSquare(m) - FromSquare(m)) == 2;
}
inline bool GivesCheck(Board& b, Move m) {
    MakeMove(b, m);
    const bool check = b.InCheck();
    UnmakeMove(b, m);
    return check;
}

// Legal moves without rook and bishop promotions and without knight
// promotions whose knight would not attack the king: what pickers produce.
inline std::vector<Move> StagedLegal(const Board& board) {
    std::vector<Move> moves;
    for (Move m : LegalMoves(board))
        if (PromotionOf(m) == 0 || PromotionOf(m) == Queen ||
            (PromotionOf(m) == Knight && KnightWouldCheck(board, ToSquare(m))))
            moves.push_back(m);
    return Sorted(moves);
}

// The perft suite and hand-made positions it lacks (checks of every kind,
// promotions that check, en passant in and out of check, many queens),
// each followed by a short random game from it.
inline const std::vector<std::string>& VariedFens() {
    static const std::vector<std::string> fens = [] {
        std::vector<std::string> starts = {
            "3k4/8/8/8/8/8/QQQ1QQQQ/K1Q1Q3 w - - 0 1",
            "3k4/8/8/8/8/8/QQQ1QQQQ/K1Q1Q3 b - - 0 1",
            "4k3/8/8/8/8/8/4r3/R3K2R w KQ - 0 1",
            "r3k2r/8/8/8/8/8/8/4K2q w kq - 0 1",
            "4k3/8/8/2pP4/1K6/8/8/8 w - c6 0 1",
            "8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1",
            "3rk3/2P1P3/8/8/8/8/5p2/4K1r1 w - - 0 1",
            "8/4P1P1/5k2/8/8/8/8/4K3 w - - 0 1",
            "4k3/8/8/8/1b6/8/4r3/4K3 w - - 0 1",
            "4k3/8/5N2/8/8/8/8/4K2R b K - 0 1",
            "8/2p5/3p4/KP5r/1R2Pp1k/8/6P1/8 b - e3 0 1",
            "k7/8/8/8/8/8/1R6/1R4K1 b - - 0 1",
            "r1bqkbnr/pppp1ppp/2n5/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 0 1",
            "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1",
            "4k3/8/2p5/3p1p2/n7/8/8/3QK3 w - - 0 1",
            "r3k2r/1P4P1/8/3pP3/8/5n2/1p4p1/R3K2R w KQkq d6 0 1",
        };
        for (const SuiteLine& line : ReadSuite()) starts.push_back(line.fen);
        std::vector<std::string> all;
        Random random(2024);
        for (const std::string& fen : starts) {
            auto record = NewBoard(fen);
            Board& b = record->board;
            all.push_back(fen);
            for (int ply = 0; ply < 10; ++ply) {
                const std::vector<Move> legal = LegalMoves(b);
                if (legal.empty()) break;
                MakeMove(b, legal[random.Below(legal.size())]);
                all.push_back(ToFen(b));
            }
        }
        return all;
    }();
    return fens;
}

inline std::unique_ptr<History> ScatteredHistory(uint64_t seed = 7) {
    auto h = std::make_unique<History>();
    Random random(seed);
    for (Colour c : {Black, White})
        for (int f = 0; f < 64; ++f)
            for (int t = 0; t < 64; ++t) h->Set(c, f, t, int32_t(random.Below(400)) - 200);
    return h;
}

}  // namespace NEngine::SearchTests
