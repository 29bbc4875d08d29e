#include "params/ParameterSet.h"

void ClearParameterSet(ParameterSet& set)
{
    // Every member has an empty/zero default, so a fresh record is the
    // cleared state; assigning it keeps this in step with new fields.
    set = ParameterSet{};
}
