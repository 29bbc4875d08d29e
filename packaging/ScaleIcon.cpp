// Writes a PNG scaled to SIZE x SIZE pixels, so the package can carry the
// icon sizes desktops look for without keeping more artwork in the tree.
//   sirenset-scale-icon IN.png OUT.png SIZE

#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fputs("usage: sirenset-scale-icon IN.png OUT.png SIZE\n", stderr);
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "sirenset-scale-icon: cannot read %s\n", argv[1]);
        return 1;
    }
    bool ok = false;
    const int size = QString::fromLocal8Bit(argv[3]).toInt(&ok);
    if (!ok || size <= 0) {
        std::fprintf(stderr, "sirenset-scale-icon: bad size %s\n", argv[3]);
        return 2;
    }
    const QImage scaled = source.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (!scaled.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "sirenset-scale-icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
