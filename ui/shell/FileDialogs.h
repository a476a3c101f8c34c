#pragma once

// The window's standard file dialogs: what each is set to and what it returned, and the seam
// through which they are shown, so that tests can answer them.

#include <QString>
#include <QStringList>

class QWidget;
class TSettings;

enum TOpenOption : unsigned {
    ofOverwritePrompt = 1u << 0, // ask before a chosen file that exists is overwritten
    ofHideReadOnly = 1u << 1,    // no read-only check box (the toolkit's dialogs have none)
    ofPathMustExist = 1u << 2,   // the chosen folder must exist
    ofEnableSizing = 1u << 3,    // the dialog can be resized
};

struct TFileDialog {
    enum class TKind { Open, Save };

    TKind Kind = TKind::Open;
    unsigned Options = 0; // TOpenOption bits
    // "description|pattern|description|pattern|..." as the program writes it; patterns of one
    // entry are separated by ";".
    QString Filter;
    int FilterIndex = 1; // 1-based
    QString DefaultExt;  // added, without the dot, to a typed name that has no extension
    // The full name chosen last; offered again when the dialog next opens.
    QString FileName;
    // The folder the dialog opens in while no file name is offered; empty: the toolkit's
    // choice.
    QString InitialDir;
    // What the settings file knows the dialog by; empty: nothing is remembered of it.
    QString Name;
};

// The toolkit's form of a filter: "description (pattern pattern)" per entry, the description
// as written.
[[nodiscard]] QStringList QtNameFilters(const QString& filter);

class TFileDialogs {
public:
    // Shows dialog modally over owner. On acceptance stores the chosen full name and filter
    // entry in dialog and returns true; on cancel changes nothing and returns false.
    virtual bool Execute(TFileDialog& dialog, QWidget* owner) = 0;

protected:
    ~TFileDialogs() = default;
};

// The toolkit's own file dialogs.
class TSystemFileDialogs final : public TFileDialogs {
public:
    bool Execute(TFileDialog& dialog, QWidget* owner) override;
};

// Dialogs shown by shown that open, in a new run, in the folder where a file was last chosen
// in the dialog of the same Name, remembered in settings. Both outlive this.
class TRememberedFolderDialogs final : public TFileDialogs {
public:
    TRememberedFolderDialogs(TFileDialogs& shown, TSettings& settings);
    bool Execute(TFileDialog& dialog, QWidget* owner) override;

private:
    TFileDialogs& shown_;
    TSettings& settings_;
};
