// The bench positions and their search loop.
#include "search/bench.h"

#include <memory>
#include <ostream>

#include "board/notation.h"
#include "search/searcher.h"

namespace NEngine {

const std::vector<std::string>& BenchPositions() {
    static const std::vector<std::string> positions = {
        // Openings.
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq c6 0 2",
        "r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3",
        "rnbqkb1r/ppp2ppp/4pn2/3p4/2PP4/2N5/PP2PPPP/R1BQKBNR w KQkq - 2 4",
        "r1bqk2r/pppp1ppp/5n2/4b3/4P3/P1N5/1PP2PPP/R1BQKB1R w KQkq - 0 5",
        "r3k2r/ppp1pp1p/2nqb1pn/3p4/4P3/2PP4/PP1NBPPP/R2QK1NR w KQkq - 1 5",
        "rnbqkbnr/ppp1pppp/8/1B1p4/4P3/8/PPPP1PPP/RNBQK1NR b KQkq - 1 2",
        // Middle games.
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
        "r3k2r/2pb1ppp/2pp1q2/p7/1nP1B3/1P2P3/P2N1PPP/R2QK2R w KQkq a6 0 14",
        "4rrk1/2p1b1p1/p1p3q1/4p3/2P2n1p/1P1NR2P/PB3PP1/3R1QK1 b - - 2 24",
        "r3qbrk/6p1/2b2pPp/p3pP1Q/PpPpP2P/3P1B2/2PB3K/R5R1 w - - 16 42",
        "r1bq1rk1/pp2b1pp/n1pp1n2/3P1p2/2P1p3/2N1P2N/PP2BPPP/R1BQ1RK1 b - - 2 10",
        "2r4r/1p4k1/1Pnp4/3Qb1pq/8/4BpPp/5P2/2RR1BK1 w - - 0 42",
        "2q3r1/1r2pk2/pp3pp1/2pP3p/P1Pb1BbP/1P4Q1/R3NPP1/4R1K1 w - - 2 34",
        "1r2r2k/1b4q1/pp5p/2pPp1p1/P3Pn2/1P1B1Q1P/2R3P1/4BR1K b - - 1 37",
        "r3kbbr/pp1n1p1P/3ppnp1/q5N1/1P1pP3/P1N1B3/2P1QP2/R3KB1R b KQkq b3 0 17",
        "1r4k1/4ppb1/2n1b1qp/pB4p1/1n1BP1P1/7P/2PNQPK1/3RN3 w - - 8 29",
        "3r4/ppq1ppkp/4bnp1/2pN4/2P1P3/1P4P1/PQ3PBP/R4K2 b - - 2 20",
        "r1b2k1r/5n2/p4q2/1ppn1Pp1/3pp1p1/NP2P3/P1PPBK2/1RQN2R1 w - - 0 22",
        "3r1rk1/1pp1pn1p/p1n1q1p1/3p4/Q3P3/2P5/PP1NBPPP/4RRK1 w - - 0 12",
        // Endgames.
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "8/8/1p2k1p1/3p3p/1p1P1P1P/1P2PK2/8/8 w - - 3 54",
        "6k1/1R3p2/6p1/2Bp3p/3P2q1/P7/1P2rQ1K/5R2 b - - 4 44",
        "8/6pk/2b1Rp2/3r4/1R1B2PP/P5K1/8/2r5 b - - 16 42",
        "8/p2B4/PkP5/4p1pK/4Pb1p/5P2/8/8 w - - 29 68",
        "5k2/1p4pp/p4p2/2p1pP2/4P3/1PP3P1/P5KP/8 w - - 0 34",
        "8/8/8/4k3/8/8/4P3/4K3 w - - 0 1",
        "8/8/3k4/8/8/8/4K3/7R w - - 0 1",
        "r7/6k1/1p6/2pp1p2/7Q/8/p1P2K1P/8 w - - 0 32",
        // In check.
        "4k3/8/8/8/8/8/4q3/4K3 w - - 0 1",
        "r1bqr1k1/pp1p1ppp/2p5/8/3N1Q2/P2BB3/1PP2PPP/R3K2n b Q - 1 12",
        "k5rr/8/8/8/8/8/6P1/7K w - - 0 1",
        // Mates to find.
        "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
        "6nr/5Ppk/6pp/8/8/8/8/K7 w - - 0 1",
        "5r1k/6pp/4Q3/6N1/2B5/8/5PPP/6K1 w - - 0 1",
        "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 10",
        "k7/8/2K5/8/8/8/8/7R w - - 0 1",
    };
    return positions;
}

BenchTotals RunBench(std::ostream& out, int depth, int count) {
    const auto& positions = BenchPositions();
    const int n = count > 0 && count < int(positions.size()) ? count : int(positions.size());
    // One searcher for the whole run, so every run starts from the same state.
    auto searcher = std::make_unique<Searcher>(BenchHashMegabytes);
    searcher->SetThreads(1);
    searcher->SetDepthLimit(depth);
    BenchTotals totals;
    const int64_t start = NowNanoseconds();
    for (int i = 0; i < n; ++i) {
        searcher->ClearTT();
        if (!searcher->SetPosition(positions[i])) {
            out << "position " << i + 1 << " rejected: " << positions[i] << "\n";
            continue;
        }
        searcher->StartSearch();
        const SearchResult& r = searcher->Result();
        const uint64_t nodes = searcher->Record(0).totalNodes.Get();
        totals.nodes += nodes;
        out << "position " << i + 1 << " depth " << r.depth << " score " << r.score << " bestmove "
            << (r.bestMove ? MoveToText(r.bestMove) : NullMoveText) << " nodes " << nodes << "\n";
        ++totals.positions;
    }
    totals.seconds = double(NowNanoseconds() - start) * 1e-9;
    const uint64_t nps = uint64_t(double(totals.nodes) / (totals.seconds > 0 ? totals.seconds : 1e-9));
    out << totals.nodes << " nodes " << nps << " nps" << std::endl;
    return totals;
}

}  // namespace NEngine
