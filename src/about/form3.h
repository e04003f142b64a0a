#pragma once

#include <QWidget>

namespace vornex {

// The About window: the maker's web page.
class Form3 : public QWidget
{
    Q_OBJECT

public:
    explicit Form3(QWidget *parent = nullptr) : QWidget(parent) {}
};

} // namespace vornex
