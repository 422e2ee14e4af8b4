// The table of endgame special cases: the rules, then the table that names
// the material each rule serves, one row per signature or family.
#include "eval/endgame.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "board/attacks.h"
#include "board/board.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "board/psq.h"

namespace NEngine {

namespace {

// ---------------------------------------------------------------- geometry
constexpr int Adv[8] = {0, 1, 2, 4, 6, 8, 12, 0};

// Bishop-and-knight mate: high in the dark corners a1 and h8, where that mate
// is given with a dark-squared bishop; rank 1 first, files a to h.
constexpr int Corner[64] = {
    30,  20,  10,  -1,  -5,  -10, -20, -30,  //
    20,  16,  8,   -1,  -6,  -8,  -16, -20,  //
    10,  8,   6,   -2,  -8,  -6,  -8,  -10,  //
    -1,  -1,  -2,  -15, -15, -8,  -6,  -5,   //
    -5,  -6,  -8,  -15, -15, -2,  -1,  -1,   //
    -10, -8,  -6,  -8,  -2,  6,   8,   10,   //
    -20, -16, -8,  -6,  -1,  8,   16,  20,   //
    -30, -20, -10, -5,  -1,  10,  20,  30,
};

constexpr BitMask Ranks(int first, int last, BitMask files) {
    BitMask set = 0;
    for (int r = first; r <= last; ++r) set |= files << (8 * r);
    return set;
}
constexpr BitMask FilesBToG = 0x7E;
constexpr BitMask FilesBAndG = 0x42;
// Where a rook side's pawns can shelter the rook against a queen: a ring one
// square in from the edge, closed on the rook side's own sixth rank.
constexpr BitMask FortressZone[2] = {
    Ranks(1, 2, FilesBToG) | Ranks(3, 5, FilesBAndG) | Ranks(6, 6, FilesBToG),  // Black
    Ranks(1, 1, FilesBToG) | Ranks(2, 4, FilesBAndG) | Ranks(5, 6, FilesBToG),  // White
};

constexpr BitMask FileA = 0x0101010101010101ull;
constexpr BitMask FileH = FileA << 7;

bool IsDark(int sq) { return ((FileOf(sq) + RankOf(sq)) & 1) == 0; }
int RelRank(Colour c, int sq) { return c == White ? RankOf(sq) : 7 - RankOf(sq); }
int PromotionSquare(Colour c, int sq) { return c == White ? MakeSquare(FileOf(sq), 7) : FileOf(sq); }
int FileGap(int a, int b) { return FileOf(a) > FileOf(b) ? FileOf(a) - FileOf(b) : FileOf(b) - FileOf(a); }
int RankGap(int a, int b) { return RankOf(a) > RankOf(b) ? RankOf(a) - RankOf(b) : RankOf(b) - RankOf(a); }
// The king's end-game centralisation, read at the square for either colour.
int EgKing(int sq) { return EgOf(PsqTable[Black][King][sq]); }

// A side's piece of a type: the one on the lowest square.
int PieceOf(const Board& board, Colour c, PieceType t) { return LowestSquare(board.colour[c].pieces[t]); }
int Count(const Board& board, Colour c, PieceType t) { return board.colour[c].count[t]; }

SpecialCaseOutcome Exact(int whiteView) { return {ExactScore, int16_t(Wrap16(whiteView))}; }
SpecialCaseOutcome Scale(SpecialCaseResult result) { return {result, 0}; }
// A value computed for side c, from White's view (16-bit).
int ForSide(Colour c, int value) { return c == White ? value : -value; }

}  // namespace

// ---------------------------------------------------------------- shared routines
int PawnRaceScore(const Board& board, Colour c) {
    const Colour other = Opponent(c);
    const int pawn = PieceOf(board, c, Pawn);
    const int q = PromotionSquare(c, pawn);
    int race = Adv[RelRank(c, pawn)] + 7 - Distance(board.kingSquare[c], q) + Distance(board.kingSquare[other], q);
    for (BitMask knights = board.colour[other].pieces[Knight]; knights;) race += Distance(PopLowest(knights), q);
    return ForSide(c, race);
}

// Whether the defender's minor piece reaches the pawn's path in time: a
// breadth-first walk of the piece, one ply per pawn step, over squares where
// the pawn side's king or pawn would not simply take it.
bool MinorStopsPawn(const Board& board, Colour c) {
    const Colour defender = Opponent(c);
    const bool knight = Count(board, defender, Knight) > 0;
    const int minor = PieceOf(board, defender, knight ? Knight : Bishop);
    const int ownKing = board.kingSquare[c];
    const int defendingKing = board.kingSquare[defender];
    const int forward = c == White ? 8 : -8;

    int pawn = PieceOf(board, c, Pawn);
    BitMask occupied = board.Occupied();
    if (board.sideToMove == c) {
        occupied &= ~Bit(pawn);
        pawn += forward;
        occupied |= Bit(pawn);
    }
    BitMask path = PawnMasks->fileFromHere[c][pawn];
    BitMask forbidden = (KingAttacks(ownKing) & ~KingAttacks(defendingKing)) | Bit(ownKing) | PawnAttacks(c, pawn) |
                        (knight ? Bit(defendingKing) : Bit(minor));

    BitMask frontier = Bit(minor);
    BitMask visited = frontier;
    for (;;) {
        BitMask next = 0;
        for (BitMask squares = frontier; squares;) {
            const int from = PopLowest(squares);
            const BitMask reach = knight ? KnightAttacks(from) : BishopAttacks(from, occupied);
            if (reach & path) return true;
            next |= reach & ~visited & ~forbidden;
        }
        // The pawn steps on.
        path &= ~Bit(pawn);
        const int ahead = pawn + forward;
        if (path == 0 || ahead < 0 || ahead > 63) return false;
        occupied = (occupied & ~Bit(pawn)) | Bit(ahead);
        forbidden &= ~PawnAttacks(c, pawn);
        forbidden |= PawnAttacks(c, ahead);
        pawn = ahead;
        if (next == 0) return false;
        visited |= next;
        frontier = next;
    }
}

// ---------------------------------------------------------------- the rules
// Rook and minor piece against rook and pawns: a draw unless the minor side
// has a pawn of its own.
SpecialCaseOutcome RookMinorVersusRookPawns(const Board& board, Colour minorSide) {
    return Scale(Count(board, minorSide, Pawn) == 1 ? ThreeQuarters : DivideBy8);
}

// Rook, minor and pawn against rook and minor: same-coloured bishops leave
// the pawn its best chances.
SpecialCaseOutcome RookMinorPawnVersusRookMinor(const Board& board, Colour pawnSide) {
    const Colour other = Opponent(pawnSide);
    const BitMask bishops = board.colour[pawnSide].pieces[Bishop];
    const BitMask otherBishops = board.colour[other].pieces[Bishop];
    if (bishops && otherBishops && IsDark(LowestSquare(bishops)) == IsDark(LowestSquare(otherBishops)))
        return Scale(ThreeQuarters);
    return Scale(DivideBy4);
}

// One bishop each and pawns: bare bishops are dead even, opposite colours
// drawish.
SpecialCaseOutcome BishopsEnding(const Board& board, Colour) {
    const int whitePawns = Count(board, White, Pawn);
    const int blackPawns = Count(board, Black, Pawn);
    if ((whitePawns == 0 && blackPawns <= 1) || (blackPawns == 0 && whitePawns <= 1)) return Scale(DivideBy2);
    if (IsDark(PieceOf(board, White, Bishop)) != IsDark(PieceOf(board, Black, Bishop))) return Scale(ThreeQuarters);
    return Scale(NoRule);
}

// Rook pawns whose queening square the bishop does not control: the
// defending king in the corner holds the draw.
SpecialCaseOutcome WrongBishop(const Board& board, Colour bishopSide) {
    const BitMask pawns = board.colour[bishopSide].pieces[Pawn];
    if (pawns & ~(FileA | FileH)) return Scale(NoRule);
    if ((pawns & FileA) && (pawns & FileH)) return Scale(NoRule);
    const int pawn = bishopSide == White ? 63 - __builtin_clzll(pawns) : LowestSquare(pawns);
    const int q = PromotionSquare(bishopSide, pawn);
    if (IsDark(PieceOf(board, bishopSide, Bishop)) == IsDark(q)) return Scale(NoRule);
    const int pawnDistance = Distance(pawn, q);
    const int defenderDistance = Distance(board.kingSquare[Opponent(bishopSide)], q);
    if ((pawnDistance > defenderDistance && defenderDistance <= Distance(board.kingSquare[bishopSide], q)) ||
        (defenderDistance < 2 && pawnDistance >= 1))
        return Scale(DivideBy32);
    return Scale(NoRule);
}

SpecialCaseOutcome KingPawnVersusKing(const Board& board, Colour pawnSide) {
    if (!ProbeKpk(board, pawnSide)) return Scale(DivideBy32);
    return Exact(ForSide(pawnSide, 20 * (17 + RelRank(pawnSide, PieceOf(board, pawnSide, Pawn)))));
}

SpecialCaseOutcome PawnVersusMinor(const Board& board, Colour pawnSide) {
    const int race = PawnRaceScore(board, pawnSide);
    if (!MinorStopsPawn(board, pawnSide) && ProbeKpk(board, pawnSide)) return Exact(race + ForSide(pawnSide, 50));
    return Exact(race / 2 + ForSide(pawnSide, 5));
}

SpecialCaseOutcome PawnVersusTwoKnights(const Board& board, Colour pawnSide) {
    const int ownKing = board.kingSquare[pawnSide];
    const int otherKing = board.kingSquare[Opponent(pawnSide)];
    int score = 10 * Count(board, pawnSide, Pawn);
    for (BitMask pawns = board.colour[pawnSide].pieces[Pawn]; pawns;) {
        const int pawn = PopLowest(pawns);
        const int q = PromotionSquare(pawnSide, pawn);
        score += 3 * (Distance(otherKing, q) - Distance(ownKing, q) + 7) + Adv[RelRank(pawnSide, pawn)];
    }
    return Exact(ForSide(pawnSide, score));
}

SpecialCaseOutcome RookVersusMinor(const Board& board, Colour rookSide) {
    const Colour weak = Opponent(rookSide);
    const int weakKing = board.kingSquare[weak];
    int score = 3 * (17 - Distance(board.kingSquare[rookSide], weakKing)) - EgKing(weakKing);
    if (Count(board, rookSide, Knight)) score += 3 * (7 - Distance(weakKing, PieceOf(board, rookSide, Knight)));
    if (Count(board, rookSide, Bishop)) score += 3 * (7 - Distance(weakKing, PieceOf(board, rookSide, Bishop)));
    if (Count(board, weak, Knight)) score += 3 * Distance(weakKing, PieceOf(board, weak, Knight));
    if (Count(board, weak, Bishop)) score += 3 * Distance(weakKing, PieceOf(board, weak, Bishop));
    return Exact(ForSide(rookSide, Wrap16(score)));
}

// Drives the bare king to a corner of the bishop's colour.
SpecialCaseOutcome BishopKnightMate(const Board& board, Colour strong) {
    const int weakKing = board.kingSquare[Opponent(strong)];
    const int bishop = PieceOf(board, strong, Bishop);
    const int corner = IsDark(bishop) ? weakKing : weakKing ^ 56;
    const int score = EgOf(board.colour[strong].material) - Distance(board.kingSquare[strong], weakKing) +
                      2 * (Corner[corner] + 75) - Distance(bishop, weakKing) / 2 -
                      Distance(PieceOf(board, strong, Knight), weakKing) - board.halfmoveClock;
    return Exact(ForSide(strong, score));
}

// Queen, rook or two bishops against the bare king: bring the kings together
// and the weak king to the edge, and sooner rather than later.
SpecialCaseOutcome MopUp(const Board& board, Colour strong) {
    const int weakKing = board.kingSquare[Opponent(strong)];
    const int score = 3 * (57 - Distance(board.kingSquare[strong], weakKing)) + EgOf(board.colour[strong].material) -
                      EgKing(weakKing) - board.halfmoveClock;
    return Exact(ForSide(strong, score));
}

// Rook (or queen) and pawn against rook (queen): the defending king in front
// of the pawn draws; otherwise a won pawn ending underneath keeps the full
// score.
SpecialCaseOutcome PieceAndPawnVersusPiece(const Board& board, Colour strong) {
    const int pawn = PieceOf(board, strong, Pawn);
    const int weakKing = board.kingSquare[Opponent(strong)];
    if (FileGap(weakKing, pawn) < 2 && RelRank(strong, weakKing) > RelRank(strong, pawn))
        return Scale(RelRank(strong, board.kingSquare[strong]) > RelRank(strong, pawn) ? DivideBy2 : DivideBy4);
    if (ProbeKpk(board, strong)) return Scale(NoRule);
    return Scale((Bit(pawn) & (FileA | FileH)) ? DivideBy2 : ThreeQuarters);
}

SpecialCaseOutcome PieceAndTwoPawnsVersusPiece(const Board& board, Colour strong) {
    const int weakKing = board.kingSquare[Opponent(strong)];
    int mostAdvanced = 0;
    for (BitMask pawns = board.colour[strong].pieces[Pawn]; pawns;) {
        const int pawn = PopLowest(pawns);
        if (FileGap(pawn, weakKing) > 1) return Scale(NoRule);
        if (RelRank(strong, pawn) > mostAdvanced) mostAdvanced = RelRank(strong, pawn);
    }
    return Scale(mostAdvanced <= RelRank(strong, weakKing) ? ThreeQuarters : NoRule);
}

SpecialCaseOutcome QueenVersusRook(const Board& board, Colour queenSide) {
    const int queen = PieceOf(board, queenSide, Queen);
    const int rook = PieceOf(board, Opponent(queenSide), Rook);
    const int ownKing = board.kingSquare[queenSide];
    const int weakKing = board.kingSquare[Opponent(queenSide)];
    const int value =
        Wrap16(2 * (Distance(rook, weakKing) - Distance(queen, weakKing) - Distance(ownKing, weakKing)) -
               EgKing(weakKing) + 545);
    if (FileOf(queen) != FileOf(rook) && RankOf(queen) != RankOf(rook) && FileOf(queen) != FileOf(ownKing) &&
        RankOf(queen) == RankOf(ownKing))
        return Exact(ForSide(queenSide, value));
    return Scale(ThreeQuarters);
}

// Queen against rook and pawns: a rook guarded by a pawn next to its king can
// build a fortress the queen cannot break.
SpecialCaseOutcome QueenVersusRookPawns(const Board& board, Colour queenSide) {
    const Colour w = Opponent(queenSide);
    const int rook = PieceOf(board, w, Rook);
    const int strongKing = board.kingSquare[queenSide];
    const int weakKing = board.kingSquare[w];
    const BitMask pawns = board.colour[w].pieces[Pawn];

    for (BitMask guards = pawns & FortressZone[w]; guards;) {
        const int p = PopLowest(guards);
        if (!(PawnAttacks(w, p) & Bit(rook)) || Distance(weakKing, p) != 1) continue;
        const bool thirdRank = RelRank(w, rook) == 2 && RelRank(w, strongKing) >= 3 && RelRank(w, weakKing) < 2 &&
                               RelRank(w, p) == 1;
        const bool bFile = FileOf(p) == 1 && FileOf(rook) == 2 && FileOf(weakKing) <= 1 && FileOf(strongKing) > 2;
        const bool gFile = FileOf(p) == 6 && FileOf(rook) == 5 && FileOf(weakKing) >= 6 && FileOf(strongKing) < 5;
        const bool farSide = (RelRank(w, p) == 5 || RelRank(w, p) == 6) &&
                             (FileOf(p) - FileOf(rook)) * (FileOf(strongKing) - FileOf(rook)) < 0;
        if (thirdRank || bFile || gFile || farSide) return Scale(DivideBy8);
    }
    for (BitMask rest = pawns; rest;) {
        const int p = PopLowest(rest);
        const bool sameFileSide = (FileOf(p) - FileOf(rook)) * (FileOf(strongKing) - FileOf(rook)) >= 0;
        const bool sameRankSide = (RankOf(p) - RankOf(rook)) * (RankOf(strongKing) - RankOf(rook)) >= 0;
        if (sameFileSide && sameRankSide) continue;
        if (Distance(weakKing, p) == 1) return Scale(DivideBy2);
    }
    return Scale(NoRule);
}

// Rook against a pawn the rook side's king cannot catch: drawish when the
// pawn's king escorts it and the other king is further away.
SpecialCaseOutcome RookVersusPawn(const Board& board, Colour rookSide) {
    const Colour w = Opponent(rookSide);
    const int pawn = PieceOf(board, w, Pawn);
    const int q = PromotionSquare(w, pawn);
    const int tempo = board.sideToMove == rookSide ? 1 : 0;
    const int strongKing = board.kingSquare[rookSide];
    if (tempo + Distance(pawn, q) < Distance(strongKing, q)) {
        const int escort = Distance(board.kingSquare[w], pawn) + tempo;
        if (escort > 3 || Distance(pawn, q) > 4) return Scale(NoRule);
        if (escort + 1 < Distance(strongKing, pawn)) return Scale(DivideBy8);
        if (escort < Distance(strongKing, pawn)) return Scale(DivideBy2);
    }
    return Scale(NoRule);
}

// Where rook and bishop can force mate against the rook: only with the
// defending king on an edge, held by the attacking king and bishop.
SpecialCaseOutcome RookBishopGeometry(const Board& board, Colour strong) {
    const int bishop = PieceOf(board, strong, Bishop);
    const int strongKing = board.kingSquare[strong];
    const int weakKing = board.kingSquare[Opponent(strong)];
    const int fw = FileOf(weakKing), rw = RankOf(weakKing);
    const int fs = FileOf(strongKing), rs = RankOf(strongKing);
    const int fb = FileOf(bishop), rb = RankOf(bishop);

    if ((fw == 0 && RankGap(weakKing, strongKing) < 2 && fs == 2 && fb == 3 && rb == rs) ||
        (fw == 7 && RankGap(weakKing, strongKing) < 2 && fs == 5 && fb == 4 && rb == rs))
        return Scale(DivideBy2);
    if (fw != 0 && fw != 7 && rw != 0 && rw != 7) return Scale(DivideBy8);
    if ((rw == 0 && FileGap(weakKing, strongKing) < 2 && rs == 2 && rb == 3 && fb == fs) ||
        (rw == 7 && FileGap(weakKing, strongKing) < 2 && rs == 5 && rb == 4 && fb == fs))
        return Scale(DivideBy2);
    if ((fw == 0 && (rw == rs || rw == rb) && fs == 2 && fb == 2) ||
        (fw == 7 && (rw == rs || rw == rb) && fs == 5 && fb == 5))
        return Scale(DivideBy4);
    if (rw == 0 && (fw == fs || fw == fb) && rs == 2 && rb == 2) return Scale(DivideBy4);
    if (rw != 7) return Scale(DivideBy8);
    if (fw != fs && fw != fb) return Scale(DivideBy8);
    if (rs != 5 || rb != rs) return Scale(DivideBy8);
    return Scale(DivideBy4);
}

// ---------------------------------------------------------------- signatures
uint64_t SignatureKey(const std::string& signature) {
    const size_t cut = signature.find(" v ");
    if (cut == std::string::npos) return 0;
    const std::string sides[2] = {signature.substr(cut + 3), signature.substr(0, cut)};  // Black, White
    uint64_t key = 0;
    for (Colour c : {Black, White}) {
        const std::string& men = sides[c];
        if (men.empty() || men[0] != 'K') return 0;
        int count[8] = {};
        for (size_t i = 1; i < men.size(); ++i) {
            const size_t type = std::string("PNBRQ").find(men[i]);
            if (type == std::string::npos) return 0;
            ++count[Pawn + type];
        }
        count[King] = 1;
        for (int t = Pawn; t <= King; ++t)
            if (count[t] > 0) key ^= PieceKeyOf(count[t], c, t);
    }
    return key;
}

namespace {

// The rows of the table: each names its signatures as text and the rule they
// get. Every key may be named once; a second naming stops the program.
class TableRows {
public:
    TableRows(SpecialCaseTable& table, std::vector<std::string>* signatures)
        : table_(table), signatures_(signatures) {}

