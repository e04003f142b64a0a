#pragma once

#include <QWidget>

namespace vornex {

// The debug output window: the assembler's report in an HTML viewer.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    explicit Form2(QWidget *parent = nullptr) : QWidget(parent) {}
};

} // namespace vornex
