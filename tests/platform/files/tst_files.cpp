#include <QTest>
class TestFiles : public QObject
{
    Q_OBJECT
};
QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
