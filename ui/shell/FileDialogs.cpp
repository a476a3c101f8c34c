#include "ui/shell/FileDialogs.h"

#include "ui/shell/Settings.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

class TCheckedFileDialog final : public QFileDialog {
public:
    TCheckedFileDialog(QWidget* owner, bool pathMustExist)
        : QFileDialog(owner), pathMustExist_(pathMustExist) {}

    void accept() override {
        const QStringList files = selectedFiles();
        if (pathMustExist_ && !files.isEmpty() && !QFileInfo(files.first()).dir().exists()) {
            // Qt's own words for it, so that its translations apply.
            QMessageBox::warning(
                this, windowTitle(),
                tr("%1\nDirectory not found.\nPlease verify the correct directory name was given.")
                    .arg(files.first()));
            return;
        }
        QFileDialog::accept();
    }

private:
    bool pathMustExist_;
};

} // namespace

QStringList QtNameFilters(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns)
            pattern = pattern.trimmed();
        filters << parts[i] + " (" + patterns.join(' ') + ")";
    }
    return filters;
}

bool TSystemFileDialogs::Execute(TFileDialog& dialog, QWidget* owner) {
    TCheckedFileDialog shown(owner, dialog.Options & ofPathMustExist);
    // The toolkit's own dialog, so that the checks above apply on every desktop.
    shown.setOption(QFileDialog::DontUseNativeDialog);
    shown.setAcceptMode(dialog.Kind == TFileDialog::TKind::Save ? QFileDialog::AcceptSave
                                                                : QFileDialog::AcceptOpen);
    shown.setFileMode(QFileDialog::AnyFile);
    shown.setOption(QFileDialog::DontConfirmOverwrite, !(dialog.Options & ofOverwritePrompt));
    shown.setSizeGripEnabled(dialog.Options & ofEnableSizing);
    const QStringList filters = QtNameFilters(dialog.Filter);
    shown.setNameFilters(filters);
    if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size())
        shown.selectNameFilter(filters[dialog.FilterIndex - 1]);
    shown.setDefaultSuffix(dialog.DefaultExt);
    if (!dialog.FileName.isEmpty())
        shown.selectFile(dialog.FileName);
    else if (!dialog.InitialDir.isEmpty())
        shown.setDirectory(dialog.InitialDir);
    if (shown.exec() != QDialog::Accepted || shown.selectedFiles().isEmpty())
        return false;
    dialog.FileName = QFileInfo(shown.selectedFiles().first()).absoluteFilePath();
    dialog.FilterIndex = static_cast<int>(filters.indexOf(shown.selectedNameFilter())) + 1;
    return true;
}

TRememberedFolderDialogs::TRememberedFolderDialogs(TFileDialogs& shown, TSettings& settings)
    : shown_(shown), settings_(settings) {}

bool TRememberedFolderDialogs::Execute(TFileDialog& dialog, QWidget* owner) {
    if (dialog.Name.isEmpty())
        return shown_.Execute(dialog, owner);
    if (dialog.FileName.isEmpty())
        dialog.InitialDir = settings_.DialogFolder(dialog.Name);
    if (!shown_.Execute(dialog, owner))
        return false;
    settings_.SetDialogFolder(dialog.Name, QFileInfo(dialog.FileName).absolutePath());
    return true;
}
