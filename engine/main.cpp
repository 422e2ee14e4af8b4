// Process entry: start-up tables, output set-up, then the command loop.
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "board/attacks.h"
#include "engine/command.h"
#include "engine/engine.h"
#include "engine/handler.h"
#include "search/bench.h"
#include "search/searcher.h"

namespace NEngine {
namespace {

// Reads and dispatches commands until "quit" or the end of input (which the
// reader turns into "quit"); commands deferred during a search come first.
int RunCommandLoop(Engine& engine) {
    while (!engine.quitRequested) {
        const Command command = engine.reader.NextCommand();
        if (command.code == None) continue;  // blank, unknown or malformed
        HandleCommand(engine, command);
    }
    return 0;
}

}  // namespace
}  // namespace NEngine

int main(int argc, char** argv) {
    NEngine::InitEngineTables();

    // Protocol lines must reach the front end the moment they are written.
    // The iostreams stay synchronised with C stdio, so the two share one
    // buffer and cannot reorder; stdout itself is flushed line by line.
    std::ios::sync_with_stdio(true);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::cout << std::unitbuf;

    // Optional developer modes come as the first argument; without
    // arguments, and for any argument not known, the program is the plain
    // protocol engine.
    // "bench [DEPTH]": the signature and speed at the default depth, or a
    // shorter run for profiling (a depth from 1 to 32).
    if (argc > 1 && std::string(argv[1]) == "bench") {
        int depth = NEngine::BenchDepth;
        if (argc > 2) {
            depth = std::atoi(argv[2]);
            if (depth < 1 || depth > NEngine::MaxDepthLimit) {
                std::cerr << "bench depth must be 1 to " << NEngine::MaxDepthLimit << "\n";
                return 2;
            }
        }
        NEngine::RunBench(std::cout, depth);
        return 0;
    }

    // Front ends may interrupt the engine with SIGINT (xboard does, to
    // engines that do not ask it not to); its default action would end the
    // process in the middle of a game. Input and "quit" end it instead.
    std::signal(SIGINT, SIG_IGN);

    // Large (the searcher's records and tables): kept off the stack.
    auto engine = std::make_unique<NEngine::Engine>();
    return NEngine::RunCommandLoop(*engine);
}
