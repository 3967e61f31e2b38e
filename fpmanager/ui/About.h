#ifndef ABOUT_H
#define ABOUT_H

#include <QDialog>

namespace Ui
{
class About;
}

// The small information window: the logo and the version text.
class About : public QDialog
{
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);
    ~About() override;

    Ui::About* ui;
};

#endif