    // A verdict that needs no look at the board.
    void Fixed(SpecialCaseResult result, const std::string& signatures) {
        ForEach(signatures, [&](const std::string& signature) {
            Add(signature, [result](const Board&) { return SpecialCaseOutcome{result, 0}; });
        });
    }
    // A rule about the side named: the signatures as listed.
    void Rule(EndgameRule rule, Colour side, const std::string& signatures) {
        ForEach(signatures, [&](const std::string& signature) {
            Add(signature, [rule, side](const Board& board) { return rule(board, side); });
        });
    }
    // A rule about White as listed, and about Black with the colours swapped.
    void BothColours(EndgameRule rule, const std::string& whiteSignatures) {
        Rule(rule, White, whiteSignatures);
        ForEach(whiteSignatures, [&](const std::string& signature) { Rule(rule, Black, Swapped(signature)); });
    }

private:
    template <typename Visit>
    static void ForEach(const std::string& signatures, Visit visit) {
        std::stringstream list(signatures);
        for (std::string signature; std::getline(list, signature, ',');) {
            const size_t first = signature.find_first_not_of(' ');
            const size_t last = signature.find_last_not_of(' ');
            visit(first == std::string::npos ? std::string() : signature.substr(first, last - first + 1));
        }
    }
    static std::string Swapped(const std::string& signature) {
        const size_t cut = signature.find(" v ");
        if (cut == std::string::npos) return signature;
        return signature.substr(cut + 3) + " v " + signature.substr(0, cut);
    }
    static void Fail(const std::string& message) {
        std::fprintf(stderr, "endgame table: %s\n", message.c_str());
        std::abort();
    }
    void Add(const std::string& signature, SpecialCaseRule rule) {
        const uint64_t key = SignatureKey(signature);
        if (key == 0) Fail("cannot read the signature \"" + signature + "\"");
        const auto [named, fresh] = names_.emplace(key, signature);
        if (!fresh) Fail("\"" + signature + "\" names the key of \"" + named->second + "\" a second time");
        if (!table_.emplace(key, std::move(rule)).second) Fail("\"" + signature + "\" is already in the table");
        if (signatures_) signatures_->push_back(signature);
    }

