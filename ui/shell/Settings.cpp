#include "ui/shell/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr char PortNumberKey[] = "window/port";
constexpr char FrontPageKey[] = "window/page";
constexpr char AxisKey[] = "window/axis";
constexpr char DialogFolderGroup[] = "folders/";
constexpr char AnalysisGroup[] = "analysis/";

constexpr int LowestPort = 1;
constexpr int HighestPort = 255;

} // namespace

TSettings::TSettings(const QString& path) : file_(path, QSettings::IniFormat) {
    // What a file that does not parse holds is not trusted: it goes at the next write.
    if (file_.status() == QSettings::FormatError)
        file_.clear();
}

QString TSettings::UserFile() {
#ifdef _WIN32
    constexpr char name[] = "telmira.ini";
#else
    constexpr char name[] = "telmira.conf";
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/telmira/" +
           name;
}

std::optional<int> TSettings::PortNumber() const {
    bool number = false;
    const int port = file_.value(PortNumberKey).toInt(&number);
    if (!number || port < LowestPort || port > HighestPort)
        return std::nullopt;
    return port;
}

void TSettings::SetPortNumber(int number) {
    file_.setValue(PortNumberKey, number);
}

QString TSettings::FrontPage() const {
    return file_.value(FrontPageKey).toString();
}

void TSettings::SetFrontPage(const QString& page) {
    file_.setValue(FrontPageKey, page);
}

bool TSettings::TimeAxis() const {
    return file_.value(AxisKey).toString() == "time";
}

void TSettings::SetTimeAxis(bool time) {
    file_.setValue(AxisKey, time ? "time" : "frames");
}

QString TSettings::DialogFolder(const QString& dialog) const {
    const QString folder = file_.value(DialogFolderGroup + dialog).toString();
    if (!QDir::isAbsolutePath(folder) || !QFileInfo(folder).isDir())
        return {};
    return folder;
}

void TSettings::SetDialogFolder(const QString& dialog, const QString& folder) {
    file_.setValue(DialogFolderGroup + dialog, folder);
}

QString TSettings::AnalysisChoice(const QString& key) const {
    return file_.value(AnalysisGroup + key).toString();
}

void TSettings::SetAnalysisChoice(const QString& key, const QString& value) {
    file_.setValue(AnalysisGroup + key, value);
}

void TSettings::Save() {
    file_.sync();
}

void KeepNoToolkitSettings() {
#ifndef _WIN32
    // Qt's file is in the native format, kept in a folder that can be moved: under a device
    // file, where no folder can be made whoever runs the program, Qt finds nothing to read
    // and fails to write, leaving nothing behind.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, "/dev/null");
#endif
}
