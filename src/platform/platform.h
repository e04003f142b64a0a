#pragma once

#include "filedialog.h"
#include "htmlviewer.h"
#include "messagebox.h"
#include "processlauncher.h"

#include <QString>

#include <functional>
#include <memory>

namespace vornex {

// What the windows reach outside the process through. Tests hand in fakes.
struct Platform
{
    QString appDir;
    std::unique_ptr<FileDialog> dialog;
    std::unique_ptr<MessageBox> messages;
    std::unique_ptr<ProcessLauncher> launcher;
    std::unique_ptr<HtmlViewerFactory> viewers;
    // Ends the process at once with the given status.
    std::function<void(int)> endProcess;
};

// The IDE's own file name in appDir: the folder, the separator and the name, joined with no test
// (at the root the separator is doubled).
QString appDirFile(const QString &appDir, const QString &name);

// The real desktop, with AppDir the folder of the running executable.
Platform makeDesktopPlatform();

} // namespace vornex
