#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace vornex {

// Starts outside programs without a shell and without waiting for them.
class ProcessLauncher
{
public:
    virtual ~ProcessLauncher() = default;
    // Starts program with arguments, detached; on failure returns false and sets *error to the
    // reason.
    virtual bool startDetached(const QString &program, const QStringList &arguments,
                               QString *error) = 0;
};

std::unique_ptr<ProcessLauncher> makeQtProcessLauncher();

} // namespace vornex
