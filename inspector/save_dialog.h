#pragma once

#include <QString>

class QWidget;

// Asks where to save a file: a save dialog over parent with the given title,
// file-name filter and proposed name, opened in the folder of the last file
// the inspector saved (while the console runs). defaultSuffix (without dot,
// may be empty) is added to a name typed without one. Returns the chosen
// path, or an empty string when the user cancelled.
QString AskSavePath(QWidget *parent, const QString &title, const QString &filter, const QString &proposedName,
                    const QString &defaultSuffix);

// Notes that a file was saved at path, so the next dialog opens in its folder.
void RememberSavedFile(const QString &path);
