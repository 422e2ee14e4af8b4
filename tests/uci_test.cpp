// The UCI protocol as a front end sees it: the real engine binary driven
// through pipes, one topic per test.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/pipe_process.h"

namespace NEngine {
namespace {

using NEngineTest::PipeProcess;
using Clock = std::chrono::steady_clock;

// Generous: sanitizer builds are several times slower than release builds.
constexpr int LongWaitMs = 30000;

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// One engine process in UCI mode with a small table.
class UciSession {
public:
    explicit UciSession(bool handshake = true) : process(TARNOCK_BIN_DIR "/tarnock") {
        EXPECT_TRUE(process.Started());
        if (!handshake) return;
        Send("uci");
        EXPECT_TRUE(ReadUntil("uciok").size() > 0);
        Send("setoption name Hash value 16");
        Sync();
    }

    void Send(const std::string& line) { EXPECT_TRUE(process.WriteLine(line)) << line; }

    // Lines up to and including the first that starts with prefix; empty
    // when none came in time.
    std::vector<std::string> ReadUntil(const std::string& prefix, int timeoutMs = LongWaitMs) {
        std::vector<std::string> seen;
        if (!process.ReadUntil([&](const std::string& l) { return StartsWith(l, prefix); }, timeoutMs, &seen))
            return {};
        return seen;
    }

    // "isready" and its answer: everything written before it has arrived.
    std::vector<std::string> Sync() {
        Send("isready");
        std::vector<std::string> lines = ReadUntil("readyok");
        EXPECT_FALSE(lines.empty()) << "no readyok";
        if (!lines.empty()) lines.pop_back();
        return lines;
    }

    // Runs one search; the "bestmove" line's move, lines before it in seen.
    std::string Go(const std::string& go, std::vector<std::string>* seen = nullptr) {
        Send(go);
        std::vector<std::string> lines = ReadUntil("bestmove ");
        EXPECT_FALSE(lines.empty()) << "no bestmove after " << go;
        if (lines.empty()) return {};
        const std::string move = lines.back().substr(9);
        if (seen) {
            lines.pop_back();
            *seen = lines;
        }
        return move;
    }

    std::string BestAfter(const std::string& position, const std::string& go = "go depth 4") {
        Send(position);
        return Go(go);
    }

