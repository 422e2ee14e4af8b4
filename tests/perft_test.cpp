// Leaf counts of the legal move tree against known values, through the
// library and through the tarnock-perft tool.
#include <regex>
#include <sstream>

#include "support.h"

namespace NEngine::Tests {
namespace {

TEST(PerftTest, SuiteCounts) {
    const std::vector<SuiteLine> suite = ReadSuite();
    ASSERT_GT(suite.size(), 100u);
    auto r = std::make_unique<BoardWithHistory>();
    int checked = 0;
    for (const SuiteLine& line : suite) {
        ASSERT_TRUE(SetFromFen(line.fen, r->board)) << line.fen;
        for (const auto& [depth, expected] : line.counts) {
            if (expected > (Sanitized ? 200000u : 5000000u)) continue;
            EXPECT_EQ(CountLegalLeaves(r->board, depth), expected) << line.fen << " depth " << depth;
            checked += 1;
        }
    }
    EXPECT_GT(checked, 300);
}

TEST(PerftTest, ToolOutput) {
    int status = -1;
    // Divide: one line per root move, their sum on the summary line.
    std::istringstream lines(RunTool("perft --divide 3 'r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1'", &status));
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

    // The full start-position tree to depth 6 (too slow under sanitizers).
    if (!Sanitized) {
        EXPECT_NE(RunTool("perft 6", &status).find("perft 6 nodes 119060324 ms"), std::string::npos);
        EXPECT_EQ(status, 0);
    }

    // EPD mode: a wrong count is reported and fails the run.
    const std::string path = ::testing::TempDir() + "tarnock_perft_test.epd";
    std::ofstream(path) << StartFen << " ;D1 20 ;D2 400\n4k3/8/8/8/8/8/8/4K2R w K - 0 1 ;D1 15 ;D2 67\n";
    const std::string out = RunTool("perft --epd " + path + " 2>&1", &status);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("mismatch: 4k3/8/8/8/8/8/8/4K2R w K - 0 1 depth 2 expected 67 got 66"), std::string::npos) << out;
    EXPECT_NE(out.find("1 passed, 1 failed\n"), std::string::npos) << out;
    std::remove(path.c_str());
}

}  // namespace
}  // namespace NEngine::Tests
