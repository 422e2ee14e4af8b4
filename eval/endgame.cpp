// The table of endgame special cases.
#include "eval/endgame.h"

namespace NEngine {

void BuildSpecialCaseTable(SpecialCaseTable& table) {
    // Few signatures and many lookups: keep the buckets short.
    table.max_load_factor(1.0f);
    if (table.bucket_count() < 8) table.rehash(8);
    // Rules are registered here by material signature as they are written.
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