    PipeProcess process;
};

// The fields of an iteration's "info" line, read strictly in their order.
struct InfoLine {
    int depth = 0, seldepth = 0, currmoveNumber = 0;
    std::string scoreKind;  // "cp" or "mate"
    int score = 0;
    long long time = 0, nodes = 0, nps = 0;
    std::string currmove;
    std::vector<std::string> pv;
};

bool IsNumber(const std::string& text) {
    const size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    return text.size() > start && text.find_first_not_of("0123456789", start) == std::string::npos;
}

bool IsCoordinateMove(const std::string& text) {
    return (text.size() == 4 || (text.size() == 5 && std::string("qrbn").find(text[4]) != std::string::npos)) &&
           text[0] >= 'a' && text[0] <= 'h' && text[1] >= '1' && text[1] <= '8' && text[2] >= 'a' &&
           text[2] <= 'h' && text[3] >= '1' && text[3] <= '8';
}

bool ParseInfo(const std::string& line, InfoLine& info) {
    std::istringstream in(line);
    std::vector<std::string> t;
    for (std::string word; in >> word;) t.push_back(word);
    // info depth D seldepth S score K V time T nodes N nps P currmove M
    // currmovenumber C pv M...
    const char* keys[] = {"info", "depth", nullptr, "seldepth", nullptr, "score", nullptr, nullptr, "time",
                          nullptr, "nodes", nullptr, "nps", nullptr, "currmove", nullptr, "currmovenumber",
                          nullptr, "pv"};
    const size_t fixed = sizeof keys / sizeof keys[0];
    if (t.size() < fixed + 1) return false;
    for (size_t i = 0; i < fixed; ++i)
        if (keys[i] && t[i] != keys[i]) return false;
    for (size_t i : {2, 4, 7, 9, 11, 13, 17})
        if (!IsNumber(t[i])) return false;
    if ((t[6] != "cp" && t[6] != "mate") || !IsCoordinateMove(t[15])) return false;
    info.depth = std::stoi(t[2]);
    info.seldepth = std::stoi(t[4]);
    info.scoreKind = t[6];
    info.score = std::stoi(t[7]);
    info.time = std::stoll(t[9]);
    info.nodes = std::stoll(t[11]);
    info.nps = std::stoll(t[13]);
    info.currmove = t[15];
    info.currmoveNumber = std::stoi(t[17]);
    info.pv.assign(t.begin() + fixed, t.end());
    for (const std::string& move : info.pv)
        if (!IsCoordinateMove(move)) return false;
    return true;
}

// Whether a move from the start position's ranks was White's.
bool WhiteMoved(const std::string& move) { return move.size() >= 2 && (move[1] == '1' || move[1] == '2'); }

TEST(UciProtocol, IdentificationOptionsAndIsReady) {
    UciSession engine(false);
    engine.Send("uci");
    const std::vector<std::string> expected = {
        "id name Tarnock",
        "id author the Tarnock developers",
        "option name Hash type spin default 256 min 1 max 1024",
        "option name Threads type spin default 1 min 1 max 4",
        "uciok",
    };
    EXPECT_EQ(engine.ReadUntil("uciok"), expected);

    // Blank lines, junk and options produce nothing: the next line is the
    // answer to "isready".
    engine.Send("");
    engine.Send(" \t ");
    engine.Send("hello world");
    engine.Send("setoption name Hash value 8");
    engine.Send("setoption name NoSuchOption value 3");
    engine.Send("isready");
    std::string line;
    ASSERT_TRUE(engine.process.ReadLine(line, LongWaitMs));
    EXPECT_EQ(line, "readyok");

    engine.Send("quit");
    EXPECT_EQ(engine.process.Wait(LongWaitMs), 0);
    EXPECT_EQ(engine.process.ReadAll(1000), "");
}

TEST(UciPosition, StartposWithMoves) {
    UciSession engine;
    // 1.f3 e5 2.g4: Black mates at once, in coordinate text or SAN.
    EXPECT_EQ(engine.BestAfter("position startpos moves f2f3 e7e5 g2g4"), "d8h4");
    EXPECT_EQ(engine.BestAfter("position startpos moves f3 e5 g4"), "d8h4");
    // An illegal move is skipped and the list goes on.
    EXPECT_EQ(engine.BestAfter("position startpos moves f2f3 e7e5 e7e5 g2g4"), "d8h4");
    EXPECT_EQ(engine.BestAfter("position startpos moves e2e4 e2e4 f7f6 d2d4 g7g5"), "d1h5");

    // The word after "startpos" is skipped whatever it is: here f2f3, so
    // only g2g4 fits and Black is to move without the mate.
    const std::string skipped = engine.BestAfter("position startpos f2f3 e7e5 g2g4");
    EXPECT_FALSE(WhiteMoved(skipped)) << skipped;
    EXPECT_NE(skipped, "d8h4");
    const std::string start = engine.BestAfter("position startpos e2e4");
    EXPECT_TRUE(WhiteMoved(start)) << start;

    // A word that is no move text drops the whole line: the mate position
    // set before stays.
    engine.Send("position startpos moves f2f3 e7e5 g2g4");
    EXPECT_EQ(engine.BestAfter("position startpos moves e2e4 hello"), "d8h4");
}

TEST(UciPosition, FenWithMoves) {
    UciSession engine;
    EXPECT_EQ(engine.BestAfter("position fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1"), "a1a8");
    EXPECT_EQ(engine.BestAfter("position fen 7k/8/5K2/8/8/8/8/R7 w - - 0 1 moves f6g6 h8g8"), "a1a8");
    EXPECT_EQ(engine.BestAfter("position fen r7/8/8/8/8/6k1/8/7K b - - 0 1"), "a8a1");

    // Set the mate again; then lines that must change nothing.
    engine.Send("position fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1");
    engine.Send("position fen");
    engine.Send("position fen 8/8/8/8/8/8/8/8 w - - 0 1");
    engine.Send("position fen 4k3/8/8/8/8/8/8/4K3 w - - 0 1 moves e1e2 bogus");
    EXPECT_TRUE(engine.Sync().empty());
    EXPECT_EQ(engine.Go("go depth 3"), "a1a8");
}

TEST(UciOptions, HashAndThreadsKeepTheEngineWorking) {
    UciSession engine;
    // Values the engine refuses (Hash 1, Threads 0), clamps (Hash 5000,
    // Threads 9) or takes: every search still answers with a move.
    for (const char* option : {"Hash value 1", "Threads value 0", "Hash value 5000", "Threads value 9",
                               "Hash value 2", "Threads value 2"}) {
        engine.Send(std::string("setoption name ") + option);
        EXPECT_TRUE(engine.Sync().empty()) << option;
        EXPECT_EQ(engine.BestAfter("position startpos moves f2f3 e7e5 g2g4", "go depth 5"), "d8h4") << option;
    }
}

// The deepest "info depth" of a search's lines.
int DeepestIteration(const std::vector<std::string>& lines) {
    int deepest = 0;
    InfoLine info;
    for (const std::string& line : lines)
        if (ParseInfo(line, info)) deepest = std::max(deepest, info.depth);
    return deepest;
}

TEST(UciGo, DepthMoveTimeAndClock) {
    UciSession engine;
    std::vector<std::string> lines;
    // Without any "position" the engine plays from the start position.
    const std::string first = engine.Go("go depth 3");
    EXPECT_TRUE(WhiteMoved(first)) << first;
    // Depth 1 is raised to 2.
    engine.Send("position startpos");
    EXPECT_FALSE(engine.Go("go depth 1", &lines).empty());
    EXPECT_EQ(DeepestIteration(lines), 2);
    engine.Send("position startpos");
    engine.Go("go depth 5", &lines);
    EXPECT_EQ(DeepestIteration(lines), 5);

    // A fixed move time is used up (the start position has no quick end).
    engine.Send("position startpos");
    auto start = Clock::now();
    EXPECT_FALSE(engine.Go("go movetime 300").empty());
    EXPECT_GE(MillisecondsSince(start), 290);

    // One move to go: half the clock less the overhead reserve. Without
    // moves to go, a fortieth: the count of the earlier command is not kept.
    engine.Send("position startpos moves e2e4");
    start = Clock::now();
    engine.Go("go wtime 100 btime 3000 movestogo 1");
    const long long half = MillisecondsSince(start);
    EXPECT_GE(half, 1470);
    engine.Send("position startpos moves e2e4");
    start = Clock::now();
    engine.Go("go wtime 100 btime 3000");
    EXPECT_LT(MillisecondsSince(start), half - 400);

    // Tiny clocks still give a move.
    engine.Send("position startpos");
    EXPECT_EQ(engine.Go("go wtime 50 btime 50").size(), 4u);
    engine.Send("position startpos");
    EXPECT_EQ(engine.Go("go wtime 1 btime 1 movestogo 1").size(), 4u);
}

TEST(UciGo, InfiniteInItsThreePlacements) {
    UciSession engine;
    for (const char* go : {"go infinite", "go infinite depth 2", "go wtime 1000 infinite movetime 5"}) {
        engine.Send("position startpos");
        engine.Send(go);
        // No best move until told to stop.
        EXPECT_TRUE(engine.ReadUntil("bestmove", 400).empty()) << go;
        engine.Send("stop");
        EXPECT_FALSE(engine.ReadUntil("bestmove").empty()) << go;
    }
    // "infinite" in a value's place is just a value (0): the limits of the
    // earlier command apply and the search ends by itself.
    engine.Send("position startpos");
    engine.Go("go depth 3");
    engine.Send("position startpos");
    std::vector<std::string> lines;
    EXPECT_FALSE(engine.Go("go wtime infinite", &lines).empty());
    EXPECT_EQ(DeepestIteration(lines), 3);
}

TEST(UciDuringSearch, StopIsReadyAndQueuedCommands) {
    UciSession engine;
    // "stop": the best move comes at once.
    engine.Send("position startpos");
    engine.Send("go infinite");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto start = Clock::now();
    engine.Send("stop");
    EXPECT_FALSE(engine.ReadUntil("bestmove").empty());
    const long long stopLatency = MillisecondsSince(start);
    EXPECT_LT(stopLatency, 5000);
    RecordProperty("StopLatencyMs", std::to_string(stopLatency));

    // "isready" stops the search: its best move first, then "readyok".
    engine.Send("go infinite");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    engine.Send("isready");
    std::vector<std::string> lines = engine.ReadUntil("readyok");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(StartsWith(lines[lines.size() - 2], "bestmove ")) << lines[lines.size() - 2];

    // Two commands in one write: the first stops the search, both run after
    // it in order.
    engine.Send("go infinite");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    engine.process.Write("position fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1\ngo depth 3\n");
    EXPECT_FALSE(engine.ReadUntil("bestmove").empty());
    lines = engine.ReadUntil("bestmove");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "bestmove a1a8");
    EXPECT_TRUE(engine.Sync().empty());
}

TEST(UciDuringSearch, QuitEndsTheProcess) {
    for (const char* go : {"go infinite", "go movetime 60000", "go depth 30"}) {
        UciSession engine;
        engine.Send("position startpos");
        engine.Send(go);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        engine.Send("quit");
        // The search that was running still ends with its best move.
        EXPECT_FALSE(engine.ReadUntil("bestmove").empty()) << go;
        EXPECT_EQ(engine.process.Wait(LongWaitMs), 0) << go;
    }
}

TEST(UciGo, FinishedGamesAnswerTheNullMove) {
    UciSession engine;
    const std::string mated = "position fen rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3";
    for (const char* go : {"go depth 3", "go movetime 100", "go wtime 1000 btime 1000", "go infinite"}) {
        std::vector<std::string> lines;
        engine.Send(mated);
        EXPECT_EQ(engine.Go(go, &lines), "0000") << go;
        EXPECT_TRUE(lines.empty()) << go;
    }
    EXPECT_EQ(engine.BestAfter("position startpos moves f2f3 e7e5 g2g4 d8h4", "go depth 3"), "0000");
    EXPECT_EQ(engine.BestAfter("position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "go depth 3"), "0000");
}

TEST(UciInfo, LineFieldsInOrder) {
    UciSession engine;
    std::vector<std::string> lines;
    engine.Send("position startpos moves e2e4");
    const std::string best = engine.Go("go depth 5", &lines);
    int lastDepth = 0;
    std::string lastPv;
    for (const std::string& line : lines) {
        InfoLine info;
        ASSERT_TRUE(ParseInfo(line, info)) << line;
        EXPECT_GT(info.depth, lastDepth) << line;
        lastDepth = info.depth;
        EXPECT_GE(info.seldepth, 1) << line;
        EXPECT_EQ(info.scoreKind, "cp") << line;
        EXPECT_GE(info.currmoveNumber, 1) << line;
        EXPECT_GE(info.nps, 0) << line;
        // The move reported is the line's first move.
        EXPECT_EQ(info.currmove, info.pv[0]) << line;
        lastPv = info.pv[0];
    }
    EXPECT_EQ(lastDepth, 5);
    EXPECT_EQ(lastPv, best);
}

// The score of the last "info" line of a search.
std::string LastScore(const std::vector<std::string>& lines) {
    std::string score;
    InfoLine info;
    for (const std::string& line : lines)
        if (ParseInfo(line, info)) score = info.scoreKind + " " + std::to_string(info.score);
    return score;
}

TEST(UciInfo, MateScoresInMoves) {
    // King and rook against king, and the same mirrored with colours swapped.
    const struct {
        const char* fen;
        const char* score;
    } cases[] = {
        {"7k/8/6K1/8/8/8/8/R7 w - - 0 1", "mate 1"},
        {"r7/8/8/8/8/6k1/8/7K b - - 0 1", "mate 1"},
        {"7k/8/5K2/8/8/8/8/R7 w - - 0 1", "mate 2"},
        {"r7/8/8/8/8/5k2/8/7K b - - 0 1", "mate 2"},
        {"7k/8/8/4K3/8/8/8/R7 w - - 0 1", "mate 3"},
        {"r7/8/8/8/4k3/8/8/7K b - - 0 1", "mate 3"},
        {"7k/8/6K1/8/8/8/8/R7 b - - 0 1", "mate -1"},
        {"r7/8/8/8/8/6k1/8/7K w - - 0 1", "mate -1"},
        {"7k/8/5K2/8/8/8/8/R7 b - - 0 1", "mate -2"},
        {"r7/8/8/8/8/5k2/8/7K w - - 0 1", "mate -2"},
        {"6k1/8/5K2/8/8/8/8/5R2 b - - 0 1", "mate -3"},
        {"5r2/8/8/8/8/5k2/8/6K1 w - - 0 1", "mate -3"},
    };
    UciSession engine;
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        engine.Send(std::string("position fen ") + c.fen);
        engine.Go("go depth 10", &lines);
        EXPECT_EQ(LastScore(lines), c.score) << c.fen;
    }
}

}  // namespace
}  // namespace NEngine
