#include "editor/resizerule.h"

#include <QTest>

using namespace vornex;

namespace QTest {
template <> char *toString(const ResizeResult &r)
{
    auto part = [](const std::optional<float> &v) {
        return v ? QByteArray::number(*v) : QByteArray("skipped");
    };
    return qstrdup("editor " + part(r.editorWidth) + " x " + part(r.editorHeight) + ", list " +
                   part(r.listWidth));
}
} // namespace QTest

class TestResizeRule : public QObject
{
    Q_OBJECT

private slots:
    void rule_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::addColumn<ResizeResult>("expected");
        const std::nullopt_t skip = std::nullopt;
        QTest::newRow("9000x7000") << 9000.0 << 7000.0 << ResizeResult{8630, 5600, 7400};
        QTest::newRow("design-size") << 7110.0 << 6195.0 << ResizeResult{6740, 4795, 5510};
        QTest::newRow("narrow-list-skipped") << 1500.0 << 7000.0 << ResizeResult{1130, 5600, skip};
        QTest::newRow("list-zero-width-kept") << 1600.0 << 7000.0 << ResizeResult{1230, 5600, 0};
        QTest::newRow("low-editor-height-skipped")
            << 9000.0 << 1399.0 << ResizeResult{8630, skip, 7400};
        QTest::newRow("editor-zero-height") << 9000.0 << 1400.0 << ResizeResult{8630, 0, 7400};
        QTest::newRow("below-every-margin") << 369.0 << 1000.0 << ResizeResult{skip, skip, skip};
        QTest::newRow("minimized-zero") << 0.0 << 0.0 << ResizeResult{skip, skip, skip};
        QTest::newRow("fractional-twips")
            << 9000.5 << 7000.25 << ResizeResult{8630.5f, 5600.25f, 7400.5f};
        QTest::newRow("huge") << 1.0e6 << 1.0e6 << ResizeResult{999630, 998600, 998400};
    }

    // Each assignment stands alone: one that would be negative is left out, the others still run.
    void rule()
    {
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(ResizeResult, expected);
        QCOMPARE(resizeRule(width, height), expected);
    }
};

QTEST_APPLESS_MAIN(TestResizeRule)
#include "tst_resizerule.moc"
