#include "serial/tests/Pty.h"
#include "ui/shell/FileDialogs.h"
#include "ui/shell/Settings.h"
#include "ui/tests/AnsweredDialogs.h"
#include "ui/tests/ModalAnswer.h"
#include "ui/window/InstrumentsPage.h"
#include "ui/window/UprZagig.h"

#include <QDialogButtonBox>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

// The test program's main points the user's configuration folder ($XDG_CONFIG_HOME) at a
// temporary folder of its own, so that nothing here reaches the real user's settings.
namespace {

class SettingsTest : public ::testing::Test {
protected:
    QString File() const { return folder_.filePath("telmira.conf"); }

    // Qt keeps the settings files a process has read, and what it could not write to them: a
    // copy of the file, under a name new to the process, is read from the disk, as in the
    // next run.
    QString AsTheNextRunFindsIt(const QString& file) {
        const QString copy = folder_.filePath(QString("next-%1.conf").arg(++copies_));
        EXPECT_TRUE(QFile::copy(file, copy)) << file.toStdString();
        return copy;
    }

    void WriteFile(const QByteArray& bytes) const {
        QFile file(File());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static void ExpectDefaults(const TSettings& settings, const QByteArray& file) {
        EXPECT_EQ(settings.PortNumber(), std::nullopt) << file.toStdString();
        EXPECT_EQ(settings.FrontPage(), "") << file.toStdString();
        EXPECT_EQ(settings.DialogFolder("view"), "") << file.toStdString();
    }

    QTemporaryDir folder_;
    int copies_ = 0;
};

TEST_F(SettingsTest, WhatIsRememberedIsReadBackInTheNextRun) {
    {
        TSettings settings(File());
        settings.SetPortNumber(7);
        settings.SetFrontPage("instruments");
        settings.SetTimeAxis(true);
        settings.SetDialogFolder("view", folder_.path());
        settings.SetDialogFolder("record", QDir::tempPath());
    } // written as the settings go, as at the end of a run
    const TSettings next(AsTheNextRunFindsIt(File()));
    EXPECT_EQ(next.PortNumber(), 7);
    EXPECT_EQ(next.FrontPage(), "instruments");
    EXPECT_TRUE(next.TimeAxis());
    EXPECT_EQ(next.DialogFolder("view"), folder_.path());
    EXPECT_EQ(next.DialogFolder("record"), QDir::tempPath());
    EXPECT_EQ(next.DialogFolder("csv"), "") << "each dialog has its own folder";

    QFile written(File());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly | QIODevice::Text));
    const QList<QByteArray> lines = written.readAll().split('\n');
    for (const char* line : {"[window]", "port=7", "page=instruments", "axis=time", "[folders]"})
        EXPECT_TRUE(lines.contains(line)) << line << " as the README describes the file";
}

TEST_F(SettingsTest, AMissingFileReadsAsDefaultsAndIsMadeOnlyWhenSomethingIsRemembered) {
    {
        const TSettings settings(File());
        ExpectDefaults(settings, "(no file)");
    }
    EXPECT_FALSE(QFile::exists(File()));

    // In a folder not made yet, as on the first run.
    const QString nested = folder_.filePath("telmira/telmira.conf");
    TSettings settings(nested);
    settings.SetPortNumber(3);
    settings.Save();
    EXPECT_EQ(TSettings(AsTheNextRunFindsIt(nested)).PortNumber(), 3);
}

TEST_F(SettingsTest, GarbledFilesAndSenselessValuesReadAsDefaults) {
    const QByteArray files[] = {
        QByteArray("\xFF\xFE\0\x01[[[=\n\x80\x81garbage\n==\n", 22),
        "[window\nport=3\n",
        "[window]\nport=0\npage=\n[folders]\nview=relative/folder\n",
        "[window]\nport=256\n[folders]\nview=/no/such/folder/of/telmira\n",
        "[window]\nport=abc\n",
        "[window]\nport=3.5\n",
        "[window]\nport=-1\n",
        QByteArray(4096, '\0'),
    };
    for (const QByteArray& file : files) {
        const QString path = folder_.filePath(QString("case-%1.conf").arg(++copies_));
        QFile written(path);
        ASSERT_TRUE(written.open(QIODevice::WriteOnly));
        written.write(file);
        written.close();
        ExpectDefaults(TSettings(path), file);
    }
}

TEST_F(SettingsTest, AGarbledFileIsReplacedByWhatIsRememberedNext) {
    WriteFile("[window\n\x01\x02port=9\n[[folders]]\n");
    {
        TSettings settings(File());
        settings.SetFrontPage("chart");
    }
    const TSettings next(AsTheNextRunFindsIt(File()));
    EXPECT_EQ(next.FrontPage(), "chart");
    EXPECT_EQ(next.PortNumber(), std::nullopt);
    QFile written(File());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "[window]\npage=chart\n");
}

TEST_F(SettingsTest, AFileThatCannotBeWrittenCostsOnlyWhatWouldHaveBeenRemembered) {
    WriteFile("not a folder");
    const QString underAFile = File() + "/telmira.conf";
    TSettings settings(underAFile);
    settings.SetPortNumber(4);
    settings.Save();
    EXPECT_FALSE(QFile::exists(underAFile));
}

TEST(UserSettings, LiveInTheUsersConfigurationFolder) {
    EXPECT_EQ(TSettings::UserFile(),
              qEnvironmentVariable("XDG_CONFIG_HOME") + "/telmira/telmira.conf");
}

