#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace vornex {

// The source file dialog: a stored file name that presets the next use and holds its result.
class FileDialog
{
public:
    virtual ~FileDialog() = default;
    // Presets the name field of the next dialog.
    virtual void setFileName(const QString &name) = 0;
    // The full path the user chose, or the preset when the dialog was cancelled.
    virtual QString fileName() const = 0;
    // Shows the dialog modally in its open form and returns when the user has closed it.
    virtual void showOpen(QWidget *parent) = 0;
};

// The dialog of the desktop: title "Vor Source File", filter "*.vornex", names of files that do
// not exist yet accepted, no overwrite question, no extension added.
std::unique_ptr<FileDialog> makeQtFileDialog();

} // namespace vornex
