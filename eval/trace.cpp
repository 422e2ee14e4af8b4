// Printing the evaluation trace.
#include "eval/trace.h"

#include <cstdio>
#include <ostream>
#include <string>

namespace NEngine {

const char* const TermNames[TermCount] = {
    "Material",
    "Position",
    "Imbalance",
    "Knight mobility",
    "Bishop mobility",
    "Rook mobility",
    "Queen mobility",
    "Outposts",
    "Tropism",
    "Discovered attacks",
    "Relative pins",
    "Rook files",
    "Trapped rooks",
    "King danger",
    "Threats",
    "Weak pawns",
    "Isolated pawns",
    "Backward pawns",
    "Undefended pawns",
    "Supported pawns",
    "Doubled pawns",
    "Pawn levers",
    "King shelter",
    "Pawn storm",
    "King pawn distance",
    "Passed pawns",
    "Passer blocked",
    "Passer race",
    "Passer path",
    "Candidate passers",
};

PackedScore EvalTrace::Total() const {
    PackedScore total = 0;
    for (int t = 0; t < TermCount; ++t) total += Net(EvalTerm(t));
    return total;
}

namespace {

std::string Row(const char* name, PackedScore white, PackedScore black) {
    char line[160];
    std::snprintf(line, sizeof line, "%-20s | %6d %6d | %6d %6d | %6d %6d\n", name, MgOf(white), EgOf(white),
                  MgOf(black), EgOf(black), MgOf(white - black), EgOf(white - black));
    return line;
}

const char* RuleName(SpecialCaseResult rule) {
    switch (rule) {
        case ExactScore: return "exact score";
        case DivideBy32: return "divide by 32";
        case DivideBy8: return "divide by 8";
        case DivideBy4: return "divide by 4";
        case DivideBy2: return "divide by 2";
        case ThreeQuarters: return "three quarters";
        default: return "none";
    }
}

}  // namespace

void PrintTrace(std::ostream& out, const EvalTrace& trace) {
    switch (trace.outcome) {
        case TraceOutcome::Checkmate: out << "Checkmate: the side to move is mated\n"; break;
        case TraceOutcome::Draw: out << "Draw by rule\n"; break;
        case TraceOutcome::ExactScore: out << "Endgame rule: exact score\n"; break;
        case TraceOutcome::Full: {
            out << "Term                 |     White     |     Black     |     Total\n"
                << "                     |     mg     eg |     mg     eg |     mg     eg\n"
                << "---------------------+---------------+---------------+--------------\n";
            PackedScore white = 0, black = 0;
            for (int t = 0; t < TermCount; ++t) {
                out << Row(TermNames[t], trace.term[t][White], trace.term[t][Black]);
                white += trace.term[t][White];
                black += trace.term[t][Black];
            }
            out << "---------------------+---------------+---------------+--------------\n"
                << Row("Total", white, black);
            for (Colour c : {White, Black}) {
                const KingDangerTrace& k = trace.kingDanger[c];
                if (!k.computed) continue;
                out << "King danger to " << (c == White ? "White" : "Black") << ": attackers " << k.attackers
                    << ", weight " << k.attackWeight << ", safe checks";
                if (!k.safeChecks) out << " none";
                if (k.safeChecks & KnightCheck) out << " knight";
                if (k.safeChecks & BishopCheck) out << " bishop";
                if (k.safeChecks & RookCheck) out << " rook";
                if (k.safeChecks & QueenCheck) out << " queen";
                if (k.unsafeChecks) out << ", unsafe checks";
                if (k.discovered) out << ", discovered check";
                if (k.promotion) out << ", promotion check";
                if (k.matingNet) out << ", mating net";
                if (k.pinnedPawn) out << ", pinned pawn";
                out << "; check weight " << k.checkWeight << ", base " << k.base << ", danger " << k.danger
                    << ", shelter " << k.shelter << ", flank squares " << k.flank << " -> " << k.result << "\n";
            }
            out << "Phase: non-pawn material " << trace.nonPawnMaterial << ", ";
            switch (trace.phase.mode) {
                case PhaseMode::MiddleGameOnly: out << "middle game only\n"; break;
                case PhaseMode::EndGameOnly: out << "end game only\n"; break;
                default: out << "tapered, middle-game weight " << trace.phase.weight << "/" << PhaseSpan << "\n";
            }
            out << "Tapered score (White's view): " << trace.whiteScore << "\n";
            out << "Scaling: endgame rule " << RuleName(trace.rule);
            if (trace.stalemateTrap) out << ", stalemate trap";
            out << " (x" << trace.scale.multiplier << ", >>" << trace.scale.shift << "), tempo +" << Tempo << "\n";
            break;
        }
    }
    out << "Score (side to move): " << trace.score << "\n";
}

}  // namespace NEngine
