// tarnock-perft: counts the leaves of the legal move tree, for one position
// or for every position of an EPD file with known counts.
//
//   tarnock-perft [--staged] [--divide] DEPTH [FEN]
//   tarnock-perft [--staged] --epd FILE [--max-nodes N]
//
// --staged counts the tree with the moves the search's pickers hand out and
// compares it with the tool's own count of the moves the pickers should
// produce (no rook or bishop promotions, knight promotions only with check).
//
// The counting itself is one function chosen from a table of counting modes,
// so another way of producing moves can be checked against the same counts
// by adding a row (and its option) there.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"
#include "search/staged_perft.h"

using namespace NEngine;

namespace {

using LeafCounter = uint64_t (*)(Board& board, int depth);

struct CountingMode {
    const char* option;     // command-line switch selecting it; empty for the default
    LeafCounter count;
    LeafCounter reference;  // when set, expected counts come from it, not the EPD file
};

const CountingMode Modes[] = {
    {"", CountLegalLeaves, nullptr},  // every legal move of the full generator
    {"--staged", StagedPerftLeaves, ReferencePerft},
};

// Coordinate text of a move, enough for listing root moves.
std::string CoordinateText(Move move) {
    std::string text;
    for (const int sq : {FromSquare(move), ToSquare(move)}) {
        text += char('a' + FileOf(sq));
        text += char('1' + RankOf(sq));
    }
    if (PromotionOf(move)) text += " pnbrqk"[PromotionOf(move) - 1];
    return text;
}

std::vector<Move> LegalMoves(const Board& board) {
    std::vector<Move> moves;
    ForEachLegalMove(board, [&](Move m) {
        moves.push_back(m);
        return false;
    });
    return moves;
}

// Root moves one by one (printed when dividing) and their subtree sums.
uint64_t CountRoot(Board& board, int depth, const CountingMode& mode, bool divide) {
    if (depth <= 0 || !divide) return mode.count(board, depth);
    uint64_t nodes = 0;
    for (const Move move : LegalMoves(board)) {
        if (mode.reference && !IsStagedMove(board, move)) continue;  // the pickers never give it
        MakeMove(board, move);
        const uint64_t sub = mode.count(board, depth - 1);
        UnmakeMove(board, move);
        std::cout << CoordinateText(move) << ": " << sub << "\n";
        nodes += sub;
    }
    return nodes;
}

bool ReadCount(const std::string& text, uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 19) return false;
    value = std::stoull(text);
    return true;
}

int RunSingle(const CountingMode& mode, int depth, const std::string& fen, bool divide) {
    auto record = std::make_unique<BoardWithHistory>();
    if (!SetFromFen(fen, record->board)) {
        std::cerr << "illegal position: " << fen << "\n";
        return 2;
    }
    if (record->board.ply + depth >= HistorySize) {
        std::cerr << "depth too large for the position's move number\n";
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const uint64_t nodes = CountRoot(record->board, depth, mode, divide);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count();
    const uint64_t nps = us > 0 ? uint64_t(double(nodes) * 1e6 / double(us)) : 0;
    std::cout << "perft " << depth << " nodes " << nodes << " ms " << ms << " nps " << nps << "\n";
    if (!mode.reference) return 0;
    const uint64_t expected = mode.reference(record->board, depth);
    if (nodes != expected)
        std::cout << "mismatch: " << fen << " depth " << depth << " expected " << expected << " got " << nodes << "\n";
    std::cout << (nodes == expected) << " passed, " << (nodes != expected) << " failed\n";
    return nodes == expected ? 0 : 1;
}

// Lines "FEN ;D1 n1 ;D2 n2 ...": every depth with at most maxNodes expected
// leaves is checked; a position passes when all its checked depths agree.
int RunEpd(const CountingMode& mode, const std::string& path, uint64_t maxNodes) {
    std::ifstream in(path);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        return 2;
    }
    auto record = std::make_unique<BoardWithHistory>();
    int passed = 0, failed = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        std::stringstream fields(line);
        std::string fen, field;
        std::getline(fields, fen, ';');
        fen.erase(fen.find_last_not_of(" \t") + 1);
        if (!SetFromFen(fen, record->board)) {
            std::cout << "illegal position: " << fen << "\n";
            failed += 1;
            continue;
        }
        bool ok = true;
        while (std::getline(fields, field, ';')) {
            std::stringstream parts(field);
            std::string name, expectedText;
            uint64_t expected;
            parts >> name >> expectedText;
            if (name.size() < 2 || name[0] != 'D' || !ReadCount(expectedText, expected)) continue;
            const int depth = std::atoi(name.c_str() + 1);
            if (depth <= 0 || expected > maxNodes || record->board.ply + depth >= HistorySize) continue;
            if (mode.reference) expected = mode.reference(record->board, depth);
            const uint64_t nodes = mode.count(record->board, depth);
            if (nodes != expected) {
                std::cout << "mismatch: " << fen << " depth " << depth << " expected " << expected << " got "
                          << nodes << "\n";
                ok = false;
            }
        }
        (ok ? passed : failed) += 1;
    }
    std::cout << passed << " passed, " << failed << " failed\n";
    return failed ? 1 : 0;
}

int Usage() {
    std::cerr << "usage: tarnock-perft [--staged] [--divide] DEPTH [FEN]\n"
                 "       tarnock-perft [--staged] --epd FILE [--max-nodes N]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    InitEngineTables();
    const CountingMode* selected = &Modes[0];
    bool divide = false;
    std::string epdFile;
    uint64_t maxNodes = 5000000;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        bool isMode = false;
        for (const CountingMode& mode : Modes)
            if (mode.option[0] && arg == mode.option) {
                selected = &mode;
                isMode = true;
            }
        if (isMode) continue;
        if (arg == "--divide") {
            divide = true;
        } else if (arg == "--epd" && i + 1 < argc) {
            epdFile = argv[++i];
        } else if (arg == "--max-nodes" && i + 1 < argc) {
            if (!ReadCount(argv[++i], maxNodes)) return Usage();
        } else if (arg.rfind("--", 0) == 0) {
            return Usage();
        } else {
            positional.push_back(arg);
        }
    }
    if (!epdFile.empty()) return positional.empty() ? RunEpd(*selected, epdFile, maxNodes) : Usage();

    uint64_t depth;
    if (positional.empty() || !ReadCount(positional[0], depth) || depth > 64) return Usage();
    std::string fen;
    for (size_t i = 1; i < positional.size(); ++i) fen += (i > 1 ? " " : "") + positional[i];
    return RunSingle(*selected, int(depth), fen.empty() ? StartFen : fen, divide);
}
