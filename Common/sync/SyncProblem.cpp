#include "sync/SyncProblem.h"

#include <cstring>

#include "strings/KXStrings.h"
#include "sync/ItemData.h"

namespace halvex {

std::string SyncProblemText(const ItemData& row)
{
    if (row.problem == kProblemNameClash)
        return KXStrings::Format(kProblemNameClash, row.name, row.problemDetail);
    if (row.problem == kProblemUnreadable)
        return KXStrings::Format(kProblemUnreadable, row.problemDetail);
    return KXStrings::GetString(row.problem);
}

}  // namespace halvex
