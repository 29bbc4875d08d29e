#pragma once

#include <QString>

#include <cstdio>

// `sirenset --verify-report NUMBER SHA256`: whether the service record
// agrees with a paper report. The number names the terminal
// ("YS-20261211-1A2B3C4D-131005"); the digest, from the report's QR code,
// is the SHA-256 of the configuration the report was made from. The record
// agrees when it holds a snapshot of that terminal with that digest, taken
// no later than the report. Reads the record only. Exit status 0 when it
// agrees, 3 when it does not, 1 when the record cannot be read, 2 when the
// number or the digest is malformed.
int VerifyReport(const QString& location, const QString& number, const QString& digest, std::FILE* out,
                 std::FILE* err);
