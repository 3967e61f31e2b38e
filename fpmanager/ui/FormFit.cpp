#include "FormFit.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QList>
#include <QRect>
#include <QWidget>
#include <algorithm>

namespace
{

// Forms placed by hand overlap a pixel or two here and there (a label's box over the field after
// it); a widget that starts this close to another's right edge still counts as right of it.
const int kOverlap = 4;

bool isPlainContainer(const QWidget* widget)
{
    return qobject_cast<const QGroupBox*>(widget) || widget->metaObject() == &QWidget::staticMetaObject;
}

// How much wider a text widget must be for its text to show whole.
int missingWidth(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        if (label->wordWrap())
            return 0;
    } else if (!qobject_cast<const QAbstractButton*>(widget)) {
        return 0;
    }
    return std::max(0, widget->sizeHint().width() - widget->width());
}

} // namespace

namespace FormFit
{

int fitTexts(QWidget* container)
{
    if (container->layout())
        return 0;

    struct Item {
        QWidget* widget;
        QRect before;
        int grow = 0;
        int shift = 0;
    };
    QList<Item> items;
    const auto children = container->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (child->isWindow())
            continue;
        const QRect before = child->geometry();
        items.append({ child, before, isPlainContainer(child) ? fitTexts(child) : missingWidth(child) });
    }
    std::stable_sort(
        items.begin(), items.end(), [](const Item& a, const Item& b) { return a.before.left() < b.before.left(); });

    int oldRight = 0;
    int newRight = 0;
    for (int i = 0; i < items.size(); ++i) {
        Item& item = items[i];
        for (int j = 0; j < i; ++j) {
            const Item& left = items.at(j);
            if (item.before.left() >= left.before.left() + left.before.width() - kOverlap)
                item.shift = std::max(item.shift, left.shift + left.grow);
        }
        if (item.grow > 0 || item.shift > 0)
            item.widget->setGeometry(item.before.adjusted(item.shift, 0, item.shift + item.grow, 0));
        oldRight = std::max(oldRight, item.before.left() + item.before.width());
        newRight = std::max(newRight, item.before.left() + item.before.width() + item.shift + item.grow);
    }
    return std::max(0, newRight - oldRight);
}

void fitFixedForm(QWidget* form)
{
    const int grown = fitTexts(form);
    if (grown > 0)
        form->setFixedSize(form->width() + grown, form->height());
}

} // namespace FormFit
