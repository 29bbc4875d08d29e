#pragma once

#include <QByteArray>

#include <vector>

// A QR code made by libqrencode: a square of modules, dark or light, drawn
// by the page painter as filled squares (so it stays sharp at any scale).
struct QrCode {
    int size = 0;             // modules per side, without the quiet zone
    std::vector<bool> dark;   // row by row

    bool IsDark(int x, int y) const { return dark[static_cast<std::size_t>(y * size + x)]; }
    bool IsEmpty() const { return size == 0; }

    // Error correction level M (15 % of the code may be lost: a folded or
    // stained paper still reads). Empty when the text does not fit.
    static QrCode Encode(const QByteArray& text);
};
