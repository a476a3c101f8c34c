#pragma once

// What the program remembers between runs, all in one settings file of its own. A missing,
// unreadable or garbled file, and any value in it that makes no sense, read as the defaults;
// a file that cannot be written costs only what would have been remembered. Each thing
// remembered has its key, its default and its check here.

#include <QSettings>
#include <QString>

#include <optional>

class TSettings {
public:
    // The settings kept in the file at path, which is made when something is first remembered.
    explicit TSettings(const QString& path);

    // The user's own file: telmira/telmira.conf in the user's configuration folder
    // ($XDG_CONFIG_HOME, by default ~/.config), on Windows telmira\telmira.ini in the user's
    // local application data (%LOCALAPPDATA%).
    [[nodiscard]] static QString UserFile();

    // The port number of the last session opened, 1 to 255; nothing when none is remembered.
    [[nodiscard]] std::optional<int> PortNumber() const;
    void SetPortNumber(int number);

    // The name of the page last brought to the front; empty when none is remembered.
    [[nodiscard]] QString FrontPage() const;
    void SetFrontPage(const QString& page);

    // Whether the chart's bottom axis shows time rather than frame numbers (the default).
    [[nodiscard]] bool TimeAxis() const;
    void SetTimeAxis(bool time);

    // The folder in which a file was last chosen in the file dialog called dialog; empty when
    // none is remembered or the folder is no longer there.
    [[nodiscard]] QString DialogFolder(const QString& dialog) const;
    void SetDialogFolder(const QString& dialog, const QString& folder);

    // A choice of the analysis page, by its key within the page; empty when none is remembered.
    // The page checks what it reads.
    [[nodiscard]] QString AnalysisChoice(const QString& key) const;
    void SetAnalysisChoice(const QString& key, const QString& value);

    // Writes what was remembered to the file now. It is also written while the event loop
    // runs, and when the settings go.
    void Save();

private:
    QSettings file_;
};

// Qt's own dialogs remember their state (the file dialog its folders, history and view) in
// a settings file of Qt's, QtProject.conf beside the user's other settings. This program
// keeps what it remembers in its own file only, and Qt's is neither read nor written. Called
// once at start-up, before any dialog is made. (On Windows Qt keeps that state in the
// registry, which is left as it is.)
void KeepNoToolkitSettings();
