#pragma once

#include "profiles/ProfileCheck.h"
#include "records/RecordTypes.h"

// A check of a terminal against a project profile as the record keeps it:
// which profile (name, version, the digest of its text), the day, whether
// the terminal conformed and every deviation's line.
RecordedProfileCheck RecordedCheckOf(const ProfileCheckResult& check);
