#pragma once

// How long a terminal may go unseen before its latest snapshot no longer
// says what it holds today (过期). --stale-days changes it for one run.
inline constexpr int kDefaultStaleDays = 180;
