#pragma once
// Helpers shared by the compose tests.
#include "addressbook/addressbook.h"
#include "common/ui.h"
#include "common/windows.h"
#include "compose/register.h"
#include "compose/writeform.h"
#include "palette/register.h"
#include "testenv.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace korvane::test {

inline void clickButton(QWidget *w, const char *name)
{
    child<QPushButton>(w, name)->click();
}

// Writes address-book records (name, address) to the book or the preset list.
inline void writeAddressFile(addressbook::Source source, const QList<std::pair<QString, QString>> &entries)
{
    QByteArray bytes;
    for (const auto &[name, address] : entries)
        bytes += addressbook::encodeRecord({name, address, 1});
    writeFile(addressbook::pathOf(source), bytes);
}

inline void registerComposeWindows()
{
    compose::registerWindows();
    palette::registerWindows();
}

// Presses the mouse on entry `row` of the address list (-1: below the entries).
inline void pressAddressRow(QListWidget *list, int row)
{
    QPoint at = row >= 0 ? list->visualItemRect(list->item(row)).center()
                         : QPoint(5, list->viewport()->height() - 3);
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace korvane::test
