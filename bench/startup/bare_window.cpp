// The yardstick for the IDE's start-up: a bare Qt window with a QScintilla editor, a combo box and
// a menu bar, and nothing else.
#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QComboBox>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    auto *client = new QWidget(&window);
    window.setCentralWidget(client);
    auto *editor = new QsciScintilla(client);
    editor->setGeometry(8, 40, 240, 150);
    auto *combo = new QComboBox(client);
    combo->setGeometry(88, 8, 270, 24);
    window.menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Exit"));
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(466, 380);
    window.show();
    return app.exec();
}
