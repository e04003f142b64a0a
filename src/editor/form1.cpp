#include "form1.h"

#include "appearance.h"
#include "blocklistmodel.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "resizerule.h"
#include "sourceeditor.h"
#include "sourcefile.h"
#include "twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProxyStyle>
#include <QShortcut>
#include <QStyleOptionMenuItem>

namespace vornex {

namespace {

const QString kUntitled = QStringLiteral("Untitled.vornex");
const QString kStartPrefix = QStringLiteral("VORNEX IDE - ");
const QString kFilePrefix = QStringLiteral("KELD IDE - ");
const QString kDialogPreset = QStringLiteral("*.vornex");

// The menu title that the keyboard chose, after Alt alone, drawn as an open menu's title is:
// Fusion draws it like any other.
class KeyboardMenuBarStyle : public QProxyStyle
{
public:
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
        if (element == CE_MenuBarItem && item && (item->state & State_Selected) && widget &&
            widget->hasFocus()) {
            QStyleOptionMenuItem chosen = *item;
            chosen.state |= State_Sunken;
            QProxyStyle::drawControl(element, &chosen, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

Form1::Form1(Platform platform, QWidget *parent)
    : QMainWindow(parent), m_platform(std::move(platform)), dialog1(m_platform.dialog.get())
{
    // Reading the icon's five pictures and handing them to the window system takes about 5 ms,
    // so it waits until the window has appeared.
    QMetaObject::invokeMethod(
        this, [this] { setWindowIcon(applicationIcon()); }, Qt::QueuedConnection);
    setCaption(kStartPrefix);
    createControls();
    createMenus();
    createKeyRoutes();
    // The design's client area lies below the menu bar.
    resize(twipsToPixels(this, 6990), twipsToPixels(this, 5415) + menuBar()->sizeHint().height());
    Form_Load();
}

Form1::~Form1()
{
    delete m_form2;
    delete m_form3;
    delete m_form4;
}

Form2 *Form1::debugOutputWindow() const
{
    return m_form2;
}

Form3 *Form1::aboutWindow() const
{
    return m_form3;
}

Form4 *Form1::settingsWindow() const
{
    return m_form4;
}

void Form1::createControls()
{
    auto *client = new QWidget(this);
    setCentralWidget(client);
    client->setFont(fixedsysFont());

    RichTextBox1 = new SourceEditor(client);
    setTwipsGeometry(RichTextBox1, 120, 600, 3615, 2295);
    RichTextBox1->setFont(fixedsysFont());
    RichTextBox1->setAccessibleName(QStringLiteral("Source"));
    // Once per batch of changes, after the editor has painted them and before the next input.
    connect(RichTextBox1, &SourceEditor::textBatchChanged, this, &Form1::RichTextBox1_Change);

    m_blocks = new BlockListModel({[this] { return std::size_t(RichTextBox1->length()); },
                                   [this](std::size_t at, std::size_t length) {
                                       return RichTextBox1->bytesView(at, length);
                                   }},
                                  this);
    connect(RichTextBox1, &SourceEditor::textChanging, m_blocks, &BlockListModel::noteChange);
    Combo1 = new QComboBox(client);
    setTwipsGeometry(Combo1, 1320, 120, 4095, 360);
    // The box keeps the width the layout rule gives it, however long an entry is.
    Combo1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Combo1->setMinimumContentsLength(1);
    showBlockList(Combo1, m_blocks);
    Combo1->setCurrentIndex(-1);
    connect(Combo1, &QComboBox::activated, this, &Form1::Combo1_Click);

    Label1 = new QLabel(QStringLiteral("Blocks"), client);
    setTwipsGeometry(Label1, 120, 120, 1215, 255);
    Label1->setBuddy(Combo1);

    setTabOrder(RichTextBox1, Combo1);
    RichTextBox1->setFocus();
}

void Form1::createKeyRoutes()
{
    // Tab is text in the editor, so Ctrl+Tab and Ctrl+Shift+Tab move the focus, as they do out of
    // Qt's own text widgets; with two controls both reach the other one.
    const auto route = [this](QKeyCombination key, const std::function<void()> &handler) {
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, handler);
    };
    for (const bool next : {true, false}) {
        route(next ? Qt::CTRL | Qt::Key_Tab : Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, [this, next] {
            // Moved by the keyboard, the focus shows as it does after Tab.
            setAttribute(Qt::WA_KeyboardFocusChange);
            focusNextPrevChild(next);
        });
    }
    // F10 opens the first menu, as on the desktop's other programs.
    route(QKeyCombination(Qt::Key_F10), [this] { menuBar()->setActiveAction(File->menuAction()); });
    // Made after the menu bar, the style outlives it.
    auto *style = new KeyboardMenuBarStyle;
    style->setParent(this);
    menuBar()->setStyle(style);
}

QAction *Form1::addItem(QMenu *menu, const QString &caption, const QKeySequence &key,
                        const std::function<void()> &handler)
{
    QAction *item = menu->addAction(caption);
    item->setShortcut(key);
    connect(item, &QAction::triggered, this, handler);
    // Menu shortcuts win over the editor's own key bindings while the editor has the focus.
    RichTextBox1->releaseKey(key);
    return item;
}

void Form1::createMenus()
{
    File = menuBar()->addMenu(QStringLiteral("File"));
    CNSF = addItem(File, QStringLiteral("Create New Source File"),
                   QKeySequence(Qt::CTRL | Qt::Key_N), [this] { CNSF_Click(); });
    x = File->addSeparator();
    LoadS = addItem(File, QStringLiteral("Load a Exisitng Source File"),
                    QKeySequence(Qt::CTRL | Qt::Key_L), [this] { LoadS_Click(); });
    y = File->addSeparator();
    Saves = addItem(File, QStringLiteral("Save"), QKeySequence(Qt::CTRL | Qt::Key_S),
                    [this] { Saves_Click(); });
    SaveAss = addItem(File, QStringLiteral("Save As"), QKeySequence(Qt::CTRL | Qt::Key_A),
                      [this] { SaveAss_Click(); });
    exitz = addItem(File, QStringLiteral("Exit"), QKeySequence(Qt::CTRL | Qt::Key_E),
                    [this] { exitz_Click(); });

    Build = menuBar()->addMenu(QStringLiteral("Build"));
    Asm = addItem(Build, QStringLiteral("Assemble "), QKeySequence(Qt::Key_F4),
                  [this] { Asm_Click(); });
    Asmne = addItem(Build, QStringLiteral("View Debug  Output"), QKeySequence(Qt::Key_F6),
                    [this] { Asmne_Click(); });
    EAE = addItem(Build, QStringLiteral("Execute Assembled QVX"), QKeySequence(Qt::Key_F5),
                  [this] { EAE_Click(); });

    Opt = menuBar()->addMenu(QStringLiteral("Options"));
    SetupECop = addItem(Opt, QStringLiteral("Setup EXECUTE options"),
                        QKeySequence(Qt::CTRL | Qt::Key_O), [this] { SetupECop_Click(); });

    Hlp = menuBar()->addMenu(QStringLiteral("Help"));
    abt = addItem(Hlp, QStringLiteral("About"), QKeySequence(Qt::CTRL | Qt::Key_H),
                  [this] { abt_Click(); });
}

QString Form1::untitledPath() const
{
    return appDirFile(m_platform.appDir, kUntitled);
}

void Form1::Form_Load()
{
    SourcePath = untitledPath();
    setCaption(kStartPrefix + SourcePath);
}

void Form1::setCaption(const QString &caption)
{
    // "[*]" is Qt's placeholder for the modified mark; doubled it shows as itself.
    QString title = caption;
    setWindowTitle(title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

double Form1::twips(int pixels) const
{
    return pixelsToTwips(pixels, logicalDpi(this));
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void Form1::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    // The first resize event comes before the window manager has added its frame; when the
    // frame arrives only a move follows, so the rule runs again for the outer size it made.
    if (frameGeometry().size() != m_ruledSize)
        Form_Resize();
}

void Form1::Form_Resize()
{
    const QRect outer = frameGeometry();
    m_ruledSize = outer.size();
    const ResizeResult sizes = resizeRule(twips(outer.width()), twips(outer.height()));
    if (sizes.editorWidth)
        RichTextBox1->resize(twipsToPixels(this, *sizes.editorWidth), RichTextBox1->height());
    if (sizes.editorHeight)
        RichTextBox1->resize(RichTextBox1->width(), twipsToPixels(this, *sizes.editorHeight));
    if (sizes.listWidth)
        Combo1->resize(twipsToPixels(this, *sizes.listWidth), Combo1->height());
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing the main window ends the whole IDE, whatever other windows are open.
    event->accept();
    exitz_Click();
}

void Form1::exitz_Click()
{
    m_platform.endProcess(0);
}

void Form1::RichTextBox1_Change()
{
    LoadCombos();
}

void Form1::LoadCombos()
{
    // The list selects no entry; cleared first, so that the choice does not move with the entries.
    Combo1->setCurrentIndex(-1);
    m_blocks->rebuild();
}

void Form1::Combo1_Click() {}

void Form1::reportFailure(const QString &what, const QString &reason)
{
    m_platform.messages->warning(this, applicationTitle(), what + QStringLiteral(":\n") + reason);
}

bool Form1::loadFile(const QString &path)
{
    std::string bytes;
    QString reason;
    FileIdentity identity;
    if (!readSourceFile(path, &bytes, &reason, &identity)) {
        reportFailure(QStringLiteral("Cannot open \"%1\"").arg(path), reason);
        return false;
    }
    RichTextBox1->setRawBytes(bytes);
    m_sourceFile = identity;
    return true;
}

bool Form1::saveFile(const QString &path)
{
    QString reason;
    // Save As names a file of the user's choice; Save writes the one opened or last saved.
    FileIdentity identity = path == SourcePath ? m_sourceFile : FileIdentity();
    if (!writeSourceFile(path, RichTextBox1->bytesView(), &reason, &identity)) {
        reportFailure(QStringLiteral("Cannot save \"%1\"").arg(path), reason);
        return false;
    }
    m_sourceFile = identity;
    return true;
}

void Form1::CNSF_Click()
{
    SourcePath = untitledPath();
    m_sourceFile = {};
    RichTextBox1->setRawBytes({});
}

// Open and Save As: the dialog, then the file operation, and only when both went through the
// path and the caption.
void Form1::chooseFileThen(bool (Form1::*operation)(const QString &))
{
    dialog1->setFileName(kDialogPreset);
    dialog1->showOpen(this);
    const QString chosen = dialog1->fileName();
    if (chosen == kDialogPreset)
        return;
    if (!(this->*operation)(chosen))
        return;
    SourcePath = chosen;
    setCaption(kFilePrefix + SourcePath);
}

void Form1::LoadS_Click()
{
    chooseFileThen(&Form1::loadFile);
}

bool Form1::Saves_Click()
{
    return saveFile(SourcePath);
}

void Form1::SaveAss_Click()
{
    chooseFileThen(&Form1::saveFile);
}

} // namespace vornex