// Qt's file dialog, accepted and gone, has left no settings file of Qt's behind.
TEST(UserSettings, QtsFileDialogKeepsNothingOfItsOwn) {
    QTemporaryDir chosen;
    TFileDialog save;
    save.Kind = TFileDialog::TKind::Save;
    save.Filter = "Файл данных работы системы *.dcc|*.dcc|";
    TModalAnswer answer([&](QWidget& modal) {
        auto& dialog = static_cast<QFileDialog&>(modal);
        dialog.selectFile(chosen.filePath("run.dcc"));
        static_cast<QDialog&>(dialog).accept(); // as the save button does
    });
    TSystemFileDialogs dialogs;
    ASSERT_TRUE(dialogs.Execute(save, nullptr));
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(save.FileName, chosen.filePath("run.dcc"));

    QStringList left;
    for (QDirIterator it(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::Files | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        left << it.next();
    EXPECT_TRUE(left.isEmpty()) << left.join(", ").toStdString();
}

// What the dialog is shown with and returns, as a user would answer it.
struct TRecordingDialogs final : TFileDialogs {
    std::optional<QString> answer;
    QString shownInitialDir;

    bool Execute(TFileDialog& dialog, QWidget*) override {
        shownInitialDir = dialog.InitialDir;
        if (!answer)
            return false;
        dialog.FileName = *answer;
        return true;
    }
};

TEST_F(SettingsTest, EachDialogOpensInANewRunWhereAFileWasLastChosenInIt) {
    QTemporaryDir elsewhere;
    TSettings settings(File());
    TRecordingDialogs shown;
    TRememberedFolderDialogs dialogs(shown, settings);
    TFileDialog view;
    view.Name = "view";
    EXPECT_FALSE(dialogs.Execute(view, nullptr));
    EXPECT_EQ(shown.shownInitialDir, "") << "nothing remembered yet";
    EXPECT_EQ(settings.DialogFolder("view"), "") << "a cancelled dialog remembers nothing";

    shown.answer = elsewhere.filePath("run.dcc");
    ASSERT_TRUE(dialogs.Execute(view, nullptr));
    EXPECT_EQ(settings.DialogFolder("view"), elsewhere.path());

    TFileDialog nextRun;
    nextRun.Name = "view";
    shown.answer.reset();
    dialogs.Execute(nextRun, nullptr);
    EXPECT_EQ(shown.shownInitialDir, elsewhere.path());

    TFileDialog record;
    record.Name = "record";
    dialogs.Execute(record, nullptr);
    EXPECT_EQ(shown.shownInitialDir, "") << "another dialog's folder is its own";

    TFileDialog unnamed;
    shown.answer = folder_.filePath("other.dcc");
    ASSERT_TRUE(dialogs.Execute(unnamed, nullptr));
    EXPECT_EQ(settings.DialogFolder("view"), elsewhere.path())
        << "a dialog without a name is not remembered";
}

TEST(FileDialogs, TheToolkitsDialogOpensInTheInitialFolderWhileNoFileIsOffered) {
    QTemporaryDir initial;
    TFileDialog open;
    open.InitialDir = initial.path();
    QString shownFolder;
    TModalAnswer answer([&](QWidget& modal) {
        auto& dialog = static_cast<QFileDialog&>(modal);
        shownFolder = dialog.directory().absolutePath();
        dialog.reject();
    });
    TSystemFileDialogs dialogs;
    EXPECT_FALSE(dialogs.Execute(open, nullptr));
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(shownFolder, QDir(initial.path()).absolutePath());
}

class RememberingWindowTest : public SettingsTest {
protected:
    serial::testing::TTempRuntimeDir runtime_;
    serial::testing::TPty pty_;
    telemetry::TLatestValues values_;
    TAnsweredDialogs dialogs_;
};

TEST_F(RememberingWindowTest, TheNextRunShowsThePortLastOpenedAndThePageLastInFront) {
    pty_.LinkAs(7);
    dialogs_.answer = folder_.filePath("session.dcc");
    {
        TSettings settings(File());
        TfrmUprZagig window(values_, dialogs_);
        window.RememberIn(settings);
        window.show();
        window.edtPortNumber->setText("7");
        TModalAnswer plotting([](QWidget& modal) {
            static_cast<QMessageBox&>(modal).button(QMessageBox::No)->click();
        });
        QTest::mouseClick(window.btnOpenPort, Qt::LeftButton);
        ASSERT_TRUE(plotting.answered);
        QTest::mouseClick(window.btnOpenPort, Qt::LeftButton);
        window.edtPortNumber->setText("9"); // typed, never opened
        window.PageControl1->setCurrentWidget(window.TabSheet2);
    }

    TSettings settings(AsTheNextRunFindsIt(File()));
    TfrmUprZagig next(values_, dialogs_);
    next.show();
    EXPECT_EQ(next.edtPortNumber->text(), "1");
    EXPECT_TRUE(next.TabSheet1->isVisible());
    next.RememberIn(settings);
    EXPECT_EQ(next.edtPortNumber->text(), "7");
    EXPECT_TRUE(next.TabSheet2->isVisible());
    EXPECT_FALSE(next.TabSheet1->isVisible());
}

TEST_F(RememberingWindowTest, ANewUserStartsOnTheChartWithPortOne) {
    TSettings settings(File());
    TfrmUprZagig window(values_, dialogs_);
    window.RememberIn(settings);
    window.show();
    EXPECT_EQ(window.edtPortNumber->text(), "1");
    EXPECT_TRUE(window.TabSheet1->isVisible());
    EXPECT_FALSE(QFile::exists(File())) << "nothing was remembered";
}

} // namespace
