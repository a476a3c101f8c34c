#include "ui/shell/FileDialogs.h"
#include "ui/shell/Messages.h"
#include "ui/tests/ModalAnswer.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

// Qt's own texts come from its Russian translation, which the application object loads at
// start-up; these tests run under that object.
namespace {

constexpr const char* Missing = "Qt's Russian translation is missing: qt6-translations-l10n";

// A button's caption as drawn, without the mnemonic mark.
QString Caption(const QAbstractButton* button) {
    return button ? button->text().remove('&') : QString("(no button)");
}

TEST(QtTexts, MessageBoxButtonsSpeakRussianAndOkStaysOk) {
    const struct {
        unsigned flags;
        std::vector<std::pair<QMessageBox::StandardButton, const char*>> captions;
    } cases[] = {
        {msgbox::MB_YESNO, {{QMessageBox::Yes, "Да"}, {QMessageBox::No, "Нет"}}},
        {msgbox::MB_OKCANCEL, {{QMessageBox::Ok, "OK"}, {QMessageBox::Cancel, "Отмена"}}},
    };
    for (const auto& c : cases) {
        std::vector<QString> shown;
        TModalAnswer answer([&](QWidget& modal) {
            auto& box = static_cast<QMessageBox&>(modal);
            for (const auto& [button, caption] : c.captions)
                shown.push_back(Caption(box.button(button)));
            box.buttons().first()->click();
        });
        AskQuestion("Включить?", "Менеджер", c.flags);
        ASSERT_TRUE(answer.answered);
        for (std::size_t i = 0; i < c.captions.size(); ++i)
            EXPECT_EQ(shown[i], QString::fromUtf8(c.captions[i].second)) << Missing;
    }
}

TEST(QtTexts, SaveDialogAndItsMissingFolderWarningSpeakRussian) {
    const QString missingFolder = QString::fromStdString(
        (std::filesystem::temp_directory_path() / "telmira-no-such-folder").string());
    TFileDialog save;
    save.Kind = TFileDialog::TKind::Save;
    save.Options = ofPathMustExist;
    save.Filter = "Файл данных работы системы *.dcc|*.dcc|";
    QString acceptCaption;
    QString warning;
    std::unique_ptr<TModalAnswer> warningAnswer;
    TModalAnswer answer([&](QWidget& modal) {
        auto& dialog = static_cast<QFileDialog&>(modal);
        const auto* buttons = dialog.findChild<QDialogButtonBox*>();
        QPushButton* accept = buttons ? buttons->button(QDialogButtonBox::Save) : nullptr;
        if (!accept) {
            dialog.reject();
            FAIL() << "no save button";
        }
        acceptCaption = Caption(accept);
        // The warning opens inside the click; it is answered from its own event loop.
        warningAnswer = std::make_unique<TModalAnswer>([&](QWidget& box) {
            warning = static_cast<QMessageBox&>(box).text();
            box.close();
        });
        if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit")) // as typed
            name->setText(missingFolder + "/run.dcc");
        accept->click();
        dialog.reject();
    });
    TSystemFileDialogs dialogs;
    EXPECT_FALSE(dialogs.Execute(save, nullptr));
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(acceptCaption, "Сохранить") << Missing;
    EXPECT_EQ(warning, missingFolder + "/run.dcc\nКаталог не найден.\n"
                                       "Проверьте правильность указанного имени каталога.")
        << Missing;
}

} // namespace
