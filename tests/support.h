// Helpers shared by the board, search and evaluation tests: set-up, move
// lists, the perft suite, varied positions, a deterministic random source and
// the tool runner.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"

namespace NEngine::Tests {

// Sanitizer builds run several times slower: the long walks are cut short.
#ifdef TARNOCK_SANITIZED
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif

inline std::unique_ptr<BoardWithHistory> NewBoard(const std::string& fen = StartFen) {
    InitEngineTables();
    auto record = std::make_unique<BoardWithHistory>();
    EXPECT_TRUE(SetFromFen(fen, record->board)) << fen;
    return record;
}

inline std::vector<Move> Generated(const Board& board) {
    NotationMoveList list;
    GenerateAllMoves(board, list);
    std::vector<Move> moves;
    for (uint16_t i = list.head; i != 65535; i = list.nodes[i].next) moves.push_back(list.nodes[i].move);
    return moves;
}

inline std::vector<Move> LegalMoves(const Board& board) {
    std::vector<Move> moves;
    ForEachLegalMove(board, [&](Move m) { return moves.push_back(m), false; });
    return moves;
}

inline Move Coord(const std::string& text) {
    const int from = (text[1] - '1') * 8 + (text[0] - 'a');
    const int to = (text[3] - '1') * 8 + (text[2] - 'a');
    int promotion = 0;
    if (text.size() > 4) promotion = text[4] == 'n' ? 2 : text[4] == 'b' ? 3 : text[4] == 'r' ? 4 : 5;
    return MakeMoveCode(from, to, promotion);
}

// Makes coordinate moves, each required to be legal.
inline void Play(Board& board, const std::vector<std::string>& moves) {
    for (const std::string& text : moves) {
        const Move m = Coord(text);
        ASSERT_TRUE(IsPseudoLegal(board, m) && IsLegalMove(board, m)) << text;
        MakeMove(board, m);
    }
}

struct SuiteLine {
    std::string fen;
    std::vector<std::pair<int, uint64_t>> counts;  // depth, expected leaves
};

// Also readies the tables, since every user goes on to set positions up.
inline std::vector<SuiteLine> ReadSuite() {
    InitEngineTables();
    std::vector<SuiteLine> lines;
    std::ifstream in(std::string(TARNOCK_TEST_DATA) + "/perftsuite.epd");
    std::string text;
    while (std::getline(in, text)) {
        const size_t cut = text.find(';');
        if (cut == std::string::npos) continue;
        SuiteLine line{text.substr(0, cut), {}};
        for (size_t at = cut; at != std::string::npos; at = text.find(';', at + 1)) {
            int depth = 0;
            unsigned long long count = 0;
            if (std::sscanf(text.c_str() + at, ";D%d %llu", &depth, &count) == 2) line.counts.push_back({depth, count});
        }
        lines.push_back(line);
    }
    return lines;
}

// The standard fixes this engine's output exactly: reproducible everywhere.
struct Random : std::mt19937_64 {
    using std::mt19937_64::mt19937_64;
    uint64_t Next() { return (*this)(); }
    size_t Below(size_t n) { return size_t((*this)() % n); }
};

// Standard output of a tarnock-* tool run through the shell, and its status.
inline std::string RunTool(const std::string& commandLine, int* status = nullptr) {
    FILE* pipe = popen((std::string(TARNOCK_BIN_DIR) + "/tarnock-" + commandLine).c_str(), "r");
    std::string output;
    if (!pipe) return output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) output.append(buffer, n);
    const int code = pclose(pipe);
    if (status) *status = code;
    return output;
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

}  // namespace NEngine::Tests
