// Leaf counts of the legal move tree against known values, through the
// library and through the tarnock-perft tool.
#include <cstdio>
#include <regex>
#include <sstream>

#include "board_support.h"

namespace NEngine::BoardTests {
namespace {

uint64_t Perft(Board& board, int depth) {
    NotationMoveList list;
    GenerateAllMoves(board, list);
    uint64_t nodes = 0;
    for (uint16_t i = list.head; i != 65535; i = list.nodes[i].next) {
        const Move m = list.nodes[i].move;
        if (!IsLegalMove(board, m)) continue;
        if (depth == 1) {
            nodes += 1;
            continue;
        }
        MakeMove(board, m);
        nodes += Perft(board, depth - 1);
        UnmakeMove(board, m);
    }
    return nodes;
}

#ifdef TARNOCK_SANITIZED
constexpr uint64_t SuiteBound = 200000;
#else
constexpr uint64_t SuiteBound = 5000000;
#endif

TEST(PerftTest, SuiteCounts) {
    const std::vector<SuiteLine> suite = ReadSuite();
    ASSERT_GT(suite.size(), 100u);
    auto r = std::make_unique<BoardWithHistory>();
    int checked = 0;
    for (const SuiteLine& line : suite) {
        ASSERT_TRUE(SetFromFen(line.fen, r->board)) << line.fen;
        for (const auto& [depth, expected] : line.counts) {
            if (expected > SuiteBound) continue;
            EXPECT_EQ(Perft(r->board, depth), expected) << line.fen << " depth " << depth;
            checked += 1;
        }
    }
    EXPECT_GT(checked, 300);
}

std::string RunTool(const std::string& arguments, int& status) {
    const std::string command = std::string(TARNOCK_BIN_DIR) + "/tarnock-perft " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    if (!pipe) return output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) output.append(buffer, n);
    status = pclose(pipe);
    return output;
}

TEST(PerftTest, ToolOutput) {
    int status = -1;
    // Divide: one line per root move, their sum on the summary line.
    std::istringstream lines(RunTool("--divide 3 'r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1'", status));
    EXPECT_EQ(status, 0);
    std::string line, last;
    uint64_t sum = 0;
    int roots = 0;
    const std::regex rootLine("([a-h][1-8]){2}[nbrq]?: ([0-9]+)");
    for (std::smatch m; std::getline(lines, line); last = line) {
        if (!std::regex_match(line, m, rootLine)) continue;
        sum += std::stoull(m[2].str());
        roots += 1;
    }
    EXPECT_EQ(roots, 26);
    EXPECT_EQ(sum, 13744u);
    EXPECT_TRUE(std::regex_match(last, std::regex("perft 3 nodes 13744 ms [0-9]+ nps [0-9]+"))) << last;

#ifndef TARNOCK_SANITIZED
    // The full start-position tree to depth 6 (too slow under sanitizers).
    EXPECT_NE(RunTool("6", status).find("perft 6 nodes 119060324 ms"), std::string::npos);
    EXPECT_EQ(status, 0);
#endif

    // EPD mode: a wrong count is reported and fails the run.
    const std::string path = ::testing::TempDir() + "tarnock_perft_test.epd";
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs((StartFen + " ;D1 20 ;D2 400\n4k3/8/8/8/8/8/8/4K2R w K - 0 1 ;D1 15 ;D2 67\n").c_str(), file);
    std::fclose(file);
    const std::string out = RunTool("--epd " + path, status);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("mismatch: 4k3/8/8/8/8/8/8/4K2R w K - 0 1 depth 2 expected 67 got 66"), std::string::npos) << out;
    EXPECT_NE(out.find("1 passed, 1 failed\n"), std::string::npos) << out;
    std::remove(path.c_str());
}

}  // namespace
}  // namespace NEngine::BoardTests
