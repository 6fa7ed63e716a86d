#include "Art.h"
#include "TestSupport.h"

#include <QImage>
#include <QTest>

using namespace dirwise;

namespace {

QImage rgba(const QPixmap &p) { return p.toImage().convertToFormat(QImage::Format_ARGB32); }

bool cornersTransparent(const QImage &img) {
    const int r = img.width() - 1;
    const int b = img.height() - 1;
    return qAlpha(img.pixel(0, 0)) == 0 && qAlpha(img.pixel(r, 0)) == 0 &&
           qAlpha(img.pixel(0, b)) == 0 && qAlpha(img.pixel(r, b)) == 0;
}

// Counts opaque pixels for which `test` holds, to check a picture's subject by colour.
template <typename Test> int countPixels(const QImage &img, Test test) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            if (qAlpha(p) > 200 && test(qRed(p), qGreen(p), qBlue(p)))
                ++n;
        }
    }
    return n;
}

bool isYellow(int r, int g, int b) { return r > 200 && g > 150 && b < 120; }
bool isRed(int r, int g, int b) { return r > 170 && g < 80 && b < 80; }
bool isWhite(int r, int g, int b) { return r > 235 && g > 235 && b > 235; }
bool isGrey(int r, int g, int b) {
    return qAbs(r - g) < 12 && qAbs(g - b) < 12 && r > 80 && r < 200;
}

} // namespace

class ArtTest : public QObject {
    Q_OBJECT

private slots:
    void picturesHaveTheirSizesAndTransparentCorners_data() {
        QTest::addColumn<QPixmap>("pixmap");
        QTest::addColumn<QSize>("size");
        QTest::newRow("imgMaster") << art::masterFolderPixmap() << QSize(30, 25);
        QTest::newRow("imgCompare") << art::compareFolderPixmap() << QSize(35, 32);
        QTest::newRow("about") << art::aboutPixmap() << QSize(80, 161);
        QTest::newRow("Match") << art::resultIcon(0).pixmap(16, 16) << QSize(16, 16);
        QTest::newRow("Different") << art::resultIcon(1).pixmap(16, 16) << QSize(16, 16);
        QTest::newRow("NotFound") << art::resultIcon(2).pixmap(16, 16) << QSize(16, 16);
        for (int s : {16, 32, 48, 64, 128, 256})
            QTest::newRow(qPrintable(QStringLiteral("window icon %1").arg(s)))
                << art::windowIconPixmap(s) << QSize(s, s);
    }
    void picturesHaveTheirSizesAndTransparentCorners() {
        QFETCH(QPixmap, pixmap);
        QFETCH(QSize, size);
        QVERIFY(!pixmap.isNull());
        QCOMPARE(pixmap.size(), size);
        const QImage img = rgba(pixmap);
        QVERIFY(cornersTransparent(img));
        // Not an empty picture: a fair share of it is drawn.
        QVERIFY(countPixels(img, [](int, int, int) { return true; }) >
                size.width() * size.height() / 5);
    }

    void subjectsShowTheirColours() {
        const QImage master = rgba(art::masterFolderPixmap());
        QVERIFY(countPixels(master, isYellow) > 200); // a yellow folder
        const QImage compare = rgba(art::compareFolderPixmap());
        QVERIFY(countPixels(compare, isYellow) > 200);
        QVERIFY(countPixels(compare, isWhite) > 60); // the sheet sticking out
        const QImage tick = rgba(art::resultIcon(0).pixmap(16, 16));
        QVERIFY(countPixels(tick, isYellow) > 20);
        QCOMPARE(countPixels(tick, isRed), 0);
        const QImage noEntry = rgba(art::resultIcon(1).pixmap(16, 16));
        QVERIFY(countPixels(noEntry, isRed) > 60);
        // The white bar runs across the middle row of the disc.
        QVERIFY(isWhite(qRed(noEntry.pixel(8, 8)), qGreen(noEntry.pixel(8, 8)),
                        qBlue(noEntry.pixel(8, 8))));
        const QImage cross = rgba(art::resultIcon(2).pixmap(16, 16));
        QVERIFY(countPixels(cross, isRed) > 20);
        QVERIFY(countPixels(cross, isGrey) > 5); // the shadow
        QCOMPARE(countPixels(cross, isWhite), 0);
    }

    void windowIconOffersEverySize() {
        const QIcon icon = art::windowIcon();
        QVERIFY(!icon.isNull());
        const QList<QSize> sizes = icon.availableSizes();
        for (int s : {16, 32, 48, 64, 128, 256})
            QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));
    }

    void unknownKeysAndSizesGiveNothing() {
        QVERIFY(art::resultIcon(-1).isNull());
        QVERIFY(art::resultIcon(3).isNull());
        QVERIFY(art::windowIconPixmap(24).isNull());
        QVERIFY(art::windowIconPixmap(0).isNull());
    }
};

DIRWISE_REGISTER_TEST(ArtTest);
#include "ArtTest.moc"
