#include "inspector/save_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

QString &LastFolder()
{
    static QString folder;
    return folder;
}

} // namespace

QString AskSavePath(QWidget *parent, const QString &title, const QString &filter, const QString &proposedName,
                    const QString &defaultSuffix)
{
    QFileDialog dialog(parent, title, LastFolder(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(LastFolder().isEmpty() ? proposedName : QDir(LastFolder()).filePath(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void RememberSavedFile(const QString &path)
{
    LastFolder() = QFileInfo(path).absolutePath();
}
