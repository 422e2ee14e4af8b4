// Helpers shared by the board tests: set-up, move lists, the test suite's
// positions and a small deterministic random source.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"

namespace NEngine::BoardTests {

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
    for (const Move m : Generated(board))
        if (IsLegalMove(board, m)) moves.push_back(m);
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

// xorshift64*: reproducible games without depending on the library's engines.
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed | 1) {}
    uint64_t Next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1Dull;
    }
    size_t Below(size_t n) { return size_t(Next() % n); }
};

}  // namespace NEngine::BoardTests
