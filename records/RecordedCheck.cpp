#include "records/RecordedCheck.h"

RecordedProfileCheck RecordedCheckOf(const ProfileCheckResult& check)
{
    RecordedProfileCheck recorded;
    recorded.profileName = check.profileName;
    recorded.profileVersion = check.profileVersion;
    recorded.profileDigest = check.profileDigest;
    recorded.day = check.day.toString(Qt::ISODate);
    recorded.conformed = check.Conforms();
    recorded.countingDeviations = check.CountingDeviations();
    for (const Deviation& deviation : check.deviations)
        recorded.deviationLines << deviation.Text();
    return recorded;
}
