// Figures of the endgame knowledge:
//   tarnock-endgame            the king-and-pawn bitbase (set bits, a/h-side
//                              symmetry, solving passes and time) and the
//                              number of material keys with a rule
//   tarnock-endgame FEN        the rule for a position and its verdict
#include <chrono>
#include <iostream>
#include <memory>
#include <string>

#include "board/attacks.h"
#include "board/board.h"
#include "eval/endgame.h"
#include "eval/kpk.h"

using namespace NEngine;

namespace {

const char* const VerdictNames[] = {"exact", "1/32", "1/8", "1/4", "1/2", "3/4", "no rule"};

int Figures() {
    static KpkTable solved;
    KpkTable* table = &solved;
    double best = 1e30;
    int passes = 0;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        passes = BuildKpkBitbase(*table);
        const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
        if (spent.count() < best) best = spent.count();
    }
    long bits = 0;
    long asymmetric = 0;
    for (int wk = 0; wk < 64; ++wk)
        for (int index = 0; index < 128; ++index) {
            const uint64_t word = (*table)[wk][index];
            bits += __builtin_popcountll(word);
            const int bk = index / 2;
            const uint64_t mirror = (*table)[wk ^ 7][(bk ^ 7) * 2 + (index & 1)];
            for (int pawn = 0; pawn < 64; ++pawn)
                if (((word >> pawn) & 1) != ((mirror >> (pawn ^ 7)) & 1)) ++asymmetric;
        }
    bool same = true;
    for (int wk = 0; wk < 64; ++wk)
        for (int index = 0; index < 128; ++index) same = same && (*table)[wk][index] == KpkBitbase[wk][index];

    std::cout << "kpk set bits " << bits << " asymmetric " << asymmetric << " passes " << passes << " build ms "
              << best << (same ? "" : " (differs from the start-up table)") << "\n";
    std::cout << "special-case keys " << GlobalSpecialCaseTable().size() << "\n";
    return asymmetric == 0 && same ? 0 : 1;
}

int Verdict(const std::string& fen) {
    auto record = std::make_unique<BoardWithHistory>();
    if (!SetFromFen(fen, record->board)) {
        std::cerr << "not a position: " << fen << "\n";
        return 2;
    }
    const Board& board = record->board;
    const SpecialCaseEntry* entry = FindSpecialCaseEntry(GlobalSpecialCaseTable(), board.materialKey);
    if (entry == nullptr) {
        std::cout << "no rule for this material\n";
        return 0;
    }
    const SpecialCaseOutcome outcome = CallSpecialCase(entry, board);
    std::cout << VerdictNames[outcome.result];
    if (outcome.result == ExactScore) std::cout << " " << outcome.value;
    std::cout << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    InitEngineTables();
    if (argc > 1) return Verdict(argv[1]);
    return Figures();
}
