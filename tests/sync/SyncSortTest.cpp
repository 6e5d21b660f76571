#include "sync/SyncSort.h"

#include <gtest/gtest.h>

#include "SyncTestSupport.h"

using halvex::SortOrder;
using halvex::SyncColumn;

namespace {

ItemData Row(std::string name, std::uint64_t size, std::int64_t date, bool sourceUsb, bool readable = true)
{
    ItemData r;
    r.name = std::move(name);
    r.size = size;
    r.date = date;
    r.sourceUsb = sourceUsb;
    r.readable = readable;
    return r;
}

std::string Names(const std::vector<ItemData>& rows)
{
    std::string out;
    for (const auto& r : rows)
        out += (out.empty() ? "" : ",") + r.name;
    return out;
}

struct SortCase {
    SyncColumn column;
    SortOrder order;
    const char* expected;
};

}  // namespace

TEST(SyncSort, EachColumnBothWays)
{
    synctest::LoadSyncStrings();
    // Sizes 900 and 1000 have the same text ("1 KB") but sort by the count.
    const std::vector<ItemData> rows = {
        Row("beta", 1000, 300, false),    Row("Alpha", 5'000'000, 100, true), Row("gamma", 900, 200, false),
        Row("locked", 0, 0, true, false), Row("ALPHA2", 2048, 400, false),
    };
    const SortCase cases[] = {
        {SyncColumn::Name, SortOrder::Ascending, "Alpha,ALPHA2,beta,gamma,locked"},
        {SyncColumn::Name, SortOrder::Descending, "locked,gamma,beta,ALPHA2,Alpha"},
        {SyncColumn::Size, SortOrder::Ascending, "locked,gamma,beta,ALPHA2,Alpha"},
        {SyncColumn::Size, SortOrder::Descending, "Alpha,ALPHA2,beta,gamma,locked"},
        {SyncColumn::LastModified, SortOrder::Ascending, "locked,Alpha,gamma,beta,ALPHA2"},
        // "To Computer" before "To Flash Drive"; equal rows keep the scan's order.
        {SyncColumn::Direction, SortOrder::Ascending, "Alpha,locked,beta,gamma,ALPHA2"},
        {SyncColumn::Direction, SortOrder::Descending, "beta,gamma,ALPHA2,Alpha,locked"},
    };
    for (const SortCase& c : cases) {
        auto sorted = rows;
        halvex::SortRows(sorted, c.column, c.order);
        EXPECT_EQ(Names(sorted), c.expected) << static_cast<int>(c.column) << "/" << static_cast<int>(c.order);
    }
}

TEST(SyncSort, CaseFoldingIsAsciiOnlyAndBytewiseBeyond)
{
    synctest::LoadSyncStrings();
    EXPECT_EQ(halvex::CompareNoCase("ABC", "abc"), 0);
    EXPECT_LT(halvex::CompareNoCase("ab", "abc"), 0);
    EXPECT_LT(halvex::CompareNoCase("Zeta", "\xC3\xA9t\xC3\xA9"), 0);  // "été" after ASCII
    EXPECT_EQ(halvex::DirectionText(Row("x", 0, 0, true)), "To Computer");
}
