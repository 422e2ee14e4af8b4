// Basic value types shared by every part of the engine: squares, colours,
// pieces, moves, packed scores, status flags and the Board record itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace NEngine {

// ---------------------------------------------------------------- squares
// a1 = 0, h1 = 7, a8 = 56, h8 = 63: square = rank * 8 + file.
using Square = uint8_t;
using BitMask = uint64_t;

constexpr Square NoSquare = 64;  // "lowest bit of an empty set"

constexpr int FileOf(int sq) { return sq & 7; }
constexpr int RankOf(int sq) { return sq >> 3; }
constexpr int MakeSquare(int file, int rank) { return rank * 8 + file; }
constexpr BitMask Bit(int sq) { return BitMask(1) << sq; }

inline int LowestSquare(BitMask b) { return b ? __builtin_ctzll(b) : 64; }
inline int PopLowest(BitMask& b) {
    const int sq = __builtin_ctzll(b);
    b &= b - 1;
    return sq;
}
inline bool MoreThanOne(BitMask b) { return (b & (b - 1)) != 0; }

// Population count, chosen once at start-up (SelectPopCount): the
// processor's instruction when it has one, else the portable routine. The
// choice is a flag tested where the count is taken; the branch always goes
// the same way, so the hardware count costs one instruction and no call.
extern bool HasPopCountInstruction;
int SoftwarePopCount(BitMask b);
int HardwarePopCount(BitMask b);  // only where the processor has the instruction
void SelectPopCount();

inline int PopCount(BitMask b) {
#if defined(__x86_64__)
    if (__builtin_expect(HasPopCountInstruction, 1)) {
        // Spelled out so that a build for plain x86-64 can use it.
        uint64_t n;
        asm("popcntq %1, %0" : "=r"(n) : "rm"(b) : "cc");
        return int(n);
    }
    return SoftwarePopCount(b);
#else
    return __builtin_popcountll(b);
#endif
}

// ---------------------------------------------------------------- colours, pieces
using Colour = uint8_t;
constexpr Colour Black = 0;
constexpr Colour White = 1;
constexpr Colour Opponent(Colour c) { return Colour(c ^ 1); }

using PieceType = uint8_t;
constexpr PieceType NoPiece = 0;
constexpr PieceType Pawn = 1;
constexpr PieceType Knight = 2;
constexpr PieceType Bishop = 3;
constexpr PieceType Rook = 4;
constexpr PieceType Queen = 5;
constexpr PieceType King = 6;

// Mailbox byte: (type << 1) | colour; 0 is an empty square.
using PieceCode = uint8_t;
constexpr PieceCode MakeCode(Colour c, PieceType t) { return PieceCode((t << 1) | c); }
constexpr PieceType TypeOf(PieceCode code) { return PieceType((code >> 1) & 7); }
constexpr Colour ColourOf(PieceCode code) { return Colour(code & 1); }

// ---------------------------------------------------------------- moves
// bits 0..5 from, 6..11 to, 12..14 promotion type, 15 the search's SafeMark.
using Move = uint16_t;
constexpr Move NullMove = 0;
constexpr Move SafeMark = 0x8000;
constexpr Move MoveMask = 0x7FFF;  // identity of a move, SafeMark removed

constexpr Move MakeMoveCode(int from, int to, int promotion = 0) {
    return Move(from | (to << 6) | (promotion << 12));
}
constexpr int FromSquare(Move m) { return m & 63; }
constexpr int ToSquare(Move m) { return (m >> 6) & 63; }
constexpr PieceType PromotionOf(Move m) { return PieceType((m >> 12) & 7); }
constexpr bool SameMove(Move a, Move b) { return ((a ^ b) & MoveMask) == 0; }

// ---------------------------------------------------------------- castling
// bit (2 * colour + wing), wing 0 = king side, 1 = queen side.
using CastlingRights = uint8_t;
constexpr CastlingRights BlackKingSide = 1;
constexpr CastlingRights BlackQueenSide = 2;
constexpr CastlingRights WhiteKingSide = 4;
constexpr CastlingRights WhiteQueenSide = 8;
constexpr CastlingRights AllCastling = 15;
constexpr Square KingHome[2] = {60, 4};
constexpr Square RookHome[4] = {63, 56, 7, 0};  // by colour * 2 + wing

