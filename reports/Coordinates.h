#pragma once

#include <QString>

#include <optional>

// A coordinate as a technician types it, in decimal degrees ("30.5728",
// "-114.3055", "30.5728N") or in degrees, minutes and seconds
// ("30°34'22.1\"N", "30 34 22.1 N", "北纬30°34′22″", "E114d18m19.8s").
// A hemisphere letter (N/S for a latitude, E/W for a longitude, or
// 北纬/南纬/东经/西经) may stand before or after it; S and W make it
// negative and cannot be combined with a minus sign. The letters are
// capitals, so that the "s" of seconds is never taken for south.
enum class CoordinateAxis { Latitude, Longitude };

// Decimal degrees, or nothing with the reason in `why` (in Chinese, with the
// text as typed): out of range (±90 / ±180), minutes or seconds of 60 or
// more, the other axis's hemisphere, or not a coordinate at all.
std::optional<double> ParseCoordinate(const QString& text, CoordinateAxis axis, QString* why);

// "30.572806°N", as the report prints it (six decimals: about 0.1 m).
QString CoordinateText(double degrees, CoordinateAxis axis);
