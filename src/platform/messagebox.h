#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace vornex {

// The title of a message box that gives none of its own: the application's title.
inline QString applicationTitle()
{
    return QStringLiteral("Project1");
}

// Modal message boxes.
class MessageBox
{
public:
    virtual ~MessageBox() = default;
    // Shows text with the exclamation icon and a single OK button; returns when it is closed.
    virtual void warning(QWidget *parent, const QString &title, const QString &text) = 0;
};

std::unique_ptr<MessageBox> makeQtMessageBox();

} // namespace vornex
