#include "inspector/save_dialog.h"

#include <QFileDialog>
#include <QSettings>

QString AskSavePath(QWidget *parent, const QString &title, const QString &filter, const QString &proposedName,
                    const QString &defaultSuffix)
{
    // QFileDialog keeps its history in Qt's own settings file; the console
    // keeps no state, so the settings go where no file can be created.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
