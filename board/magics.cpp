// Magic-multiplication slider attacks: the stored magic numbers, the slow
// reference walk they are built from, and the one-time table builder.
#include <cassert>
#include <mutex>

#include "board/attacks.h"

namespace NEngine {

// Found offline by tools/magics.cpp (sparse random search, fixed seed); every
// one indexes all subsets of its square's relevance mask without a harmful
// collision at the fixed shifts 52 and 55, so start-up never searches.
const BitMask StoredRookMagics[64] = {
    0x0280021040028020, 0x10402400C0001180, 0x0100050041081020, 0x1200020008043620,
    0x0040040808061005, 0x8100020400080100, 0x2A28020010080100, 0xE100008202C82300,
    0x1850080040013004, 0x0040200008201000, 0x8000820400650080, 0x0260200600100C00,
    0x8060400140020400, 0x0006040001000091, 0x01402AA050800200, 0x0417401040082480,
    0x0008848000400020, 0x8201080240000812, 0x2000040100082C10, 0x0008829040109000,
    0x0020040040081020, 0x0000C9000C1000A1, 0x800028CB00440100, 0x1800400800258090,
    0x248003B050002003, 0x040900C140200091, 0x08408102148A0004, 0x9006100080042840,
    0x02210A0300020620, 0x0E42200080140802, 0x5400008080010140, 0x4029100040002083,
    0x1400800400500030, 0x000A212200288008, 0x0020040041A00800, 0x07200A0080800204,
    0x0803002290080001, 0x808002C120080100, 0x0808208454022280, 0x0004800800210440,
    0x0000800041010020, 0x048C003020591000, 0x92600004048A2048, 0x041088086042A00D,
    0xA004800102200820, 0x0200020080081140, 0x3841024040089410, 0x0603202080084008,
    0xA404102240490200, 0x08000B4201A10040, 0x9202882000350100, 0x104C000406080020,
    0x0208005091A02801, 0x80800181680E0200, 0x0000550060020028, 0x4801042000801008,
    0x0000210080144202, 0x0400C20020100882, 0x200009042000400D, 0x0900120008059042,
    0x1280081001200402, 0x4D10811004008802, 0x140040120444008D, 0x0402450C002084C2,
};
const BitMask StoredBishopMagics[64] = {
    0x4900810011010603, 0x00002200109A7010, 0x0092001015000249, 0x80214023014D0024,
    0x00C12220000C8600, 0x1020401840010400, 0x140080A430404C00, 0x02800A08B0003040,
    0x0001008822088917, 0x08488401440C8004, 0x4001008801310008, 0x0810021022802910,
    0x0000012093840000, 0x0000C04282450820, 0x0881002230442000, 0x08E0508900802110,
    0x08100100C3004300, 0x000601080808000C, 0x000A000508010500, 0x884100008C208200,
    0x8064002011202108, 0x8420440008200B10, 0x0000800408849010, 0x60002806C00A8180,
    0x2000D20100838800, 0x0001402808286100, 0x4000080001020008, 0xE009080001004101,
    0xC010040008802100, 0x0100408104402004, 0x0001020008280400, 0x010020C02100440C,
    0x00001C8401024808, 0x04000E00A8020068, 0x2004006A04040188, 0x9000020080080080,
    0x0018900880040020, 0x8420220200048480, 0x0406104010904800, 0x8000130010012212,
    0x0008802012826000, 0x1008170042041862, 0x0102001008028080, 0x4001880400881101,
    0x1344810260806100, 0x2000440808200010, 0x0020019302080008, 0x5014040840040010,
    0x0060803002904804, 0x0608400824420602, 0x160000600400A800, 0x0300009086008500,
    0x0005000305405084, 0x020800A200344080, 0x00021840400C4000, 0xD600404300401080,
    0x808C345A30080200, 0xC0900B0008004700, 0x1000400808935202, 0x8024B40808081802,
    0x008020208A008821, 0x1482000600284090, 0x8010015010124040, 0x4002042488001820,
};

namespace {

constexpr int RookSteps[4][2] = {{-1, 0}, {0, 1}, {1, 0}, {0, -1}};
constexpr int BishopSteps[4][2] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};

const int (*StepsOf(PieceType slider))[2] { return slider == Rook ? RookSteps : BishopSteps; }

// One block per square whatever its mask size: the fixed shift keeps the
// lookup free of per-square offsets.
alignas(16) BitMask RookStore[64 * RookBlockSize];
alignas(16) BitMask BishopStore[64 * BishopBlockSize];
MagicEntry RookEntries[64];
MagicEntry BishopEntries[64];

void FillSlider(PieceType slider, const BitMask* magics, MagicEntry* entries, BitMask* store, int blockSize,
                int shift) {
    for (int s = 0; s < 64; ++s) {
        MagicEntry& e = entries[s];
        e.magic = magics[s];
        e.mask = SliderRelevanceMask(slider, s);
        BitMask* block = store + s * blockSize;
        e.attacks = block;
        // Carry-rippler walk over every subset of the mask, the empty set included.
        BitMask sub = 0;
        do {
            const BitMask att = SliderAttacksSlow(slider, s, sub);
            BitMask& slot = block[(sub * e.magic) >> shift];
            // Slider attack sets are never empty, so 0 marks an unused slot.
            assert(slot == 0 || slot == att);
            slot = att;
            sub = (sub - e.mask) & e.mask;
        } while (sub != 0);
    }
}

}  // namespace

const MagicEntry* RookMagics = nullptr;
const MagicEntry* BishopMagics = nullptr;

BitMask SliderAttacksSlow(PieceType slider, int sq, BitMask occ) {
    BitMask result = 0;
    const int(*steps)[2] = StepsOf(slider);
    for (int d = 0; d < 4; ++d) {
        int f = FileOf(sq) + steps[d][0];
        int r = RankOf(sq) + steps[d][1];
        while (f >= 0 && f < 8 && r >= 0 && r < 8) {
            const BitMask b = Bit(MakeSquare(f, r));
            result |= b;
            if (occ & b) break;
            f += steps[d][0];
            r += steps[d][1];
        }
    }
    return result;
}

BitMask SliderRelevanceMask(PieceType slider, int sq) {
    // A piece on the last square of a ray never changes the attack set, so
    // edge squares are left out; a rook on an edge still needs the squares
    // along that edge, hence the per-axis limits rather than a border mask.
    BitMask result = 0;
    const int(*steps)[2] = StepsOf(slider);
    for (int d = 0; d < 4; ++d) {
        const int df = steps[d][0], dr = steps[d][1];
        int f = FileOf(sq) + df;
        int r = RankOf(sq) + dr;
        while ((df == 0 || (f >= 1 && f <= 6)) && (dr == 0 || (r >= 1 && r <= 6)) && f >= 0 && f < 8 && r >= 0 &&
               r < 8) {
            result |= Bit(MakeSquare(f, r));
            f += df;
            r += dr;
        }
    }
    return result;
}

void BuildMagicTables() {
    static std::once_flag once;
    std::call_once(once, [] {
        FillSlider(Rook, StoredRookMagics, RookEntries, RookStore, RookBlockSize, RookShift);
        FillSlider(Bishop, StoredBishopMagics, BishopEntries, BishopStore, BishopBlockSize, BishopShift);
        RookMagics = RookEntries;
        BishopMagics = BishopEntries;
    });
}

}  // namespace NEngine
