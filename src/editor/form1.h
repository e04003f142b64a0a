#pragma once

#include "platform.h"
#include "readfile.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <functional>

class QAction;
class QComboBox;
class QLabel;
class QMenu;

namespace vornex {

class BlockListModel;
class Form2;
class Form3;
class Form4;
class SourceEditor;
struct LaunchCommand;

// The main window: the editor, the block list and every command of the IDE.
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    explicit Form1(Platform platform, QWidget *parent = nullptr);
    ~Form1() override;

    // The full path of the current source file.
    QString SourcePath;

    // The editor and the block list.
    SourceEditor *editor() const { return RichTextBox1; }
    QComboBox *blockList() const { return Combo1; }

    // Sets SourcePath and the caption at start.
    void Form_Load();
    // Lays the editor and the block list out for the window's outer size.
    void Form_Resize();
    // Ends the process at once, without a question and without saving.
    void exitz_Click();

    // Rebuilds the block list after every change of the editor text.
    void RichTextBox1_Change();
    // Brings the block list up to the editor text, selecting no entry.
    void LoadCombos();
    // Choosing a block list entry does nothing.
    void Combo1_Click();

    // File: New, Open, Save (true when the file was written) and Save As.
    void CNSF_Click();
    void LoadS_Click();
    bool Saves_Click();
    void SaveAss_Click();

    // Build: Assemble, View Debug Output and Execute; Options: the interpreter settings.
    void Asm_Click();
    void Asmne_Click();
    void EAE_Click();
    void SetupECop_Click();

    // Help: the About window.
    void abt_Click();

    // The secondary windows while they exist.
    Form2 *debugOutputWindow() const;
    Form3 *aboutWindow() const;
    Form4 *settingsWindow() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    SourceEditor *RichTextBox1;
    QComboBox *Combo1;
    QLabel *Label1;
    QMenu *File;
    QAction *CNSF;
    QAction *x;
    QAction *LoadS;
    QAction *y;
    QAction *Saves;
    QAction *SaveAss;
    QAction *exitz;
    QMenu *Build;
    QAction *Asm;
    QAction *Asmne;
    QAction *EAE;
    QMenu *Opt;
    QAction *SetupECop;
    QMenu *Hlp;
    QAction *abt;

    // The window's title text.
    void setCaption(const QString &caption);
    void createControls();
    void createMenus();
    // The keys that move between the controls and into the menus.
    void createKeyRoutes();
    QAction *addItem(QMenu *menu, const QString &caption, const QKeySequence &key,
                     const std::function<void()> &handler);
    double twips(int pixels) const;
    // Shows a failed file or process operation: what failed, on what, and why.
    void reportFailure(const QString &what, const QString &reason);
    // Starts a program without waiting for it; a failed start is reported.
    void start(const LaunchCommand &command);
    // AppDir's own file for a text that has no name yet.
    QString untitledPath() const;
    void chooseFileThen(bool (Form1::*operation)(const QString &));
    bool loadFile(const QString &path);
    bool saveFile(const QString &path);
    Form4 *form4();

    Platform m_platform;
    // The file SourcePath led to when it was opened or last saved, which Save writes.
    FileIdentity m_sourceFile;
    FileDialog *dialog1;
    BlockListModel *m_blocks;
    // The outer size the layout rule last ran for.
    QSize m_ruledSize;
    QPointer<Form2> m_form2;
    QPointer<Form3> m_form3;
    QPointer<Form4> m_form4;
};

} // namespace vornex
