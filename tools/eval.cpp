// Static evaluation of positions from the command line, with a full window.
//   tarnock-eval FEN          prints the score for the side to move
//   tarnock-eval --trace FEN  prints every term for White and Black, the
//                             phase, the scaling and the score
//   tarnock-eval --epd FILE   prints "SCORE FEN" for every position in FILE
// EPD lines may carry operations after the four position fields; lines that
// are empty or start with '#' are skipped.
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"
#include "eval/evaluate.h"
#include "eval/trace.h"

using namespace NEngine;

namespace {

// FEN text of an EPD or FEN line: the four position fields, then the two
// counters when present, else "0 1". Empty when the line is too short.
std::string FenOfLine(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> fields;
    std::string field;
    while (fields.size() < 6 && in >> field) fields.push_back(field);
    if (fields.size() < 4) return "";
    const auto numeric = [](const std::string& s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
    };
    std::string fen = fields[0] + " " + fields[1] + " " + fields[2] + " " + fields[3];
    if (fields.size() >= 6 && numeric(fields[4]) && numeric(fields[5]))
        fen += " " + fields[4] + " " + fields[5];
    else
        fen += " 0 1";
    return fen;
}

bool SetPosition(const std::string& line, Board& board) {
    const std::string fen = FenOfLine(line);
    return !fen.empty() && SetFromFen(fen, board);
}

int Usage() {
    std::cerr << "usage: tarnock-eval FEN | tarnock-eval --trace FEN | tarnock-eval --epd FILE\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    InitEngineTables();

    // Both records are large; keep them off the stack.
    auto position = std::make_unique<BoardWithHistory>();
    auto context = std::make_unique<EvalContext>();
    Board& board = position->board;
    AttachBoard(*context, board, nullptr);

    const std::string first = argv[1];
    if (first != "--epd") {
        const bool traced = first == "--trace";
        if (traced && argc < 3) return Usage();
        std::string text = argv[traced ? 2 : 1];
        for (int i = traced ? 3 : 2; i < argc; ++i) text += std::string(" ") + argv[i];
        if (!SetPosition(text, board)) {
            std::cerr << "invalid position: " << text << "\n";
            return 1;
        }
        if (traced) {
            EvalTrace trace;
            EvaluateTraced(*context, trace);
            PrintTrace(std::cout, trace);
        } else {
            std::cout << Evaluate(*context, MinusInfinity, PlusInfinity) << "\n";
        }
        return 0;
    }

    if (argc != 3) return Usage();
    std::ifstream file(argv[2]);
    if (!file) {
        std::cerr << "cannot open " << argv[2] << "\n";
        return 1;
    }
    int failures = 0;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
        if (!SetPosition(line, board)) {
            std::cerr << "invalid position: " << line << "\n";
            ++failures;
            continue;
        }
        std::cout << Evaluate(*context, MinusInfinity, PlusInfinity) << " " << ToFen(board) << "\n";
    }
    return failures ? 1 : 0;
}