// ---------------------------------------------------------------- status flags
using StatusFlags = uint16_t;
constexpr StatusFlags FlagBase = 0x0001;
constexpr StatusFlags FlagCheck = 0x0002;
constexpr StatusFlags FlagStalemate = 0x0004;
constexpr StatusFlags FlagRepetition = 0x0008;
constexpr StatusFlags FlagInsufficient = 0x0010;
constexpr StatusFlags FlagFiftyMoves = 0x0040;
constexpr StatusFlags FlagCheckmate = 0x0080;
constexpr StatusFlags FlagDoubleCheck = 0x0100;
constexpr StatusFlags GameOverFlags = 0xDC;  // any of 4, 8, 16, 64, 128
constexpr StatusFlags DrawFlags = 0x5C;      // stalemate, repetition, material, fifty moves

// History-entry move flags.
constexpr uint8_t MoveCastling = 0x01;
constexpr uint8_t MoveCapture = 0x02;
constexpr uint8_t MoveIrreversible = 0x04;
constexpr uint8_t MoveGaveCheck = 0x08;
constexpr uint8_t MoveEnPassant = 0x10;
constexpr uint8_t MoveNullFlag = 0x80;

// ---------------------------------------------------------------- scores
// Packed score: end game * 65536 + middle game; middle game in the low 16 bits.
using PackedScore = int32_t;
constexpr PackedScore S(int mg, int eg) { return PackedScore(uint32_t(eg) * 65536u + uint32_t(mg)); }
constexpr int MgOf(PackedScore s) { return int16_t(uint16_t(uint32_t(s) & 0xFFFF)); }
constexpr int EgOf(PackedScore s) { return (s - MgOf(s)) >> 16; }

// Search scores: 16-bit, side to move's view.
constexpr int MateScore = 32000;
constexpr int MateBound = 31936;    // scores at or beyond +-MateBound are mates
constexpr int MinusInfinity = -32767;
constexpr int PlusInfinity = 32767;

// Material values by piece type (the Board's material sums).
constexpr PackedScore MaterialValue[8] = {
    0, S(85, 102), S(345, 350), S(360, 360), S(560, 560), S(1120, 1120), 0, 0};
// One plain value per piece type: the phase weight the Board sums over the
// pieces other than pawns, and the value the search orders captures and
// judges exchanges by.
constexpr int PieceValue[8] = {0, 85, 355, 355, 545, 1090, 0, 0};

// ---------------------------------------------------------------- the Board
constexpr int HistorySize = 4096;

struct ColourBlock {
    BitMask pieces[8];  // by type 1..6; 0 and 7 stay empty
    BitMask all;
    uint8_t count[8];
    PackedScore material;
    uint16_t nonPawnMaterial;
};

// The eight-byte state word (Board fields epSquare .. flags), saved and
// restored as one unit by the history.
struct StateWord {
    uint8_t bytes[8];
};

struct HistoryEntry {
    uint64_t key;
    uint64_t pawnKey;
    uint64_t materialKey;
    StateWord state;
    Move move;
    uint8_t moveFlags;
    uint8_t capturedType;
    PackedScore psqSum;
};

struct Board {
    // --- state word: the first eight bytes, saved as a unit
    int8_t epSquare;          // en-passant target; counts only when > 0
    uint8_t repetitionCount;  // occurrences within the reversible stretch
    uint8_t checkerSquare;    // a checking piece when FlagCheck is set
    uint8_t halfmoveClock;
    CastlingRights castling;
    Colour sideToMove;
    StatusFlags flags;
    // --- keys
    uint64_t key;
    uint64_t pawnKey;
    uint64_t materialKey;
    ColourBlock colour[2];  // Black, White
    PackedScore psqSum;     // White's positional bonuses minus Black's
    int32_t ply;
    uint32_t fullmoveNumber;
    PieceCode mailbox[64];
    Square kingSquare[2];
    HistoryEntry* history;  // owned by the enclosing record, HistorySize entries

    BitMask Occupied() const { return colour[0].all | colour[1].all; }
    BitMask Pieces(Colour c, PieceType t) const { return colour[c].pieces[t]; }
    bool InCheck() const { return flags & FlagCheck; }
};

static_assert(offsetof(Board, flags) == 6, "state word layout");
static_assert(offsetof(Board, key) == 8, "state word is eight bytes");
static_assert(sizeof(HistoryEntry) == 40, "history entry is 40 bytes");

}  // namespace NEngine
