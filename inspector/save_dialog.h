#pragma once

#include <QString>

class QWidget;

// Asks where to save a file: a save dialog over parent with the given title,
// file-name filter and proposed name. Returns the chosen path, or an empty
// string when the user cancelled. The dialog remembers nothing between uses.
// defaultSuffix (without dot, may be empty) is added to a name typed without one.
QString AskSavePath(QWidget *parent, const QString &title, const QString &filter, const QString &proposedName,
                    const QString &defaultSuffix);
