#include "reports/QrCode.h"

#include <qrencode.h>

QrCode QrCode::Encode(const QByteArray& text)
{
    QrCode code;
    QRcode* made = QRcode_encodeString8bit(text.constData(), 0, QR_ECLEVEL_M);
    if (!made)
        return code;
    code.size = made->width;
    code.dark.resize(static_cast<std::size_t>(made->width) * static_cast<std::size_t>(made->width));
    for (std::size_t i = 0; i < code.dark.size(); ++i)
        code.dark[i] = (made->data[i] & 1) != 0;  // bit 0: dark module
    QRcode_free(made);
    return code;
}