    SpecialCaseTable& table_;
    std::vector<std::string>* signatures_;
    std::unordered_map<uint64_t, std::string> names_;
};

std::string Men(const char* pieces, int pawns) {
    std::string men(pieces);
    men.append(size_t(pawns), 'P');
    return men;
}

}  // namespace

void BuildSpecialCaseTable(SpecialCaseTable& table, std::vector<std::string>* signatures) {
    // Few signatures and many lookups: keep the buckets short.
    table.max_load_factor(1.0f);
    if (table.bucket_count() < 8) table.rehash(8);
    TableRows rows(table, signatures);

    // 1-4. Material that is drawn or drawish whatever the placement.
    rows.Fixed(DivideBy8,
               "KB v KBN, KB v KNN, KBB v KB, KBB v KBP, KBB v KBPP, KBB v KNP, KBB v KNPP, KBB v KR, "
               "KBN v KB, KBN v KBP, KBN v KBPP, KBN v KN, KBN v KNP, KBN v KNPP, KBN v KR, KBP v KBB, "
               "KBP v KBN, KBP v KNN, KBP v KR, KBPP v KBB, KBPP v KBN, KBPP v KNN, KN v KBN, KN v KNN, "
               "KNN v KB, KNN v KBP, KNN v KBPP, KNN v KN, KNN v KNP, KNN v KNPP, KNN v KR, KNP v KBB, "
               "KNP v KBN, KNP v KNN, KNP v KR, KNPP v KBB, KNPP v KBN, KNPP v KNN, KQ v KQB, KQ v KQN, "
               "KQB v KQ, KQB v KQP, KQB v KQPP, KQN v KQ, KQN v KQP, KQN v KQPP, KQP v KQB, KQP v KQN, "
               "KQPP v KQB, KQPP v KQN, KR v KBB, KR v KBN, KR v KBP, KR v KNN, KR v KNP, KR v KRB, "
               "KR v KRN, KRN v KR");
    rows.Fixed(DivideBy4,
               "KB v KBP, KB v KNP, KBP v KB, KBP v KN, KN v KBP, KN v KNP, KNP v KB, KNP v KN, "
               "KRB v KRBN, KRB v KRR, KRBN v KRB, KRBN v KRBP, KRBN v KRBPP, KRBN v KRN, KRBN v KRNP, "
               "KRBN v KRNPP, KRBP v KRBN, KRBP v KRR, KRBPP v KRBN, KRN v KRBN, KRN v KRR, KRNP v KRBN, "
               "KRNP v KRR, KRNPP v KRBN, KRR v KRB, KRR v KRBP, KRR v KRN, KRR v KRNP");
    rows.Fixed(DivideBy2,
               "KBB v KN, KN v KBB, KQB v KQBP, KQB v KQNP, KQBP v KQB, KQBP v KQN, KQN v KQBP, "
               "KQN v KQNP, KQNP v KQB, KQNP v KQN");
    rows.Fixed(ThreeQuarters,
               "KBP v KRP, KNP v KRP, KRP v KBP, KRP v KNP, KRR v KRRB, KRR v KRRN, KRRB v KRR, "
               "KRRB v KRRP, KRRN v KRR, KRRN v KRRP, KRRP v KRRB, KRRP v KRRN");

    // 5. Rook and minor (and e pawns) against rook and e + 1 to e + 3 pawns.
    rows.BothColours(RookMinorVersusRookPawns,
                     "KRB v KRP, KRB v KRPP, KRB v KRPPP, KRN v KRP, KRN v KRPP, KRN v KRPPP, "
                     "KRBP v KRPP, KRBP v KRPPP, KRBP v KRPPPP, KRNP v KRPP, KRNP v KRPPP, KRNP v KRPPPP");
    // 6.
    rows.BothColours(RookMinorPawnVersusRookMinor, "KRBP v KRB, KRBP v KRN, KRNP v KRB, KRNP v KRN");
    // 7. One bishop each and any pawns, but a single pawn against the bare
    // bishop (fixed above).
    for (int white = 0; white <= 8; ++white)
        for (int black = 0; black <= 8; ++black)
            if (white + black != 1) rows.Rule(BishopsEnding, White, Men("KB", white) + " v " + Men("KB", black));
    // 8. Bishop and one to six pawns against two pawns at most.
    for (int pawns = 1; pawns <= 6; ++pawns)
        for (int defenders = 0; defenders <= 2; ++defenders)
            rows.BothColours(WrongBishop, Men("KB", pawns) + " v " + Men("K", defenders));

    // 9-20. Rules about the side with the extra material (the pawn side in
    // 9, 10 and 11).
    rows.BothColours(KingPawnVersusKing, "KP v K");
    rows.BothColours(PawnVersusMinor, "KP v KB, KP v KN");
    rows.BothColours(PawnVersusTwoKnights, "KP v KNN");
    rows.BothColours(RookVersusMinor, "KR v KN, KR v KB");
    rows.BothColours(BishopKnightMate, "KBN v K");
    rows.BothColours(MopUp, "KR v K, KQ v K, KBB v K");
    rows.BothColours(PieceAndPawnVersusPiece, "KRP v KR, KQP v KQ");
    rows.BothColours(PieceAndTwoPawnsVersusPiece, "KRPP v KR, KQPP v KQ");
    rows.BothColours(QueenVersusRook, "KQ v KR");
    rows.BothColours(QueenVersusRookPawns, "KQ v KRP, KQ v KRPP");
    rows.BothColours(RookVersusPawn, "KR v KP");
    // Rook and bishop against rook, and (with Black's bishop pair against a
    // bishop) the same geometry of kings and bishop.
    rows.Rule(RookBishopGeometry, White, "KRB v KR");
    rows.Rule(RookBishopGeometry, Black, "KB v KBB");
}

int ClockCountingSide(const Board& board) {
    // A bare king has no material at all (kings count nothing); the material
    // key then tells the mates whose rules count the clock from every other.
    if (board.colour[White].material && board.colour[Black].material) return -1;
    static const struct {
        uint64_t key;
        Colour strong;
    } mates[] = {
        {SignatureKey("KBN v K"), White}, {SignatureKey("K v KBN"), Black}, {SignatureKey("KQ v K"), White},
        {SignatureKey("K v KQ"), Black},  {SignatureKey("KR v K"), White},  {SignatureKey("K v KR"), Black},
        {SignatureKey("KBB v K"), White}, {SignatureKey("K v KBB"), Black},
    };
    for (const auto& m : mates)
        if (board.materialKey == m.key) return m.strong;
    return -1;
}

const SpecialCaseTable& GlobalSpecialCaseTable() {
    static const SpecialCaseTable table = [] {
        SpecialCaseTable built(8);
        BuildSpecialCaseTable(built);
        return built;
    }();
    return table;
}

}  // namespace NEngine
