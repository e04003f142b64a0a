#pragma once

#include <QWidget>

namespace vornex {

// The interpreter settings window.
class Form4 : public QWidget
{
    Q_OBJECT

public:
    explicit Form4(QWidget *parent = nullptr) : QWidget(parent) {}
};

} // namespace vornex
